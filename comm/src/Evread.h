// TReadEventThread: the read notifier of TCommPort. Woken by the reader, it has OnDataReceived
// called on the main thread with the number of bytes then held in the receive ring.
#pragma once

#include <framework/thread.h>
#include <win32/win32.h>

class TCommPort;

class TReadEventThread : public TThread {
 public:
  explicit TReadEventThread(TCommPort* Port);
  ~TReadEventThread() override;

  TCommPort* Port;  // the owning component (not owned)

  // Runs on the main thread (through Synchronize): calls OnDataReceived if it is assigned.
  void DoDataReceived();

 protected:
  void Execute() override;
};
