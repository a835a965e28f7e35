// SPDX-License-Identifier: MIT
#include "Thstatus.h"

#include <algorithm>

#include "BackOff.h"
#include "EventTable.h"

TStatusThread::TStatusThread(TCommPort* Port, TEventStates Events)
    : TThread(false), Port(Port), Handle(Port->PortHandle), Overlapped{} {
  SetCommMask(Port->PortHandle, DeviceMask(Events));
  Overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

TStatusThread::~TStatusThread() { CloseHandle(Overlapped.hEvent); }

DWORD TStatusThread::DeviceMask(TEventStates Events) {
  DWORD Mask = 0;
  for (const TEventInfo& Entry : EventTable)
    if (InSet(Events, Entry.Event)) Mask |= Entry.DeviceBit;
  return Mask;
}

void TStatusThread::Execute() {
  DWORD Status = 0;
  DWORD Mask = 0;  // filled by the device when a pending wait completes
  if (Port->IsEnabled() && GetCommModemStatus(Handle, &Status)) {
    StoreModemStatus(Status);
    Port->LastEventMask.store(0);
  }
  while (!Terminated()) {
    if (!Port->IsEnabled()) {
      Sleep(FailurePauseMs);  // not reached while open; never spin if it were
      continue;
    }
    if (WaitForEvents(Mask)) HandleEvents(Mask);
  }
}

// Starts one event wait. A wait that does not complete at once is followed by the port's
// StatusPause (50 ms unless set) before its result is collected; a wait that failed, by at least
// FailurePauseMs before its error code is looked at. Any failure ends the pass with nothing
// recorded.
bool TStatusThread::WaitForEvents(DWORD& Mask) {
  Mask = 0;
  if (WaitCommEvent(Handle, &Mask, &Overlapped)) return true;
  const DWORD Error = GetLastError();
  const DWORD Pause = Port->GetStatusPause();
  Sleep(Error == ERROR_IO_PENDING ? Pause : std::max(Pause, FailurePauseMs));
  if (Error != ERROR_IO_PENDING) return Failed(Error);
  DWORD Count = 0;
  if (!GetOverlappedResult(Handle, &Overlapped, &Count, TRUE)) return Failed(GetLastError());
  ResetEvent(Overlapped.hEvent);
  return true;
}

// A wait that failed because the device has gone away tells the port.
bool TStatusThread::Failed(DWORD Error) {
  if (DeviceGone(Error)) Port->DeviceLost();
  return false;
}

// Records a completed mask, samples the modem inputs after a line-status event, and wakes the
// writer (hardware handshake), the reader (received characters) and the status notifier. Masks
// that complete before the notifier has delivered the last one are added to it, so that one
// delivery reports every event since the last, none overwritten.
void TStatusThread::HandleEvents(DWORD Mask) {
  Port->LastEventMask.fetch_or(Mask);
  if (Mask & ModemEventBits) {
    DWORD Status = 0;
    if (GetCommModemStatus(Handle, &Status)) {
      StoreModemStatus(Status);
      if (Port->FControl.load() == ccHard && Port->CtsState.load() && Port->OutCount.load() > 0)
        SetEvent(Port->TxWakeEvent);
    }
  }
  if (Mask & EV_RXCHAR) SetEvent(Port->RxWakeEvent);
  SetEvent(Port->StatusNotifyEvent);
}

void TStatusThread::StoreModemStatus(DWORD Status) {
  Port->CtsState.store((Status & MS_CTS_ON) != 0);
  Port->DsrState.store((Status & MS_DSR_ON) != 0);
  Port->DcdState.store((Status & MS_RLSD_ON) != 0);
  Port->RingState.store((Status & MS_RING_ON) != 0);
}
