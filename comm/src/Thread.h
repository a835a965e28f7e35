// SPDX-License-Identifier: MIT
// TReadThread: the reader worker of TCommPort. It moves bytes from the driver's input queue into
// the receive ring, in the largest contiguous runs the ring allows, and wakes the read notifier.
#pragma once

#include <framework/thread.h>
#include <win32/win32.h>

class TCommPort;

class TReadThread : public TThread {
 public:
  explicit TReadThread(TCommPort* Port);
  ~TReadThread() override;

  TCommPort* Port;        // the owning component (not owned)
  HANDLE Handle;          // copy of the owner's PortHandle taken at construction
  OVERLAPPED Overlapped;  // this worker's asynchronous read; hEvent is manual-reset, owned here

 protected:
  void Execute() override;

 private:
  void TransferLoop();
  bool ReadRun(char* Destination, DWORD Length, DWORD Generation, DWORD& Received);
  bool FlushedSince(DWORD Generation);
};
