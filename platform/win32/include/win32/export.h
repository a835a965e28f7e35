// SPDX-License-Identifier: MIT
/// @file
/// COMM_WIN32_API marks what the library libcommwin32 offers to programs and to the other
/// libraries; every other symbol stays inside it (it is built with hidden visibility). Compile-time
/// only, no threads.
#pragma once

#if defined(_WIN32)
// Empty on Windows: there the API is the system's own <windows.h>, with no library of ours.
#define COMM_WIN32_API
#else
/// On Linux: gives the symbol default visibility, so the shared library exports it.
#define COMM_WIN32_API __attribute__((visibility("default")))
#endif
