// SPDX-License-Identifier: MIT
#include "Evread.h"

#include <comm/Commport.h>

TReadEventThread::TReadEventThread(TCommPort* Port)
    : TNotifyEventThread(Port, Port->RxNotifyEvent) {}

TReadEventThread::~TReadEventThread() = default;

void TReadEventThread::DoDataReceived() {
  if (!Port->HandlersAllowed()) return;
  TCommPort::TDeliveryScope Scope(*Port);
  if (Port->OnDataReceived.Assigned()) Port->OnDataReceived(Port, Port->InCount.load());
}
