// SPDX-License-Identifier: MIT
// TStatusEventThread: the status notifier of TCommPort. Woken by the status monitor, it has the
// line and status handlers called on the main thread, one per event bit, in a fixed order.
#pragma once

#include "Evnotify.h"

class TStatusEventThread : public TNotifyEventThread {
 public:
  explicit TStatusEventThread(TCommPort* Port);
  ~TStatusEventThread() override;

  // Runs on the main thread (through Synchronize): dispatches the last completed event mask in
  // the order CTS, DCD, DSR, Ring, RxD, RxEvent, TxD, Break, Error.
  void DoStatusEvents();

 protected:
  void Deliver() override { DoStatusEvents(); }
};
