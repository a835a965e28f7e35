// SPDX-License-Identifier: MIT
/// @file
/// The framework's error classes, number conversions and system error texts. Threads: any;
/// nothing here keeps state.
#pragma once

#include <framework/export.h>
#include <win32/win32.h>

#include <exception>
#include <string>

/// Base of every error the framework raises. Message is what the standard error report shows.
class COMM_FRAMEWORK_API Exception : public std::exception {
 public:
  /// An error with an empty message.
  Exception() = default;
  /// An error with the given message.
  explicit Exception(std::string message) : Message(std::move(message)) {}
  /// Message, for code that catches std::exception.
  const char* what() const noexcept override { return Message.c_str(); }

  /// What the standard error report shows; may be changed before the error is raised again.
  std::string Message;
};

/// A text that is not a number of the requested kind.
class COMM_FRAMEWORK_API EConvertError : public Exception {
 public:
  using Exception::Exception;
};

/// Converts a whole decimal number: optional sign, digits only (leading zeros allowed, "07" is
/// 7), no blanks. Anything else, the empty text included, and values outside int raise
/// EConvertError.
COMM_FRAMEWORK_API int StrToInt(const std::string& S);

/// Same rules, but returns Default instead of raising.
COMM_FRAMEWORK_API int StrToIntDef(const std::string& S, int Default);

/// Decimal text of Value.
COMM_FRAMEWORK_API std::string IntToStr(long long Value);

/// The system's text for an error code that GetLastError() returned, such as "Access is denied."
/// for 5: the operating system's own message on Windows, the same English texts elsewhere for
/// the codes the serial layer reports, and "System error <code>." for any other code.
COMM_FRAMEWORK_API std::string SysErrorMessage(DWORD Code);
