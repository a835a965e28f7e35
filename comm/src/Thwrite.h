// SPDX-License-Identifier: MIT
// TWriteThread: the writer worker of TCommPort. It moves bytes from the transmit ring to the
// device in the largest contiguous runs the ring holds, honouring the hardware-handshake gate.
#pragma once

#include <framework/thread.h>
#include <win32/win32.h>

#include <memory>

class TCommPort;

class TWriteThread : public TThread {
 public:
  explicit TWriteThread(TCommPort* Port);
  ~TWriteThread() override;

  HANDLE Handle;          // copy of the owner's PortHandle taken at construction
  TCommPort* Port;        // the owning component (not owned)
  OVERLAPPED Overlapped;  // this worker's asynchronous write; hEvent is manual-reset, owned here

 protected:
  void Execute() override;

 private:
  bool HeldByHandshake() const;
  void DrainLoop();
  bool WriteRun(const char* Source, DWORD Length, DWORD& Written);
  DWORD TakeRun(DWORD& Generation);
  void PauseWhileHeld() const;

  // The run being written, copied out of the transmit ring: a flush may hand the ring's storage
  // back to PutBlock while the device is still taking these bytes.
  std::unique_ptr<char[]> Staging;
};
