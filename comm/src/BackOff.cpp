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
