// SPDX-License-Identifier: MIT
// The driver behind one open serial handle.
//
// It owns a Line and one I/O thread. The thread sleeps in poll() on the line and on an eventfd
// (the wake-up from API calls), moves bytes between the line and the driver's input and output
// queues, turns what happens on the line into edge-triggered EV_ events, and completes pending
// overlapped operations. Every field is guarded by one mutex; an OVERLAPPED is written only
// under it, so it is never touched after its operation has ended.
#pragma once

#include <win32/private/handles.h>
#include <win32/win32.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "byte_queue.h"
#include "line.h"

namespace serial {

class Driver : public win32::KernelObject {
 public:
  static constexpr std::size_t kDefaultQueueSize = 4096;
  static constexpr std::size_t kMinQueueSize = 64;
  static constexpr std::size_t kMaxQueueSize = 16 * 1024 * 1024;

  // `overlappedHandle`: opened with FILE_FLAG_OVERLAPPED, so transfers need an OVERLAPPED.
  Driver(std::unique_ptr<Line> line, bool overlappedHandle);
  ~Driver() override;
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // Starts the I/O thread; 0 or the error that prevented it.
  DWORD Start();
  // Logs CreateFileA on the line and returns the failure injected for it (0: none).
  DWORD OpenCheck(const std::string& name);
  // CloseHandle: aborts everything pending, stops the I/O thread and closes the line.
  DWORD Close() override;

  BOOL ReadFile(void* buffer, DWORD n, DWORD* bytesRead, OVERLAPPED* overlapped);
  BOOL WriteFile(const void* buffer, DWORD n, DWORD* bytesWritten, OVERLAPPED* overlapped);
  BOOL WaitCommEvent(DWORD* eventMask, OVERLAPPED* overlapped);
  // Waits (or not) for an operation of this handle; `overlapped` is known to be pending.
  BOOL GetOverlappedResult(OVERLAPPED* overlapped, DWORD* bytes, BOOL wait);
  BOOL CancelIo();
  BOOL CancelIoEx(OVERLAPPED* overlapped);
  // FlushFileBuffers: waits until every byte written has left the driver and the line.
  BOOL Flush();

  BOOL SetupComm(DWORD inQueue, DWORD outQueue);
  BOOL GetCommTimeouts(COMMTIMEOUTS* timeouts);
  BOOL SetCommTimeouts(const COMMTIMEOUTS* timeouts);
  BOOL GetCommState(DCB* dcb);
  BOOL SetCommState(const DCB* dcb);
  BOOL GetCommMask(DWORD* mask);
  BOOL SetCommMask(DWORD mask);
  BOOL GetCommModemStatus(DWORD* status);
  BOOL EscapeCommFunction(DWORD func);
  BOOL ClearCommError(DWORD* errors, COMSTAT* stat);
  BOOL PurgeComm(DWORD flags);
  BOOL TransmitCommChar(char c);
  BOOL GetCommProperties(COMMPROP* properties);

 private:
  using Clock = std::chrono::steady_clock;

  struct PendingIo {
    OVERLAPPED* overlapped;
    std::shared_ptr<win32::Event> event;
    std::uint8_t* readTo = nullptr;
    const std::uint8_t* writeFrom = nullptr;
    std::size_t size = 0;
    std::size_t done = 0;
    std::optional<Clock::time_point> deadline;
    bool endsOnFirstByte = false;
  };
  struct PendingWait {
    OVERLAPPED* overlapped;
    std::shared_ptr<win32::Event> event;
    DWORD* mask;
  };
  // What the I/O thread polls for; an API call that changes it wakes the thread.
  struct Interest {
    short lineEvents = 0;
    int periodicMs = -1;  // -1: no periodic wake-up
    std::optional<Clock::time_point> deadline;
    bool operator==(const Interest&) const = default;
  };

  DWORD Shutdown(bool byCloseHandle);

  // Call entry: fails on a closed driver, logs the call, applies an injected failure.
  bool Enter(std::unique_lock<std::mutex>& lock, const char* call, const std::string& args);
  // The same for a call whose pointer argument must not be null (ERROR_INVALID_PARAMETER).
  bool EnterWith(std::unique_lock<std::mutex>& lock, const char* call, const std::string& args,
                 const void* required);
  // A getter: copies `from` to `*to` under the lock.
  template <class T>
  BOOL CopyOut(const char* call, T* to, const T& from) {
    std::unique_lock lock(mutex_);
    if (!EnterWith(lock, call, "", to)) return FALSE;
    *to = from;
    return TRUE;
  }
  // A call's arguments for the log, rendered only when the line keeps one: a real device pays
  // nothing for it on every transfer.
  template <class Render>
  std::string LogArgs(Render render) const {
    return line_->KeepsLog() ? render() : std::string();
  }
  static BOOL Fail(DWORD error);
  // Completes the operation started with overlapped as aborted; false when none was.
  bool AbortOne(std::deque<PendingIo>& ops, OVERLAPPED* overlapped);

  // Starting and ending overlapped operations.
  bool BeginOverlapped(OVERLAPPED* overlapped, std::shared_ptr<win32::Event>& event);
  void Complete(OVERLAPPED* overlapped, win32::Event* event, DWORD status, std::size_t bytes);
  // The call's result: waits first when the caller gave no OVERLAPPED.
  BOOL Finish(std::unique_lock<std::mutex>& lock, OVERLAPPED* overlapped, DWORD* bytes,
              bool synchronous);
  bool IsPending(const OVERLAPPED* overlapped) const;
  void AbortReads(DWORD error);
  void AbortWrites(DWORD error);
  void AbortWait(DWORD error);

  // Moving bytes and raising events (all with the lock held).
  void PumpInput();
  void FeedPendingReads();
  void PumpOutput();
  void FillOutputFromPendingWrites();
  void CheckTransmitEmpty();
  // Reads the modem inputs; returns the MS_ bits that changed since the last sample.
  DWORD SampleModem();
  // Collects breaks, line errors and modem-input changes and raises their events.
  void TakeLineEvents();
  // The same, returning the events (EV_ bits) instead of raising them.
  DWORD CollectLineEvents();
  void ExpireDeadlines();
  void Raise(DWORD events);
  void CompleteWaitIfEvents();
  void HangUp(DWORD error);
  void Service(short revents);
  bool OutputSent();

  // The I/O thread.
  void Run();
  void PollFailed(std::unique_lock<std::mutex>& lock);
  Interest ComputeInterest() const;
  void WakeIfInterestChanged();
  void Wake();

  std::mutex mutex_;
  std::condition_variable completed_;
  std::unique_ptr<Line> line_;
  int wakeFd_ = -1;
  std::thread thread_;
  bool stopping_ = false;
  bool closed_ = false;
  const bool overlappedHandle_;

  ByteQueue input_{kDefaultQueueSize};
  ByteQueue output_{kDefaultQueueSize};
  std::deque<PendingIo> reads_;
  std::deque<PendingIo> writes_;
  std::optional<PendingWait> wait_;
  std::optional<std::uint8_t> immediate_;  // TransmitCommChar's byte, sent before the queue

  DCB dcb_{};
  COMMTIMEOUTS timeouts_{};
  DWORD mask_ = 0;
  DWORD events_ = 0;
  DWORD errors_ = 0;
  DWORD modem_ = 0;
  bool modemKnown_ = false;
  bool modemUnsupported_ = false;  // the line has no modem inputs (a pty): not sampled
  bool transmitting_ = false;      // bytes were queued since the last EV_TXEMPTY
  bool outputHeld_ = false;        // EscapeCommFunction(SETXOFF)
  bool inputStalled_ = false;      // the input queue filled up: the line may hold more
  DWORD hangUpError_ = 0;          // nonzero once the line has gone away
  bool lineDead_ = false;          // a hung-up tty: no longer polled
  Interest polled_;
};

}  // namespace serial
