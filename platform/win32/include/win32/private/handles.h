// SPDX-License-Identifier: MIT
// Kernel objects behind HANDLE values, and the process-wide handle table.
//
// Not part of the API: shared by the two halves of libcommwin32 (the Win32 subset here and the
// serial driver in platform/serial), never installed, and may change without notice.
//
// A HANDLE is an opaque id that is never reused. The table maps it to a reference-counted
// object, so a call racing with CloseHandle on another thread either sees the object (and keeps
// it alive for the duration of the call) or sees no object and fails with ERROR_INVALID_HANDLE.
#pragma once

#include <win32/win32.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace win32 {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called exactly once, by CloseHandle. From then on LookupHandle no longer finds the handle;
  // other threads may still hold references and be inside calls on the object. Returns 0, or an
  // error CloseHandle reports (the handle is closed all the same).
  virtual DWORD Close() { return 0; }
};

// Registers an object and returns its new handle (never null, never INVALID_HANDLE_VALUE).
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null for an unknown or closed handle (or one being closed).
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Like LookupHandle, but also finds a handle whose CloseHandle is still running, so a caller can
// wait for that close to end the operations it aborts.
std::shared_ptr<KernelObject> LookupHandleWhileClosing(HANDLE handle);

// The object behind a handle if it is of type T; otherwise null with ERROR_INVALID_HANDLE set.
template <class T>
std::shared_ptr<T> LookupAs(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// A Win32 event: manual-reset (stays signalled until ResetEvent, releases every waiter) or
// auto-reset (releases exactly one waiter and returns to non-signalled).
class Event : public KernelObject {
 public:
  Event(bool manualReset, bool initialState)
      : manualReset_(manualReset), signalled_(initialState) {}

  void Set();
  void Reset();
  // Waits until signalled or the deadline passes (nullopt: no deadline). True when signalled;
  // an auto-reset event is consumed by the waiter it releases.
  bool Wait(std::optional<std::chrono::steady_clock::time_point> deadline);
  bool IsSignalled() const;

 private:
  const bool manualReset_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_;
};

}  // namespace win32
