// SPDX-License-Identifier: MIT
/// @file
/// The Comm library's own unit: its resources (the palette image of TCommPort and the library's
/// description) and, for convenience, the component itself. Threads: FindCommResource and
/// CommDescription may be called from any thread; TCommPort's own rules are in Commport.h.
#pragma once

#include <comm/CommExport.h>
#include <comm/Commport.h>

#include <cstddef>
#include <string>

/// A block of bytes the library carries with it.
struct TCommResource {
  /// The first byte; null for an unknown name. Static storage: never freed.
  const unsigned char* Data;
  /// The number of bytes at Data; 0 for an unknown name.
  std::size_t Size;
};

/// The resource of the given name: "TCOMMPORT" is TCommPort's palette image, a 24 x 24,
/// 16-colour bitmap (BMP file bytes). An unknown name gives {nullptr, 0}.
COMM_API TCommResource FindCommResource(const std::string& Name);

/// The library's description: "Marnock COM port".
COMM_API const char* CommDescription();
