// SPDX-License-Identifier: MIT
// Event-driven use in a console program: the port's notifications run on the main thread while
// it calls CheckSynchronize, as a GUI program's event loop would. Asks the device for a reading
// every second ("BA", which the Zelvane board answers), prints bytes as they arrive, the modem
// input lines as they change, breaks and line errors; when the device goes away (a USB adapter
// pulled, the simulator hung up) it closes the port and opens it again once the device is back.
//
//   events [COM-NUMBER [SECONDS]]        defaults: 7 and 30
//
// A pseudo-terminal has no modem lines: with the simulator only data and hang-ups show.
#include <comm/Commport.h>
#include <framework/application.h>
#include <framework/thread.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

void Say(const char* what) {
  std::printf("%s\n", what);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int number = argc > 1 ? std::atoi(argv[1]) : 7;
  const auto runFor = std::chrono::seconds(argc > 2 ? std::atoi(argv[2]) : 30);

  // A failed open would show a message box; here the retries stay quiet.
  Application->SetMessageBoxPresenter(
      [](const std::string&, const std::string&, unsigned) { return IDOK; });

  TCommPort port(nullptr);
  port.SetComNumber(number);
  port.SetBaudRate(cbr19200);
  bool lost = false;

  // Handlers take the component as Sender; they may call the port, and a request to close or
  // open it made here runs once the handler has returned.
  port.OnDataReceived = [&](TObject*, DWORD) {
    char bytes[64];
    const DWORD n = port.GetBlock(bytes, sizeof bytes);
    if (n > 0)
      std::printf("received %lu bytes: %.*s\n", static_cast<unsigned long>(n), static_cast<int>(n),
                  bytes);
  };
  port.OnCTSSignal = [&](TObject*) { Say(port.GetCTS() ? "CTS on" : "CTS off"); };
  port.OnDSRSignal = [&](TObject*) { Say(port.GetDSR() ? "DSR on" : "DSR off"); };
  port.OnRingSignal = [&](TObject*) { Say("ring"); };
  port.OnBreakSignal = [&](TObject*) { Say("break received"); };
  port.OnErrorSignal = [&](TObject*, int error) {
    if (error == static_cast<int>(ERROR_DEVICE_NOT_CONNECTED)) {
      Say("device gone: closing the port");
      lost = true;
      port.SetOpen(false);
    } else {
      std::printf("line error %d\n", error);
    }
  };

  port.SetOpen(true);
  Say(port.GetOpen() ? "port open" : "port not open yet: trying every second");
  const auto end = Clock::now() + runFor;
  auto nextTick = Clock::now();
  while (Clock::now() < end) {
    CheckSynchronize(100);  // runs the handlers; waits up to 100 ms for one
    if (Clock::now() < nextTick) continue;
    nextTick += std::chrono::seconds(1);
    if (port.GetOpen()) {
      port.PutBlock("BA", 2);
    } else {
      port.SetOpen(true);
      if (port.GetOpen()) Say(lost ? "device back: port open again" : "port open");
    }
  }
  port.SetOpen(false);
  return 0;
}
