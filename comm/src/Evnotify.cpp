// SPDX-License-Identifier: MIT
#include "Evnotify.h"

TNotifyEventThread::TNotifyEventThread(TCommPort* Port, HANDLE WakeEvent)
    : TThread(false), Port(Port), WakeEvent(WakeEvent) {}

TNotifyEventThread::~TNotifyEventThread() = default;

void TNotifyEventThread::Execute() {
  while (!Terminated()) {
    if (WaitForSingleObject(WakeEvent, INFINITE) == WAIT_OBJECT_0)
      Synchronize([this] { Deliver(); });
  }
}
