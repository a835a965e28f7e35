// SPDX-License-Identifier: MIT
/// @file
/// Keeps this project's names as they are on Windows. <windows.h> defines many of the API's
/// names as macros that pick the A or W form (GetClassInfo, RegisterClass, ReplaceFile, ...) or
/// stand for values (DEFAULT_CHARSET, ERROR, ...), and those macros would rename our members,
/// classes and constants. This header, included by win32/win32.h right after <windows.h>, takes
/// them back; code that wants the API calls names their A or W form explicitly.
///
/// The message box is the framework's (framework/application.h): win32.h keeps user32's out
/// (NOMB) and declares the MB_ values itself, for every platform.
/// Only for Windows; include win32/win32.h, never this header, and never <windows.h> before it.
#pragma once

#if defined(_WIN32)

#if defined(_WINUSER_) && !defined(NOMB)
#error "include win32/win32.h before <windows.h>: the framework's MessageBoxA replaces user32's"
#endif

// Member and class names of the framework and its controls.
#undef GetClassInfo
#undef RegisterClass
#undef MessageBox
#undef CreateWindow
#undef GetObject
#undef DrawText
#undef TextOut
#undef LoadImage
#undef LoadIcon
#undef LoadBitmap
#undef PostMessage
#undef SendMessage
#undef GetMessage
#undef DispatchMessage
#undef GetCurrentTime
#undef Yield

// File calls named as the platform layer's own helpers.
#undef ReplaceFile
#undef CopyFile
#undef DeleteFile
#undef MoveFile
#undef CreateDirectory
#undef GetUserName

// Values the widgets declare as constants of their own.
#undef DEFAULT_CHARSET
#undef ANSI_CHARSET
#undef SYMBOL_CHARSET
#undef RUSSIAN_CHARSET
#undef OEM_CHARSET
#undef ERROR
#undef TRANSPARENT
#undef OPAQUE

#endif  // _WIN32
