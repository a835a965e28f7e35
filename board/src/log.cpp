// SPDX-License-Identifier: MIT
#include "log.h"

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "text.h"

namespace board {
namespace {

constexpr std::size_t kBytesPerLine = 16;

std::string timestamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06ld", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<long>(now.tv_usec));
  return text;
}

std::string hex(std::string_view bytes) {
  std::string text;
  char byte[4];
  for (char c : bytes) {
    std::snprintf(byte, sizeof byte, "%02X ", static_cast<unsigned char>(c));
    text += byte;
  }
  return text;
}

}  // namespace

void Log::note(std::string_view text) {
  writeLine(timestamp() + " .. " + std::string(text) + "\n");
}

void Log::dump(const char* direction, std::string_view bytes) {
  const std::string time = timestamp();
  for (std::size_t at = 0; at < bytes.size(); at += kBytesPerLine) {
    const std::string_view part = bytes.substr(at, kBytesPerLine);
    std::string line = time + " " + direction + " " + hex(part);
    line.resize(time.size() + 4 + kBytesPerLine * 3, ' ');
    writeLine(line + " |" + decodeForLog(part) + "|\n");
  }
}

void Log::writeLine(const std::string& line) {
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a log that cannot be written must not stop the board
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace board
