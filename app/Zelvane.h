// SPDX-License-Identifier: MIT
// The program's entry point, behind a thin main so that tests can run it with their own front
// end: initialises the application, creates the main window, runs the message loop until the
// application ends, and reports an error that escapes all that. Returns 0. Main thread.
#pragma once

int ZelvaneMain();
