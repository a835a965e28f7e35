// SPDX-License-Identifier: MIT
// TNotifyEventThread: what the two notifier threads of TCommPort share. Each waits on one of the
// port's wake-up events and, every time it is set, has Deliver run on the main thread (through
// Synchronize) until the thread is terminated. Deliver runs on the main thread only.
#pragma once

#include <framework/thread.h>
#include <win32/win32.h>

class TCommPort;

class TNotifyEventThread : public TThread {
 public:
  TNotifyEventThread(TCommPort* Port, HANDLE WakeEvent);
  ~TNotifyEventThread() override;

  TCommPort* Port;  // the owning component (not owned)

 protected:
  void Execute() override;
  // Runs on the main thread after each wake-up.
  virtual void Deliver() = 0;

 private:
  HANDLE WakeEvent;  // the port's event this notifier waits on (owned by the port)
};
