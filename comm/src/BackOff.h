// Pause of the reader and the writer after a failed transfer, so that a dead device costs no CPU.
#pragma once

#include <framework/thread.h>
#include <win32/win32.h>

// Sleeps 10 ms after the first failure (Delay 0), doubling up to 100 ms on each further one, in
// 10 ms slices so that a terminated worker leaves at once. Delay carries the state between calls;
// the caller sets it back to 0 after a success.
void BackOffAfterFailure(const TThread& Worker, DWORD& Delay);
