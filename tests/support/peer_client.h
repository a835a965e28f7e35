// SPDX-License-Identifier: MIT
// The far end of a COM port in a Windows test run under Wine: orders to uart_peer
// (wine/uart_peer.cpp), which holds the pseudo-terminal behind the port on the Linux side.
// The peer's address comes from ZELVANE_PEER. Windows only; one thread uses a PeerClient.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

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
  // The board simulator takes the port over with these options (zelvane-board --help; the peer
  // runs with --board). Returns its byte log as a path this process opens (Wine's drive Z:).
  std::string StartBoard(int port, const std::vector<std::string>& options);
  // Stops it: the port is gone until Reconnect or the next StartBoard.
  void StopBoard(int port);

 private:
  std::string Order(const std::string& line);  // the answer after "ok", raises on "error"

  unsigned long long socket_;
};

}  // namespace testsupport
