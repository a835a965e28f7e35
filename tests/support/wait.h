// SPDX-License-Identifier: MIT
// Waiting on conditions in tests, with generous time-outs instead of fixed sleeps.
// WaitUntil may be called from any thread; PumpUntil on the main thread only.
#pragma once

#include <chrono>
#include <functional>

namespace testsupport {

using namespace std::chrono_literals;

// Checks `done` about every 200 microseconds until it holds or `timeout` has passed; returns its
// last value. Runs no synchronised calls: deliveries to the main thread stay queued meanwhile.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s);

// The same on the main thread, running the synchronised calls that workers queue for it
// (CheckSynchronize) while it waits: for conditions that a notification brings about.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s);

}  // namespace testsupport
