// SPDX-License-Identifier: MIT
// The program's system calls on POSIX: Windows-1251 from a table of its own (no converter the
// system might lack), localtime_r for the clock, open and flock for the appended file.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "Platform.h"

namespace appplatform {

namespace {

// The code points of bytes 0x80 to 0xFF; U+FFFD for 0x98, which the code page leaves undefined.
constexpr char16_t kUpperHalf[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

void AppendUtf8(std::string& Text, char16_t CodePoint) {
  if (CodePoint < 0x80) {
    Text += static_cast<char>(CodePoint);
  } else if (CodePoint < 0x800) {
    Text += static_cast<char>(0xC0 | (CodePoint >> 6));
    Text += static_cast<char>(0x80 | (CodePoint & 0x3F));
  } else {
    Text += static_cast<char>(0xE0 | (CodePoint >> 12));
    Text += static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F));
    Text += static_cast<char>(0x80 | (CodePoint & 0x3F));
  }
}

}  // namespace

std::string DecodeWindows1251(const char* Bytes, std::size_t Length) {
  std::string text;
  text.reserve(Length * 2);
  for (std::size_t i = 0; i < Length; ++i) {
    const auto byte = static_cast<unsigned char>(Bytes[i]);
    AppendUtf8(text, byte < 0x80 ? char16_t{byte} : kUpperHalf[byte - 0x80]);
  }
  return text;
}

TLocalTime LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_hour, local.tm_min};
}

TCalendarTime LocalCalendarTime(std::time_t Time) {
  std::tm local{};
  localtime_r(&Time, &local);
  return {local.tm_year + 1900,
          local.tm_mon + 1,
          local.tm_mday,
          local.tm_hour,
          local.tm_min,
          local.tm_sec,
          static_cast<int>(local.tm_gmtoff / 60)};
}

std::filesystem::path DataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::filesystem::path(data) / "zelvane";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "") / ".local/share/zelvane";
}

bool TAppendFile::Open(const std::filesystem::path& Path) {
  Close();
  const int fd = ::open(Path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {  // another copy of the program writes it
    ::close(fd);
    return false;
  }
  FHandle = fd;
  return true;
}

// A write cut short (a full disk) is taken back, so that the file holds whole lines only.
bool TAppendFile::Append(std::string_view Bytes) {
  if (!IsOpen()) return false;
  const int fd = static_cast<int>(FHandle);
  const off_t end = lseek(fd, 0, SEEK_END);
  std::size_t done = 0;
  while (done < Bytes.size()) {
    const ssize_t n = ::write(fd, Bytes.data() + done, Bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (end >= 0 && ftruncate(fd, end) != 0) {
        // The partial line stays; the reader skips lines it cannot read.
      }
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void TAppendFile::Close() {
  if (!IsOpen()) return;
  ::close(static_cast<int>(FHandle));
  FHandle = kClosed;
}

}  // namespace appplatform
