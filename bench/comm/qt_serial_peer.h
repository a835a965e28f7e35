// SPDX-License-Identifier: MIT
// Qt's serial port measured beside TCommPort in bench_comm (built where Debian's Qt 6 serial
// port module is installed). Main thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// The milliseconds of each of `exchanges` 2-byte requests with 5-byte replies on `path`.
std::vector<double> QtRequests(const std::string& path, int exchanges);
// Sends and receives `volume` bytes on `path`; `begin` runs once the port is open.
void QtBulk(const std::string& path, std::size_t volume, const std::function<void()>& begin);

}  // namespace bench
