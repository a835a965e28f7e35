// Palette registration: which component classes a library puts on which designer page.
#pragma once

#include <framework/classes.h>

#include <initializer_list>
#include <string>
#include <vector>

// Records Classes on the palette page Page (in order, without duplicates) and registers each
// for creation by name.
void RegisterComponents(const std::string& Page, std::initializer_list<const TClassInfo*> Classes);

// The pages in the order first registered.
std::vector<std::string> PalettePages();
// The classes on Page (empty when there is no such page).
std::vector<const TClassInfo*> PaletteClasses(const std::string& Page);
