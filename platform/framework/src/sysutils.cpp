// SPDX-License-Identifier: MIT
#include <framework/sysutils.h>

#include <limits>
#include <string>

namespace {

// Parses a whole decimal number with an optional sign; false for anything else or overflow.
bool ParseInt(const std::string& text, int& result) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  // Accumulate as a negative number: its range covers INT_MIN.
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 - (c - '0');
    if (value < static_cast<long long>(std::numeric_limits<int>::min())) return false;
  }
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<int>::max()) return false;
  }
  result = static_cast<int>(value);
  return true;
}

}  // namespace

int StrToInt(const std::string& S) {
  int value = 0;
  if (!ParseInt(S, value)) throw EConvertError("'" + S + "' is not a valid integer value");
  return value;
}

int StrToIntDef(const std::string& S, int Default) {
  int value = 0;
  return ParseInt(S, value) ? value : Default;
}

std::string IntToStr(long long Value) { return std::to_string(Value); }

namespace {

std::string UnknownSystemError(DWORD Code) { return "System error " + std::to_string(Code) + "."; }

#ifndef _WIN32
// The texts Windows gives for the codes the serial layer reports on POSIX.
struct TSystemErrorText {
  DWORD Code;
  const char* Text;
};
constexpr TSystemErrorText SystemErrorTexts[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_BAD_COMMAND, "The device does not recognize the command."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_BAD_PATHNAME, "The specified path is invalid."},
    {ERROR_OPERATION_ABORTED,
     "The I/O operation has been aborted because of either a thread exit or an application "
     "request."},
    {ERROR_IO_INCOMPLETE, "Overlapped I/O event is not in a signaled state."},
    {ERROR_IO_PENDING, "Overlapped I/O operation is in progress."},
    {ERROR_NOACCESS, "Invalid access to memory location."},
    {ERROR_COUNTER_TIMEOUT,
     "A serial I/O operation completed because the time-out period expired."},
    {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected."},
    {ERROR_NOT_FOUND, "Element not found."},
    {ERROR_DEVICE_REMOVED, "The device has been removed."},
};
#endif

}  // namespace

#ifdef _WIN32
std::string SysErrorMessage(DWORD Code) {
  char* Text = nullptr;
  const DWORD Length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Code, 0, reinterpret_cast<char*>(&Text), 0, nullptr);
  std::string Message = Length > 0 ? std::string(Text, Length) : UnknownSystemError(Code);
  LocalFree(Text);
  while (!Message.empty() && (Message.back() == '\n' || Message.back() == '\r')) Message.pop_back();
  return Message;
}
#else
std::string SysErrorMessage(DWORD Code) {
  for (const TSystemErrorText& Entry : SystemErrorTexts)
    if (Entry.Code == Code) return Entry.Text;
  return UnknownSystemError(Code);
}
#endif
