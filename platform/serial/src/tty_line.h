// A Line over a real termios device (/dev/ttyS*, ttyUSB*, ttyACM*, or a pty slave).
//
// The device is held exclusively (flock + TIOCEXCL) and kept in raw mode: no echo, no canonical
// processing, no character translation, NUL bytes kept, parity not checked, VMIN=0/VTIME=0 and
// non-blocking, so the driver's I/O thread can poll it and read or write whatever is ready.
#pragma once

#include <linux/serial.h>

#include <mutex>

#include "line.h"
#include "line_settings.h"

namespace serial {

class TtyLine final : public Line {
 public:
  // Takes ownership of `fd`: an open tty, already locked with flock and marked TIOCEXCL.
  explicit TtyLine(int fd);
  ~TtyLine() override;
  TtyLine(const TtyLine&) = delete;
  TtyLine& operator=(const TtyLine&) = delete;

  int PollFd() const override { return fd_; }
  int ModemPollIntervalMs() const override;

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

  const int fd_;
  const bool pseudoTerminal_;   // forces 8 data bits without parity whatever it is asked
  bool hasModemLines_ = false;  // TIOCMGET works (not on a pty)
  bool hasCounters_ = false;    // TIOCGICOUNT works (not on a pty)

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
