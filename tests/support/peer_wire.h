// SPDX-License-Identifier: MIT
// The bytes of the COM port peer's text orders, as hexadecimal: shared by the peer on the Linux
// side (wine/uart_peer.cpp) and its client in the Windows tests (peer_client.cpp). Header only,
// any thread.
#pragma once

#include <string>

namespace peer_wire {

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

}  // namespace peer_wire
