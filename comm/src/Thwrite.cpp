// SPDX-License-Identifier: MIT
#include "Thwrite.h"

#include <comm/Commport.h>

#include <algorithm>
#include <cstring>

#include "BackOff.h"

namespace {

// While hardware handshake holds the line, the held state is tested again every few ms instead
// of in a tight loop (the wake event stays signalled, so a plain loop would burn a core).
constexpr DWORD HoldPollMs = 5;

}  // namespace

TWriteThread::TWriteThread(TCommPort* Port)
    : TThread(false),
      Handle(Port->PortHandle),
      Port(Port),
      Overlapped{},
      Staging(new char[Port->FOutSize > 0 ? Port->FOutSize : 1]) {
  Overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

TWriteThread::~TWriteThread() { CloseHandle(Overlapped.hEvent); }

void TWriteThread::Execute() {
  while (!Terminated()) {
    if (WaitForSingleObject(Port->TxWakeEvent, INFINITE) != WAIT_OBJECT_0) continue;
    if (Port->OutCount.load() == 0) {
      ResetEvent(Port->TxWakeEvent);
      // Bytes queued between the test and the reset: their wake was just cleared, send them now.
      if (Port->OutCount.load() == 0) continue;
    }
    if (HeldByHandshake()) {
      PauseWhileHeld();
      continue;
    }
    DWORD Errors = 0;
    COMSTAT Stat{};
    ClearCommError(Port->PortHandle, &Errors, &Stat);
    DrainLoop();
  }
}

bool TWriteThread::HeldByHandshake() const {
  return Port->FControl.load() == ccHard && !Port->CtsState.load();
}

// Writes the held bytes, one contiguous run per pass (a run crossing the end of the storage goes
// in two writes), until the transmit ring is empty.
void TWriteThread::DrainLoop() {
  DWORD Delay = 0;
  while (Port->OutCount.load() != 0) {
    DWORD Generation = 0;
    const DWORD Length = TakeRun(Generation);
    if (Length == 0) return;
    DWORD Written = 0;
    if (!WriteRun(Staging.get(), Length, Written)) {
      if (DeviceGone(GetLastError())) Port->DeviceLost();
      if (Terminated()) return;
      BackOffAfterFailure(*this, Delay);
      continue;
    }
    Delay = 0;

    // A flush since the snapshot emptied the ring: leave its count and head alone.
    EnterCriticalSection(&Port->OutLock);
    if (Port->OutGeneration == Generation) {
      const DWORD OutSize = Port->FOutSize;
      Port->OutCount.store(Port->OutCount.load(std::memory_order_relaxed) - Written);
      Port->OutHead += Written;
      if (Port->OutHead >= OutSize) Port->OutHead -= OutSize;
    }
    LeaveCriticalSection(&Port->OutLock);
  }
}

// Snapshot of the head and count, and the run that starts at the head: all of the held bytes if
// they do not reach the end of the storage, else up to the end. The run is copied to Staging in
// the same locked step, so a flush cannot hand its bytes to PutBlock while they are copied.
DWORD TWriteThread::TakeRun(DWORD& Generation) {
  EnterCriticalSection(&Port->OutLock);
  const DWORD h = Port->OutHead;
  const DWORD c = Port->OutCount.load(std::memory_order_relaxed);
  const DWORD OutSize = Port->FOutSize;
  const DWORD Length = h + c < OutSize ? c : OutSize - h;
  Generation = Port->OutGeneration;
  if (Length > 0) std::memcpy(Staging.get(), Port->OutBuffer + h, Length);
  LeaveCriticalSection(&Port->OutLock);
  return Length;
}

// One overlapped write; it completes when the driver has taken the bytes.
bool TWriteThread::WriteRun(const char* Source, DWORD Length, DWORD& Written) {
  Written = 0;
  if (WriteFile(Handle, Source, Length, &Written, &Overlapped)) return true;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  if (!GetOverlappedResult(Handle, &Overlapped, &Written, TRUE)) return false;
  ResetEvent(Overlapped.hEvent);
  return true;
}

void TWriteThread::PauseWhileHeld() const {
  if (!Terminated()) Sleep(HoldPollMs);
}
