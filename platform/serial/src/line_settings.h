// SPDX-License-Identifier: MIT
// The one rule set for line settings (a DCB) that the driver and every line backend apply, and
// the mapping of line settings onto a tty's termios modes and back, with the one speed table.
// Pure functions: no device is touched; callable from any thread.
#pragma once

#include <win32/win32.h>

#include <cstdint>

namespace serial {

// 0 when a line can take `dcb`, otherwise ERROR_INVALID_PARAMETER. Refused, as a 16550-class UART
// driver refuses them: a speed of 0; data bits outside 5 to 8; an unknown parity or stop-bit code
// or DTR control mode; 1.5 stop bits with 6 to 8 data bits and 2 stop bits with 5 (the UART sends
// 1.5 stop bits for 5-bit characters when asked for 2, so neither can be kept as asked); RTS
// toggling (no line here raises RTS only while it sends).
DWORD CheckLineSettings(const DCB& dcb);

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

// Raw mode, like cfmakeraw, plus: parity never checked, breaks marked in the input with PARMRK
// (so a 0xFF byte arrives doubled; the tty line removes the marks and reports the breaks as
// events), no modem-control hang-up.
void MakeRaw(TtyModes& modes);

// Turns the modes in force into the modes for `dcb` (which passed CheckLineSettings): raw mode,
// speed, framing, flow control.
void ComposeTtyModes(const DCB& dcb, TtyModes& modes);

// The line settings that `modes` carry: speed, data bits, parity, stop bits (CS5 with CSTOPB is
// 1.5), hardware handshake (CRTSCTS: CTS output flow and RTS handshake), XON/XOFF and their
// characters. Every other member of the result is 0.
DCB LineSettingsOf(const TtyModes& modes);

// Whether the modes read back from a device after writing `asked` carry its settings. A device
// may round the speed by up to 3 %; a pseudo-terminal always forces 8 data bits without a
// parity bit, so those are not compared there.
bool SettingsKept(const DCB& asked, const TtyModes& inForce, bool pseudoTerminal);

// The termios speed code (CBAUD bits) of `baud`: its Bxxx constant, or BOTHER for a speed
// without one, which termios2 then carries as a number.
std::uint32_t SpeedCode(std::uint32_t baud);

}  // namespace serial
