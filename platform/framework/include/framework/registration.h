// SPDX-License-Identifier: MIT
// Palette registration: which component classes a library puts on which designer page.
#pragma once

#include <framework/classes.h>
#include <framework/export.h>

#include <initializer_list>
#include <string>
#include <vector>

// Records Classes on the palette page Page (in order, without duplicates) and registers each
// for creation by name.
COMM_FRAMEWORK_API void RegisterComponents(const std::string& Page,
                                           std::initializer_list<const TClassInfo*> Classes);

// The pages in the order first registered.
COMM_FRAMEWORK_API std::vector<std::string> PalettePages();
// The classes on Page (empty when there is no such page).
COMM_FRAMEWORK_API std::vector<const TClassInfo*> PaletteClasses(const std::string& Page);
