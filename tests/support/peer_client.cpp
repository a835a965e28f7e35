// SPDX-License-Identifier: MIT
#include "peer_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "peer_wire.h"

namespace testsupport {

namespace {

using peer_wire::Hex;
using peer_wire::Unhex;

std::string Address() {
  const char* address = std::getenv("ZELVANE_PEER");
  return address != nullptr ? address : "";
}

}  // namespace

bool PeerClient::Available() { return !Address().empty(); }

PeerClient::PeerClient() {
  const std::string address = Address();
  const std::size_t colon = address.find(':');
  if (colon == std::string::npos) throw std::runtime_error("ZELVANE_PEER is not set");
  WSADATA data{};
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(std::stoi(address.substr(colon + 1))));
  inet_pton(AF_INET, address.substr(0, colon).c_str(), &to.sin_addr);
  if (s == INVALID_SOCKET || ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
    throw std::runtime_error("cannot reach the peer at " + address);
  socket_ = s;
}

PeerClient::~PeerClient() {
  closesocket(static_cast<SOCKET>(socket_));
  WSACleanup();
}

std::string PeerClient::Order(const std::string& line) {
  const SOCKET s = static_cast<SOCKET>(socket_);
  const std::string request = line + "\n";
  if (::send(s, request.data(), static_cast<int>(request.size()), 0) !=
      static_cast<int>(request.size()))
    throw std::runtime_error("peer: cannot send " + line);
  std::string reply;
  char c = 0;
  while (::recv(s, &c, 1, 0) == 1 && c != '\n') reply += c;
  if (reply.rfind("ok", 0) != 0) throw std::runtime_error("peer: " + line + ": " + reply);
  return reply.size() > 3 ? reply.substr(3) : std::string();
}

void PeerClient::Write(int port, const std::string& bytes) {
  Order("write " + std::to_string(port) + " " + Hex(bytes));
}

std::string PeerClient::ReadExactly(int port, std::size_t count,
                                    std::chrono::milliseconds timeout) {
  return Unhex(Order("read " + std::to_string(port) + " " + std::to_string(count) + " " +
                     std::to_string(timeout.count())));
}

PeerLineSettings PeerClient::Lines(int port) {
  std::istringstream in(Order("lines " + std::to_string(port)));
  PeerLineSettings s;
  int raw = 0;
  in >> s.Baud >> s.DataBits >> s.Parity >> s.StopBits >> raw;
  s.Raw = raw != 0;
  return s;
}

void PeerClient::HangUp(int port) { Order("hangup " + std::to_string(port)); }
void PeerClient::Reconnect(int port) { Order("reconnect " + std::to_string(port)); }
void PeerClient::SetBusy(int port, bool busy) {
  Order("busy " + std::to_string(port) + (busy ? " 1" : " 0"));
}

std::string PeerClient::StartBoard(int port, const std::vector<std::string>& options) {
  std::string joined;
  for (const std::string& option : options) joined += option + "\n";
  std::string log = Order("board " + std::to_string(port) + " " + Hex(joined));
  for (char& c : log)
    if (c == '/') c = '\\';
  return "Z:" + log;
}

void PeerClient::StopBoard(int port) { Order("unboard " + std::to_string(port)); }

}  // namespace testsupport
