// SPDX-License-Identifier: MIT
// TStatusThread: the status monitor of TCommPort. It waits for the device events selected by
// the port's MonitorEvents, keeps the four modem-input states current, records each completed
// event mask and wakes the reader, the writer (hardware handshake) and the status notifier.
#pragma once

#include <comm/Commport.h>
#include <framework/thread.h>
#include <win32/win32.h>

class TStatusThread : public TThread {
 public:
  TStatusThread(TCommPort* Port, TEventStates Events);
  ~TStatusThread() override;

  TCommPort* Port;        // the owning component (not owned)
  HANDLE Handle;          // copy of the owner's PortHandle taken at construction
  OVERLAPPED Overlapped;  // this worker's event wait; hEvent is manual-reset, owned here

  // Events after which the modem inputs are sampled again.
  static constexpr DWORD ModemEventBits = EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RING;  // 0x01B8
  // Pause after a wait that failed, before it is tried again (and the idle pause): never
  // shorter than this, so that a failing device cannot make the monitor spin when the port's
  // StatusPause (the pause before a pending wait is collected) is 0.
  static constexpr DWORD FailurePauseMs = 50;

  // The device mask for a set of events: the OR of the device bits of its members.
  static DWORD DeviceMask(TEventStates Events);

 protected:
  void Execute() override;

 private:
  void StoreModemStatus(DWORD Status);
  bool WaitForEvents(DWORD& Mask);
  bool Failed(DWORD Error);
  void HandleEvents(DWORD Mask);
};
