// SPDX-License-Identifier: MIT
// Pause of the reader and the writer after a failed transfer, so that a dead device costs no CPU,
// and which failures mean that the device has gone away.
#pragma once

#include <framework/thread.h>
#include <win32/win32.h>

// Sleeps 10 ms after the first failure (Delay 0), doubling up to 100 ms on each further one, in
// 10 ms slices so that a terminated worker leaves at once. Delay carries the state between calls;
// the caller sets it back to 0 after a success.
void BackOffAfterFailure(const TThread& Worker, DWORD& Delay);

// Whether a failed call's error means the device has gone (hang-up, adapter pulled): our POSIX
// driver says ERROR_DEVICE_NOT_CONNECTED; Windows' drivers, and Wine on a hung-up tty, say it with
// the codes of a device no longer there. A wait released by SetCommMask (ERROR_OPERATION_ABORTED)
// is no loss.
bool DeviceGone(DWORD Error);
