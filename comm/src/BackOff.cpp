// SPDX-License-Identifier: MIT
#include "BackOff.h"

#include <algorithm>

namespace {

constexpr DWORD FirstBackOffMs = 10;
constexpr DWORD LastBackOffMs = 100;
constexpr DWORD BackOffSliceMs = 10;

}  // namespace

void BackOffAfterFailure(const TThread& Worker, DWORD& Delay) {
  Delay = Delay == 0 ? FirstBackOffMs : std::min(Delay * 2, LastBackOffMs);
  for (DWORD Slept = 0; Slept < Delay && !Worker.Terminated(); Slept += BackOffSliceMs)
    Sleep(BackOffSliceMs);
}

bool DeviceGone(DWORD Error) {
  switch (Error) {
    case ERROR_DEVICE_NOT_CONNECTED:
#if defined(_WIN32)
    case ERROR_DEVICE_REMOVED:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_ACCESS_DENIED:
#endif
      return true;
    default:
      return false;
  }
}
