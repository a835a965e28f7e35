// SPDX-License-Identifier: MIT
// The far end of a COM port in a Windows test run under Wine: orders to uart_peer
// (wine/uart_peer.cpp), which holds the pseudo-terminal behind the port on the Linux side.
// The peer's address comes from ZELVANE_PEER. Windows only; one thread uses a PeerClient.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace testsupport {

// The slave's modes as the far end sees them.
struct PeerLineSettings {
  int Baud = 0;
  int DataBits = 0;
  char Parity = '?';  // N, O or E
  int StopBits = 0;
  bool Raw = false;  // no line editing, echo, signals or character translation
};

class PeerClient {
 public:
  // Connects to the peer; raises std::runtime_error when there is none.
  PeerClient();
  ~PeerClient();
  PeerClient(const PeerClient&) = delete;
  PeerClient& operator=(const PeerClient&) = delete;

  // Whether this process runs under uart_peer at all.
  static bool Available();

  void Write(int port, const std::string& bytes);
  // Reads until count bytes arrived or timeout passed; returns what arrived.
  std::string ReadExactly(int port, std::size_t count, std::chrono::milliseconds timeout);
  PeerLineSettings Lines(int port);
  void HangUp(int port);
  void Reconnect(int port);
  void SetBusy(int port, bool busy);

 private:
  std::string Order(const std::string& line);  // the answer after "ok", raises on "error"

  unsigned long long socket_;
};

}  // namespace testsupport
