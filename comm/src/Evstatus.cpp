// SPDX-License-Identifier: MIT
#include "Evstatus.h"

#include <comm/Commport.h>

namespace {

void Notify(DWORD Mask, DWORD Bit, TNotifyEvent& Handler, TCommPort* Sender) {
  if ((Mask & Bit) && Handler.Assigned()) Handler(Sender);
}

}  // namespace

TStatusEventThread::TStatusEventThread(TCommPort* Port)
    : TNotifyEventThread(Port, Port->StatusNotifyEvent) {}

TStatusEventThread::~TStatusEventThread() = default;

// Each completed mask is dispatched once: a close after a failed wait (a hang-up) finds nothing
// new and calls no handler.
void TStatusEventThread::DoStatusEvents() {
  if (!Port->HandlersAllowed()) return;
  TCommPort::TDeliveryScope Scope(*Port);
  const DWORD Mask = Port->LastEventMask.exchange(0);
  Notify(Mask, EV_CTS, Port->OnCTSSignal, Port);
  Notify(Mask, EV_RLSD, Port->OnDCDSignal, Port);
  Notify(Mask, EV_DSR, Port->OnDSRSignal, Port);
  Notify(Mask, EV_RING, Port->OnRingSignal, Port);
  Notify(Mask, EV_RXCHAR, Port->OnRxDSignal, Port);
  Notify(Mask, EV_RXFLAG, Port->OnRxEventSignal, Port);
  Notify(Mask, EV_TXEMPTY, Port->OnTxDSignal, Port);
  Notify(Mask, EV_BREAK, Port->OnBreakSignal, Port);
  if ((Mask & EV_ERR) && Port->OnErrorSignal.Assigned()) {
    const int Error = static_cast<int>(GetLastError());  // the main thread's own last error
    Port->OnErrorSignal(Port, Error);
  }
  if (Port->LineLossToReport.exchange(false) && Port->OnErrorSignal.Assigned())
    Port->OnErrorSignal(Port, static_cast<int>(ERROR_DEVICE_NOT_CONNECTED));
}
