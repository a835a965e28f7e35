// SPDX-License-Identifier: MIT
// Opens COM7 mapped to a pseudo-terminal slave, sends a few bytes, checks they arrive on the
// master, and closes the port. Exit code 0 on success.
#include <comm/Comm.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

int main() {
  const int Master = posix_openpt(O_RDWR | O_NOCTTY);
  if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return 2;
  setenv("COMM_PORT_7", ptsname(Master), 1);

  if (FindCommResource("TCOMMPORT").Size == 0) return 3;

  auto* Port = new TCommPort(nullptr);
  Port->SetComNumber(7);
  Port->SetOpen(true);
  if (!Port->GetOpen()) {
    std::fprintf(stderr, "port did not open\n");
    return 4;
  }
  Port->PutString("ping");

  std::string Received;
  for (int Attempt = 0; Attempt < 100 && Received.size() < 4; ++Attempt) {
    pollfd Poll{Master, POLLIN, 0};
    if (poll(&Poll, 1, 100) > 0) {
      char Buffer[16];
      const ssize_t n = read(Master, Buffer, sizeof(Buffer));
      if (n > 0) Received.append(Buffer, static_cast<std::size_t>(n));
    }
  }
  Port->SetOpen(false);
  const bool Closed = !Port->GetOpen();
  delete Port;
  close(Master);

  if (Received != "ping" || !Closed) {
    std::fprintf(stderr, "received '%s', closed %d\n", Received.c_str(), Closed);
    return 5;
  }
  std::puts("opened, sent, closed");
  return 0;
}
