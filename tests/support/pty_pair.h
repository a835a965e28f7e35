// SPDX-License-Identifier: MIT
// A pseudo-terminal pair for tests: the device under test opens the slave, the test plays the
// far end on the master. The master is raw and non-blocking. The test also holds a descriptor on
// the slave, opened first so that a port's exclusive open does not stop it: it keeps the pair
// alive while no port holds the slave (the master sees no hang-up) and reads the slave's modes.
// One thread uses a PtyPair at a time.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace testsupport {

class PtyPair {
 public:
  // Raises std::runtime_error when no pseudo-terminal can be made.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int Master() const { return master_; }
  int Slave() const { return slave_; }  // the test's own descriptor on the slave
  const std::string& SlavePath() const { return slavePath_; }
  termios SlaveTermios() const;

  // Writes every byte from the master, waiting for room (at most 10 s); false on failure.
  bool Write(const void* data, std::size_t n);
  bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
  // Up to n bytes from the master, waiting up to `timeout` for the first.
  std::size_t Read(void* data, std::size_t n, std::chrono::milliseconds timeout);
  // Reads until n bytes arrived or `timeout` passed; returns what arrived.
  std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout);
  // Closes the master (and the test's slave descriptor): whoever holds the slave sees a hang-up.
  void HangUp();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace testsupport
