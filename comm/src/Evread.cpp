#include "Evread.h"

#include <comm/Commport.h>

TReadEventThread::TReadEventThread(TCommPort* Port) : TThread(false), Port(Port) {}

TReadEventThread::~TReadEventThread() = default;

void TReadEventThread::Execute() {
  while (!Terminated()) {
    if (WaitForSingleObject(Port->RxNotifyEvent, INFINITE) == WAIT_OBJECT_0)
      Synchronize([this] { DoDataReceived(); });
  }
}

void TReadEventThread::DoDataReceived() {
  if (!Port->HandlersAllowed()) return;
  TCommPort::TDeliveryScope Scope(*Port);
  if (Port->OnDataReceived.Assigned()) Port->OnDataReceived(Port, Port->InCount.load());
}
