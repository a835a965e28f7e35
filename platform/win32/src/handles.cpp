// SPDX-License-Identifier: MIT
#include <win32/private/handles.h>

#include <atomic>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace win32 {
namespace {

class HandleTable {
 public:
  HANDLE Add(std::shared_ptr<KernelObject> object) {
    std::lock_guard lock(mutex_);
    nextId_ += kStep;
    objects_.emplace(nextId_, Entry{std::move(object), false});
    return reinterpret_cast<HANDLE>(nextId_);
  }

  std::shared_ptr<KernelObject> Find(HANDLE handle, bool evenClosing) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(Id(handle));
    if (it == objects_.end() || (it->second.closing && !evenClosing)) return nullptr;
    return it->second.object;
  }

  // First step of CloseHandle: only one caller wins, later lookups fail.
  std::shared_ptr<KernelObject> BeginClose(HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(Id(handle));
    if (it == objects_.end() || it->second.closing) return nullptr;
    it->second.closing = true;
    return it->second.object;
  }

  void EndClose(HANDLE handle) {
    std::lock_guard lock(mutex_);
    objects_.erase(Id(handle));
  }

 private:
  // Ids grow by 4 from 0x100, like Windows handle values; 2^62 handles never wrap in practice.
  static constexpr std::uintptr_t kStep = 4;
  std::mutex mutex_;
  std::uintptr_t nextId_ = 0x100 - kStep;
  struct Entry {
    std::shared_ptr<KernelObject> object;
    bool closing;
  };
  static std::uintptr_t Id(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }
  std::unordered_map<std::uintptr_t, Entry> objects_;
};

}  // namespace

static HandleTable& Table() {
  // Never destroyed: handles may still be closed from static destructors at exit.
  static auto* table = new HandleTable;
  return *table;
}

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object) {
  return Table().Add(std::move(object));
}
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) { return Table().Find(handle, false); }
std::shared_ptr<KernelObject> LookupHandleWhileClosing(HANDLE handle) {
  return Table().Find(handle, true);
}

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  if (manualReset_)
    changed_.notify_all();
  else
    changed_.notify_one();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool Event::IsSignalled() const {
  std::lock_guard lock(mutex_);
  return signalled_;
}

bool Event::Wait(std::optional<std::chrono::steady_clock::time_point> deadline) {
  std::unique_lock lock(mutex_);
  auto isSignalled = [this] { return signalled_; };
  if (deadline) {
    if (!changed_.wait_until(lock, *deadline, isSignalled)) return false;
  } else {
    changed_.wait(lock, isSignalled);
  }
  if (!manualReset_) signalled_ = false;
  return true;
}

}  // namespace win32

// ---- Win32 entry points ------------------------------------------------------------------------

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" {

DWORD WINAPI GetLastError() { return lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

BOOL WINAPI CloseHandle(HANDLE hObject) {
  auto& table = win32::Table();
  auto object = table.BeginClose(hObject);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD error = object->Close();
  table.EndClose(hObject);
  if (error != 0) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR /*lpName*/) {
  // Events are process-local here; a name does not make two calls share one event.
  return win32::RegisterHandle(
      std::make_shared<win32::Event>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  auto event = win32::LookupAs<win32::Event>(hEvent);
  if (!event) return FALSE;
  event->Set();
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  auto event = win32::LookupAs<win32::Event>(hEvent);
  if (!event) return FALSE;
  event->Reset();
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto event = win32::LookupAs<win32::Event>(hHandle);
  if (!event) return WAIT_FAILED;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (dwMilliseconds != INFINITE)
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
  return event->Wait(deadline) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

}  // extern "C"
