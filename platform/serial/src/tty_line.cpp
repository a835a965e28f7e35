#include "tty_line.h"

namespace serial {

std::unique_ptr<Line> OpenTtyLine(const std::string& /*path*/, DWORD& error) {
  error = ERROR_FILE_NOT_FOUND;
  return nullptr;
}

}  // namespace serial
