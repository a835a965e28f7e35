// A Line over a real termios device (/dev/ttyS*, ttyUSB*, ttyACM*, or a pty slave).
#pragma once

#include "line.h"

namespace serial {}  // namespace serial
