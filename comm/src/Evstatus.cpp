#include <comm/Commport.h>
#include <comm/Evstatus.h>

namespace {

// Marks a delivery in progress, so that a close requested by a handler is deferred until the
// delivery has returned.
class TDeliveryGuard {
 public:
  explicit TDeliveryGuard(TCommPort* Port) : Port(Port) { Port->BeginDelivery(); }
  ~TDeliveryGuard() { Port->EndDelivery(); }
  TDeliveryGuard(const TDeliveryGuard&) = delete;
  TDeliveryGuard& operator=(const TDeliveryGuard&) = delete;

 private:
  TCommPort* Port;
};

void Notify(DWORD Mask, DWORD Bit, TNotifyEvent& Handler, TCommPort* Sender) {
  if ((Mask & Bit) && Handler.Assigned()) Handler(Sender);
}

}  // namespace

TStatusEventThread::TStatusEventThread(TCommPort* Port) : TThread(false), Port(Port) {}

TStatusEventThread::~TStatusEventThread() = default;

void TStatusEventThread::Execute() {
  while (!Terminated()) {
    if (WaitForSingleObject(Port->StatusNotifyEvent, INFINITE) == WAIT_OBJECT_0)
      Synchronize([this] { DoStatusEvents(); });
  }
}

void TStatusEventThread::DoStatusEvents() {
  TDeliveryGuard Guard(Port);
  const DWORD Mask = Port->LastEventMask.load();
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
}
