// SPDX-License-Identifier: MIT
#include <widgets/graphics.h>

// The fonts forms were designed with are this desktop's own: each keeps its name.
std::string SubstituteFontName(const std::string& DesignedName) { return DesignedName; }
