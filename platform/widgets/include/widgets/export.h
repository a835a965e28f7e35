// SPDX-License-Identifier: MIT
// COMM_WIDGETS_API marks what the library libzelvanewidgets offers to programs and to the other
// libraries; every other symbol stays inside it. On Linux the library is built with hidden
// visibility and the mark makes a symbol visible; on Windows the DLL exports what is marked (the
// library's own build defines COMM_WIDGETS_BUILDING) and its users import it. Compile-time only, no
// threads.
#pragma once

#if defined(_WIN32)
#if defined(COMM_WIDGETS_BUILDING)
#define COMM_WIDGETS_API __declspec(dllexport)
#else
#define COMM_WIDGETS_API __declspec(dllimport)
#endif
#else
#define COMM_WIDGETS_API __attribute__((visibility("default")))
#endif
