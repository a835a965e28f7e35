// SPDX-License-Identifier: MIT
// The helpers of every suite (tests/support: answering boxes, waiting and pumping, the
// pseudo-terminal pair, COMM_PORT_<n> routes, unique cable names) under the names the Comm tests
// use.
#pragma once

#include "dialogs.h"
#include "environment.h"
#include "pty_pair.h"
#include "wait.h"

namespace commtest {

using testsupport::Dialog;
using testsupport::DialogRecorder;
using testsupport::PtyPair;
using testsupport::PumpUntil;
using testsupport::ScopedPortEnv;
using testsupport::UniqueName;
using testsupport::WaitUntil;

}  // namespace commtest
