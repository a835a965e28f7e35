// SPDX-License-Identifier: MIT
// Windows-1251 text for the wire and readable text for the log, both through iconv.
// Single-threaded: the simulator has one thread.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace board {

struct TextError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// UTF-8 text with \xHH escapes (and \\ for a backslash) to Windows-1251 bytes. Throws TextError
// for a malformed escape or a character that Windows-1251 cannot hold.
std::string encodeArgument(std::string_view utf8);

// Wire bytes as readable UTF-8: Windows-1251 letters decoded, control and undefined bytes as
// \xHH, a backslash as \\.
std::string decodeForLog(std::string_view bytes);

}  // namespace board
