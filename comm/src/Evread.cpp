#include <comm/Commport.h>
#include <comm/Evread.h>

namespace {

// Marks a delivery in progress, so that a close requested by the handler is deferred until the
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

}  // namespace

TReadEventThread::TReadEventThread(TCommPort* Port) : TThread(false), Port(Port) {}

TReadEventThread::~TReadEventThread() = default;

void TReadEventThread::Execute() {
  while (!Terminated()) {
    if (WaitForSingleObject(Port->RxNotifyEvent, INFINITE) == WAIT_OBJECT_0)
      Synchronize([this] { DoDataReceived(); });
  }
}

void TReadEventThread::DoDataReceived() {
  TDeliveryGuard Guard(Port);
  if (Port->OnDataReceived.Assigned()) Port->OnDataReceived(Port, Port->InCount.load());
}
