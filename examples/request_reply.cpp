// SPDX-License-Identifier: MIT
// Request and reply with a time-out: sends a command to a device on a serial port and prints
// its reply. The Zelvane board (or its simulator, zelvane-board) answers "BA" with the first
// thermometer's reading, such as "+23.5".
//
//   request_reply [COM-NUMBER [COMMAND]]        defaults: 7 and BA
//
// "\\.\COM<n>" reaches a device through the variable COMM_PORT_<n> (a device path such as
// /dev/ttyUSB0, or the simulator's pty), the per-user port map, or /dev/ttyS<n-1>.
// Exit status: 0 with a reply, 1 without one, 2 when the port does not open.
#include <comm/Commport.h>
#include <framework/application.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const int number = argc > 1 ? std::atoi(argv[1]) : 7;
  const std::string command = argc > 2 ? argv[2] : "BA";

  // The component reports a failed open with a message box; a console program prints it.
  Application->SetMessageBoxPresenter(
      [](const std::string& text, const std::string& caption, unsigned /*flags*/) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return IDOK;
      });

  TCommPort port(nullptr);
  port.SetComNumber(number);
  port.SetBaudRate(cbr19200);  // 8 data bits, no parity, one stop bit: the defaults
  port.SetOpen(true);
  if (!port.GetOpen()) {
    // The reason is the system's error code: 2 no such device, 5 access denied, 32 in use.
    std::fprintf(stderr, "COM%d: error %lu\n", number, static_cast<unsigned long>(GetLastError()));
    return 2;
  }

  // PutBlock queues the bytes and returns at once; the port's writer thread sends them.
  port.PutBlock(command.data(), static_cast<DWORD>(command.size()));

  // The line has no framing: the reply ends at 20 bytes, or once the line has been quiet for
  // 200 ms after its last byte; with no byte at all, after 2 s.
  char reply[20];
  const DWORD n = port.ReadBlock(reply, sizeof reply, 2000, 200);
  port.SetOpen(false);
  if (n == 0) {
    std::fprintf(stderr, "COM%d: no reply to %s\n", number, command.c_str());
    return 1;
  }
  std::printf("%.*s\n", static_cast<int>(n), reply);
  return 0;
}
