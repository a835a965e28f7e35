// SPDX-License-Identifier: MIT
// The Win32 serial-device calls: each finds the driver behind its handle and delegates to it.
#include <strings.h>
#include <win32/private/handles.h>

#include <atomic>
#include <string>

#include "driver.h"
#include "line.h"

namespace serial {

std::unique_ptr<Line> OpenLine(const std::string& path, DWORD& error) {
  static const std::string kVirtualPrefix = "virtual:";
  if (path.rfind(kVirtualPrefix, 0) == 0) return OpenVirtualLine(path, error);
  if (!path.empty() && path[0] == '/') return OpenTtyLine(path, error);
  error = ERROR_FILE_NOT_FOUND;
  return nullptr;
}

namespace {

// Device names: "\\.\COM<n>" and plain "COM<n>" go through the port-name resolution;
// "virtual:..." and absolute paths are taken as they are; anything else names no device.
bool ResolvePath(const std::string& name, std::string& path, DWORD& error) {
  const bool plainCom = name.size() > 3 && strncasecmp(name.c_str(), "COM", 3) == 0;
  if (name.rfind("\\\\.\\", 0) == 0 || plainCom) return ResolveDeviceName(name, path, error);
  if (name.rfind("virtual:", 0) == 0 || (!name.empty() && name[0] == '/')) {
    path = name;
    return true;
  }
  error = ERROR_FILE_NOT_FOUND;
  return false;
}

template <class Call>
BOOL WithDriver(HANDLE handle, Call call) {
  auto driver = win32::LookupAs<Driver>(handle);
  if (!driver) return FALSE;
  return call(*driver);
}

}  // namespace
}  // namespace serial

using serial::Driver;
using serial::WithDriver;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD /*dwDesiredAccess*/, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD /*dwCreationDisposition*/, DWORD dwFlagsAndAttributes,
                          HANDLE /*hTemplateFile*/) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Serial devices are always opened exclusively. On a handle opened with FILE_FLAG_OVERLAPPED a
  // transfer needs an OVERLAPPED; on one opened without, a call without one waits for its result.
  std::string path;
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (!serial::ResolvePath(lpFileName, path, error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  auto line = serial::OpenLine(path, error);
  if (!line) {
    SetLastError(error ? error : ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto driver =
      std::make_shared<Driver>(std::move(line), (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0);
  error = driver->OpenCheck(lpFileName);
  if (error == 0) error = driver->Start();
  if (error != 0) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;  // the driver and its line go away with the last reference
  }
  return win32::RegisterHandle(std::move(driver));
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  return WithDriver(hFile, [&](Driver& d) {
    return d.ReadFile(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
  });
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  return WithDriver(hFile, [&](Driver& d) {
    return d.WriteFile(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped);
  });
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
  if (lpOverlapped == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A handle whose CloseHandle is running still answers, so a waiter sees the abort.
  auto driver = std::dynamic_pointer_cast<Driver>(win32::LookupHandleWhileClosing(hFile));
  if (driver) return driver->GetOverlappedResult(lpOverlapped, lpNumberOfBytesTransferred, bWait);
  // The handle is gone; an operation that had ended still reports its result.
  ULONG_PTR status =
      std::atomic_ref<ULONG_PTR>(lpOverlapped->Internal).load(std::memory_order_acquire);
  if (status == STATUS_PENDING) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpNumberOfBytesTransferred)
    *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
  if (status != 0) {
    SetLastError(static_cast<DWORD>(status));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CancelIo(HANDLE hFile) {
  return WithDriver(hFile, [&](Driver& d) { return d.CancelIo(); });
}

BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
  return WithDriver(hFile, [&](Driver& d) { return d.CancelIoEx(lpOverlapped); });
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  return WithDriver(hFile, [&](Driver& d) { return d.Flush(); });
}

BOOL WINAPI SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
  return WithDriver(hFile, [&](Driver& d) { return d.SetupComm(dwInQueue, dwOutQueue); });
}

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
  return WithDriver(hFile, [&](Driver& d) { return d.GetCommTimeouts(lpCommTimeouts); });
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
  return WithDriver(hFile, [&](Driver& d) { return d.SetCommTimeouts(lpCommTimeouts); });
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB) {
  return WithDriver(hFile, [&](Driver& d) { return d.GetCommState(lpDCB); });
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB) {
  return WithDriver(hFile, [&](Driver& d) { return d.SetCommState(lpDCB); });
}

BOOL WINAPI GetCommMask(HANDLE hFile, LPDWORD lpEvtMask) {
  return WithDriver(hFile, [&](Driver& d) { return d.GetCommMask(lpEvtMask); });
}

BOOL WINAPI SetCommMask(HANDLE hFile, DWORD dwEvtMask) {
  return WithDriver(hFile, [&](Driver& d) { return d.SetCommMask(dwEvtMask); });
}

BOOL WINAPI WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped) {
  return WithDriver(hFile, [&](Driver& d) { return d.WaitCommEvent(lpEvtMask, lpOverlapped); });
}

BOOL WINAPI GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat) {
  return WithDriver(hFile, [&](Driver& d) { return d.GetCommModemStatus(lpModemStat); });
}

BOOL WINAPI EscapeCommFunction(HANDLE hFile, DWORD dwFunc) {
  return WithDriver(hFile, [&](Driver& d) { return d.EscapeCommFunction(dwFunc); });
}

BOOL WINAPI ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat) {
  return WithDriver(hFile, [&](Driver& d) { return d.ClearCommError(lpErrors, lpStat); });
}

BOOL WINAPI PurgeComm(HANDLE hFile, DWORD dwFlags) {
  return WithDriver(hFile, [&](Driver& d) { return d.PurgeComm(dwFlags); });
}

BOOL WINAPI SetCommBreak(HANDLE hFile) {
  return WithDriver(hFile, [&](Driver& d) { return d.EscapeCommFunction(SETBREAK); });
}

BOOL WINAPI ClearCommBreak(HANDLE hFile) {
  return WithDriver(hFile, [&](Driver& d) { return d.EscapeCommFunction(CLRBREAK); });
}

BOOL WINAPI TransmitCommChar(HANDLE hFile, char cChar) {
  return WithDriver(hFile, [&](Driver& d) { return d.TransmitCommChar(cChar); });
}

BOOL WINAPI GetCommProperties(HANDLE hFile, LPCOMMPROP lpCommProp) {
  return WithDriver(hFile, [&](Driver& d) { return d.GetCommProperties(lpCommProp); });
}

}  // extern "C"
