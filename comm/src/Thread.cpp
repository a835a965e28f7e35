// SPDX-License-Identifier: MIT
#include "Thread.h"

#include <comm/Commport.h>

#include <algorithm>

#include "BackOff.h"

namespace {

// A read only asks for bytes the driver holds, so it goes pending only when a flush emptied the
// driver's queue in between; such a read is checked for that flush this often.
constexpr DWORD PendingCheckMs = 10;

}  // namespace

TReadThread::TReadThread(TCommPort* Port)
    : TThread(false), Port(Port), Handle(Port->PortHandle), Overlapped{} {
  Overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

TReadThread::~TReadThread() { CloseHandle(Overlapped.hEvent); }

void TReadThread::Execute() {
  while (!Terminated()) {
    if (WaitForSingleObject(Port->RxWakeEvent, INFINITE) != WAIT_OBJECT_0) continue;
    TransferLoop();
  }
}

// Moves what the driver holds into the free run of the receive ring, run after run, until the
// driver is empty or the ring is full. Data crossing the end of the storage takes two reads.
void TReadThread::TransferLoop() {
  DWORD Delay = 0;
  for (;;) {
    DWORD Errors = 0;
    COMSTAT Stat{};
    // Without a fresh answer there is nothing safe to read: go back to waiting.
    if (!ClearCommError(Handle, &Errors, &Stat)) return;

    EnterCriticalSection(&Port->InLock);
    const DWORD h = Port->InHead;
    const DWORD c = Port->InCount.load(std::memory_order_relaxed);
    const DWORD Generation = Port->InGeneration;
    LeaveCriticalSection(&Port->InLock);

    const DWORD InSize = Port->FInSize;
    const DWORD t = h + c;
    const DWORD Start = t < InSize ? t : t - InSize;
    const DWORD Run = t < InSize ? InSize - t : h - Start;
    const DWORD n = std::min(Run, static_cast<DWORD>(Stat.cbInQue));
    if (n == 0) return;

    DWORD Received = 0;
    if (!ReadRun(Port->InBuffer + Start, n, Generation, Received)) {
      if (Terminated()) return;
      BackOffAfterFailure(*this, Delay);
      continue;
    }
    Delay = 0;
    if (Received == 0) continue;

    // A flush since the snapshot emptied the ring: these bytes no longer count.
    EnterCriticalSection(&Port->InLock);
    const bool Applied = Port->InGeneration == Generation;
    if (Applied) Port->InCount.store(Port->InCount.load(std::memory_order_relaxed) + Received);
    LeaveCriticalSection(&Port->InLock);
    if (Applied) {
      SetEvent(Port->RxArrivedEvent);
      SetEvent(Port->RxNotifyEvent);
    }
  }
}

// One overlapped read of exactly Length bytes (the driver already holds them). If a flush
// empties the driver's queue before the read starts, the read would wait for that many new bytes
// and swallow them; it is aborted instead and the transfer starts over.
bool TReadThread::ReadRun(char* Destination, DWORD Length, DWORD Generation, DWORD& Received) {
  Received = 0;
  if (ReadFile(Handle, Destination, Length, &Received, &Overlapped)) return true;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  // Wait for the result, looking at the operation's status rather than at the event alone
  // (closing resets the event).
  bool Aborted = false;
  while (!GetOverlappedResult(Handle, &Overlapped, &Received, FALSE)) {
    if (GetLastError() != ERROR_IO_INCOMPLETE) return false;
    if (!Aborted && FlushedSince(Generation)) {
      PurgeComm(Handle, PURGE_RXABORT);
      Aborted = true;
      continue;
    }
    WaitForSingleObject(Overlapped.hEvent, PendingCheckMs);
  }
  ResetEvent(Overlapped.hEvent);
  return true;
}

bool TReadThread::FlushedSince(DWORD Generation) {
  EnterCriticalSection(&Port->InLock);
  const bool Flushed = Port->InGeneration != Generation;
  LeaveCriticalSection(&Port->InLock);
  return Flushed;
}
