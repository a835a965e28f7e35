// Kernel objects behind HANDLE values, and the process-wide handle table.
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
  // Called exactly once, by CloseHandle, after the handle has left the table. Other threads may
  // still hold references and be inside calls on the object.
  virtual void Close() {}
};

// Registers an object and returns its new handle (never null, never INVALID_HANDLE_VALUE).
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null for an unknown or closed handle.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Removes a handle from the table and returns its object (null if it was not there).
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

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
  Event(bool manualReset, bool initialState) : manualReset_(manualReset), signalled_(initialState) {}

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
