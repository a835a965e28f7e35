// SPDX-License-Identifier: MIT
// COMM_WIDGETS_API marks what the library libzelvanewidgets offers to programs and to the other
// libraries; every other symbol stays inside it (it is built with hidden visibility). Compile-time
// only, no threads.
#pragma once

#if defined(_WIN32)
// Empty on Windows for now: the MinGW build exports every symbol of the DLL automatically.
#define COMM_WIDGETS_API
#else
#define COMM_WIDGETS_API __attribute__((visibility("default")))
#endif
