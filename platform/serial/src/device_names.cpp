#include "line.h"

namespace serial {

bool ResolveDeviceName(const std::string& /*name*/, std::string& /*path*/, DWORD& error) {
  error = ERROR_FILE_NOT_FOUND;
  return false;
}

}  // namespace serial
