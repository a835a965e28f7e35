// SPDX-License-Identifier: MIT
// Opens the COM port given as the argument (its far end echoes), sends a few bytes, checks that
// they come back and closes the port. Exit code 0 on success.
#include <comm/Comm.h>
#include <framework/thread.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (FindCommResource("TCOMMPORT").Size == 0) return 3;

  auto* Port = new TCommPort(nullptr);
  Port->SetComNumber(std::atoi(argv[1]));
  Port->SetBaudRate(cbr19200);
  Port->SetDataBits(8);
  Port->SetOpen(true);
  if (!Port->GetOpen()) {
    std::fprintf(stderr, "port did not open\n");
    return 4;
  }
  Port->PutString("ping");

  std::string Received;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Received.size() < 4 && std::chrono::steady_clock::now() < Deadline) {
    CheckSynchronize(10);
    char Buffer[16];
    Received.append(Buffer, Port->GetBlock(Buffer, sizeof Buffer));
  }
  Port->SetOpen(false);
  const bool Closed = !Port->GetOpen();
  delete Port;

  if (Received != "ping" || !Closed) {
    std::fprintf(stderr, "received '%s', closed %d\n", Received.c_str(), Closed);
    return 5;
  }
  std::puts("opened, sent, received, closed");
  return 0;
}
