// SPDX-License-Identifier: MIT
// TReadEventThread: the read notifier of TCommPort. Woken by the reader, it has OnDataReceived
// called on the main thread with the number of bytes then held in the receive ring.
#pragma once

#include "Evnotify.h"

class TReadEventThread : public TNotifyEventThread {
 public:
  explicit TReadEventThread(TCommPort* Port);
  ~TReadEventThread() override;

  // Runs on the main thread (through Synchronize): calls OnDataReceived if it is assigned.
  void DoDataReceived();

 protected:
  void Deliver() override { DoDataReceived(); }
};
