// A Line over a real termios device (/dev/ttyS*, ttyUSB*, ttyACM*, or a pty slave).
//
// The device is held exclusively (flock + TIOCEXCL) and kept in raw mode: no echo, no canonical
// processing, no character translation, NUL bytes kept, parity not checked, VMIN=0/VTIME=0 and
// non-blocking, so the driver's I/O thread can poll it and read or write whatever is ready.
#pragma once

#include <linux/serial.h>

#include <cstdint>
#include <mutex>

#include "line.h"

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
  bool hasModemLines_ = false;  // TIOCMGET works (not on a pty)
  bool hasCounters_ = false;    // TIOCGICOUNT works (not on a pty)

  std::mutex mutex_;  // guards the members below
  serial_icounter_struct lastCounts_{};
  int appliedDtrControl_ = -1;  // fDtrControl last driven onto the line, -1 before the first
  int appliedRtsControl_ = -1;
};

// The modes of a tty that the line controls, free of <termios.h> and <asm/termbits.h> (which
// cannot meet in one file); the flag values are the kernel's, the same in both headers.
struct TtyModes {
  std::uint32_t iflag = 0;
  std::uint32_t oflag = 0;
  std::uint32_t cflag = 0;  // without the speed bits (CBAUD, CIBAUD)
  std::uint32_t lflag = 0;
  std::uint8_t vmin = 0;
  std::uint8_t vtime = 0;
  std::uint8_t vstart = 0;
  std::uint8_t vstop = 0;
  std::uint32_t baud = 0;       // bits per second; written to both directions
  std::uint32_t inputBaud = 0;  // read back only
};

// Turns the modes in force into the modes for a valid `dcb`: raw mode, speed, framing, flow
// control.
void ComposeTtyModes(const DCB& dcb, TtyModes& modes);

// termios2 (tty_line_termios2.cpp): any speed, named ones through their Bxxx code and all others
// through BOTHER; writing is one TCSETS2, so a refused write leaves the previous modes in force.
// Both return false with errno set on failure.
bool ReadTtyModes(int fd, TtyModes& modes);
bool WriteTtyModes(int fd, const TtyModes& modes);

}  // namespace serial
