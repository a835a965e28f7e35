// SPDX-License-Identifier: MIT
// Critical sections and Sleep.
#include <win32/win32.h>

#include <chrono>
#include <mutex>
#include <new>
#include <thread>

namespace {

using CriticalSectionLock = std::recursive_mutex;
static_assert(sizeof(CriticalSectionLock) <= sizeof(CRITICAL_SECTION::Opaque),
              "CRITICAL_SECTION too small for the lock");
static_assert(alignof(CriticalSectionLock) <= alignof(CRITICAL_SECTION),
              "CRITICAL_SECTION under-aligned for the lock");

CriticalSectionLock& LockOf(LPCRITICAL_SECTION section) {
  return *std::launder(reinterpret_cast<CriticalSectionLock*>(section->Opaque));
}

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  new (lpCriticalSection->Opaque) CriticalSectionLock();
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  LockOf(lpCriticalSection).lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  LockOf(lpCriticalSection).unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  LockOf(lpCriticalSection).~CriticalSectionLock();
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0)
    std::this_thread::yield();
  else if (dwMilliseconds == INFINITE)
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

}  // extern "C"
