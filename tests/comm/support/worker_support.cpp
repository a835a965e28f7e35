// SPDX-License-Identifier: MIT
#include "worker_support.h"

namespace workertest {

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

CablePort::CablePort(const std::string& prefix)
    : Cable(UniqueName(prefix)),
      Route(ComNumber, Cable.NearPath()),
      Port(std::make_unique<TCommPort>(nullptr)) {
  Port->SetComNumber(ComNumber);
}

CablePort::~CablePort() {
  // The handlers capture the test's locals, which are gone by now: the close must not call them.
  TCommPort& port = *Port;
  for (TNotifyEvent* slot : {&port.OnCTSSignal, &port.OnDCDSignal, &port.OnDSRSignal,
                             &port.OnRxDSignal, &port.OnRxEventSignal, &port.OnTxDSignal,
                             &port.OnRingSignal, &port.OnBreakSignal, &port.OnClose})
    slot->Clear();
  port.OnErrorSignal.Clear();
  port.OnDataReceived.Clear();
  port.OnOpen.Clear();
  port.SetOpen(false);
  Port.reset();
}

bool CablePort::Open() {
  Port->SetOpen(true);
  return Port->GetOpen();
}

}  // namespace workertest
