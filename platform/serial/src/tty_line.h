// SPDX-License-Identifier: MIT
// A Line over a real termios device (/dev/ttyS*, ttyUSB*, ttyACM*, or a pty slave).
//
// The device is held exclusively (flock + TIOCEXCL) and kept in raw mode: no echo, no canonical
// processing, no character translation, NUL bytes kept, parity not checked, VMIN=0/VTIME=0 and
// non-blocking, so the driver's I/O thread can poll it and read or write whatever is ready.
#pragma once

#include <linux/serial.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "line.h"
#include "line_settings.h"

namespace serial {

// Removes the marks PARMRK puts in the input: "\377\377" is one 0xFF byte, "\377\0\0" a
// break (no data), "\377\0c" a byte c received with an error. A mark split between two reads
// is completed by the next.
class MarkedInput {
 public:
  struct Counts {
    std::size_t bytes = 0;  // data bytes left at the start of the buffer
    unsigned breaks = 0;
    unsigned errors = 0;
  };
  // Decodes n bytes in place.
  Counts Decode(std::uint8_t* data, std::size_t n);

 private:
  int markBytes_ = 0;  // bytes of an unfinished mark seen: 0, 1 (0xFF) or 2 (0xFF 0x00)
};

class TtyLine final : public Line {
 public:
  // Takes ownership of `fd`: an open tty, already locked with flock and marked TIOCEXCL.
  explicit TtyLine(int fd);
  ~TtyLine() override;
  TtyLine(const TtyLine&) = delete;
  TtyLine& operator=(const TtyLine&) = delete;

  int PollFd() const override { return fd_; }
  int ModemPollIntervalMs() const override;
  void WatchModemInputs() override;
  int ModemEventFd() const override { return modemEventFd_; }
  void DrainModemEvents() override;
  bool CountsModemChanges() const override { return hasCounters_; }

  LineIo Read(void* data, std::size_t n) override;
  LineIo Write(const void* data, std::size_t n) override;
  std::size_t OutputPending() override;

  DWORD ApplyState(const DCB& dcb) override;
  DWORD Escape(DWORD func) override;
  DWORD ModemStatus(DWORD& status) override;
  LineEvents TakeLineEvents() override;

  void DiscardInput() override;
  void DiscardOutput() override;

 private:
  void ApplyModemControls(const DCB& dcb);
  bool SetModemBit(int bit, bool on) const;
  // The modem watcher: waits in TIOCMIWAIT and makes modemEventFd_ readable on each change.
  void WaitForModemChanges(serial_icounter_struct seen);
  bool ModemCountsMoved(serial_icounter_struct& seen) const;
  void SignalModemEvent() const;
  void StopModemWatcher();

  const int fd_;
  const bool pseudoTerminal_;   // forces 8 data bits without parity whatever it is asked
  bool hasModemLines_ = false;  // TIOCMGET works (not on a pty)
  bool hasCounters_ = false;    // TIOCGICOUNT works (not on a pty)
  int modemEventFd_ = -1;       // eventfd written by the modem watcher; -1 without modem lines

  // Read and TakeLineEvents only: the driver serialises them.
  MarkedInput marked_;
  unsigned markedBreaks_ = 0;  // breaks found in the input, not yet taken
  unsigned markedErrors_ = 0;

  std::thread watcher_;                        // started by the first WatchModemInputs()
  std::atomic<bool> watcherStop_{false};       // asks the watcher to end
  std::atomic<bool> modemWaitRefused_{false};  // the device refused TIOCMIWAIT: sample instead
  std::mutex watcherMutex_;
  std::condition_variable watcherEnded_;
  bool watcherRunning_ = false;  // guarded by watcherMutex_

  std::mutex mutex_;  // guards the members below
  serial_icounter_struct lastCounts_{};
  int appliedDtrControl_ = -1;  // fDtrControl last driven onto the line, -1 before the first
  int appliedRtsControl_ = -1;
};

// termios2 (tty_line_termios2.cpp): any speed, named ones through their Bxxx code and all others
// through BOTHER; writing is one TCSETS2, so a refused write leaves the previous modes in force.
// Both return false with errno set on failure.
bool ReadTtyModes(int fd, TtyModes& modes);
bool WriteTtyModes(int fd, const TtyModes& modes);

}  // namespace serial
