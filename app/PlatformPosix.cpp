// The program's system calls on POSIX: iconv for Windows-1251, localtime_r for the clock.
#include <iconv.h>

#include <cerrno>
#include <ctime>
#include <mutex>

#include "Platform.h"

namespace appplatform {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

}  // namespace

std::string DecodeWindows1251(const char* Bytes, std::size_t Length) {
  // One converter for the process; iconv keeps state in it, so its users take turns.
  static const iconv_t decoder = iconv_open("UTF-8", "CP1251");
  static std::mutex turn;
  std::lock_guard<std::mutex> guard(turn);
  std::string text;
  char out[256];
  char* in = const_cast<char*>(Bytes);
  std::size_t inLeft = Length;
  while (inLeft > 0) {
    char* to = out;
    std::size_t outLeft = sizeof out;
    const std::size_t done = iconv(decoder, &in, &inLeft, &to, &outLeft);
    text.append(out, static_cast<std::size_t>(to - out));
    if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {  // no character in the page
      text += kReplacement;
      ++in;
      --inLeft;
    }
  }
  return text;
}

TLocalTime LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_hour, local.tm_min};
}

}  // namespace appplatform
