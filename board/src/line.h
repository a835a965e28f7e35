// SPDX-License-Identifier: MIT
// The serial line the simulator serves: a new pseudo-terminal (the master end, with the slave
// kept open here too so the master never reads a hang-up while no client has the slave open) or
// a real tty opened exclusively. Both are raw at 19200 bit/s 8N1 and non-blocking. Destroying a
// Line closes it and removes its link. Single-threaded.
#pragma once

#include <stdexcept>
#include <string>

namespace board {

struct LineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Line {
 public:
  // Throws LineError with a message that names the device and the reason.
  static Line openPty(const std::string& link);
  static Line openDevice(const std::string& path);

  Line(Line&& other) noexcept;
  Line& operator=(Line&&) = delete;
  Line(const Line&) = delete;
  ~Line();

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }  // what a client opens
  // Bytes sent but not yet read by the client (pty) or not yet on the wire (device).
  int unreadByClient() const;
  void close();  // hangs up: closes both ends and removes the link

 private:
  Line() = default;

  int fd_ = -1;       // pty master or the device
  int slaveFd_ = -1;  // the pty slave held open by the simulator
  bool exclusive_ = false;
  std::string path_;
  std::string link_;
};

}  // namespace board
