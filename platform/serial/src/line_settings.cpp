// SPDX-License-Identifier: MIT
#include "line_settings.h"

#include <termios.h>

namespace serial {

DWORD CheckLineSettings(const DCB& dcb) {
  const bool valid =
      dcb.BaudRate > 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity <= SPACEPARITY &&
      dcb.StopBits <= TWOSTOPBITS && !(dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) &&
      !(dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) &&
      dcb.fDtrControl <= DTR_CONTROL_HANDSHAKE && dcb.fRtsControl != RTS_CONTROL_TOGGLE;
  return valid ? 0 : ERROR_INVALID_PARAMETER;
}

namespace {

struct SpeedEntry {
  std::uint32_t baud;
  std::uint32_t code;
};

// Speeds with a termios constant; any other speed goes through BOTHER.
constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// <termios.h> does not name BOTHER; it is the kernel's CBAUDEX code alone.
constexpr std::uint32_t kOtherSpeed = CBAUDEX;

// One table for the data-bit count and its CSIZE code.
constexpr std::uint32_t kCharacterSizes[] = {CS5, CS6, CS7, CS8};  // 5 to 8 data bits

// One table for the parity code (NOPARITY .. SPACEPARITY) and its flags.
constexpr std::uint32_t kParityFlags[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                          PARENB | CMSPAR};
constexpr std::uint32_t kParityMask = PARENB | PARODD | CMSPAR;

void ApplyFraming(const DCB& dcb, TtyModes& modes) {
  modes.cflag &= ~(CSIZE | kParityMask | CSTOPB);
  modes.cflag |= kCharacterSizes[dcb.ByteSize - 5] | kParityFlags[dcb.Parity];
  if (dcb.StopBits != ONESTOPBIT) modes.cflag |= CSTOPB;  // 2, or 1.5 with 5 data bits
}

void ApplyFlowControl(const DCB& dcb, TtyModes& modes) {
  modes.cflag &= ~CRTSCTS;
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) modes.cflag |= CRTSCTS;
  if (dcb.fOutX) modes.iflag |= IXON;
  if (dcb.fInX) modes.iflag |= IXOFF;
  modes.vstart = static_cast<std::uint8_t>(dcb.XonChar);
  modes.vstop = static_cast<std::uint8_t>(dcb.XoffChar);
}

}  // namespace

std::uint32_t SpeedCode(std::uint32_t baud) {
  for (const SpeedEntry& entry : kSpeeds)
    if (entry.baud == baud) return entry.code;
  return kOtherSpeed;
}

void MakeRaw(TtyModes& modes) {
  // A received break is marked in the input ("\377\0\0", a 0xFF byte doubled) rather than
  // ignored, so that it wakes the reader like data and needs no sampling; the tty line removes
  // the marks. Parity is still not checked: a byte received with an error is passed as it is.
  modes.iflag &= ~(IGNBRK | BRKINT | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                   IGNPAR | INPCK | IUCLC | IMAXBEL);
  modes.iflag |= PARMRK;
  modes.oflag &= ~OPOST;
  modes.lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | XCASE);
  modes.cflag |= CLOCAL | CREAD;
  modes.vmin = 0;
  modes.vtime = 0;
}

void ComposeTtyModes(const DCB& dcb, TtyModes& modes) {
  MakeRaw(modes);
  ApplyFraming(dcb, modes);
  ApplyFlowControl(dcb, modes);
  modes.baud = dcb.BaudRate;
}

DCB LineSettingsOf(const TtyModes& modes) {
  DCB dcb{};
  dcb.BaudRate = modes.baud;
  for (BYTE bits = 5; bits <= 8; ++bits)
    if ((modes.cflag & CSIZE) == kCharacterSizes[bits - 5]) dcb.ByteSize = bits;
  for (BYTE parity = NOPARITY; parity <= SPACEPARITY; ++parity)
    if ((modes.cflag & kParityMask) == kParityFlags[parity]) dcb.Parity = parity;
  if (modes.cflag & CSTOPB) dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
  const bool handshake = (modes.cflag & CRTSCTS) != 0;
  dcb.fOutxCtsFlow = handshake;
  dcb.fRtsControl = handshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
  dcb.fOutX = (modes.iflag & IXON) != 0;
  dcb.fInX = (modes.iflag & IXOFF) != 0;
  dcb.XonChar = static_cast<char>(modes.vstart);
  dcb.XoffChar = static_cast<char>(modes.vstop);
  return dcb;
}

bool SettingsKept(const DCB& asked, const TtyModes& inForce, bool pseudoTerminal) {
  const DCB kept = LineSettingsOf(inForce);
  const std::uint64_t deviation = kept.BaudRate > asked.BaudRate ? kept.BaudRate - asked.BaudRate
                                                                 : asked.BaudRate - kept.BaudRate;
  const bool handshake = asked.fOutxCtsFlow || asked.fRtsControl == RTS_CONTROL_HANDSHAKE;
  const bool framingKept =
      pseudoTerminal || (kept.ByteSize == asked.ByteSize && kept.Parity == asked.Parity);
  return deviation * 100 <= std::uint64_t{asked.BaudRate} * 3 && framingKept &&
         (kept.StopBits != ONESTOPBIT) == (asked.StopBits != ONESTOPBIT) &&
         bool(kept.fOutxCtsFlow) == handshake && bool(kept.fOutX) == bool(asked.fOutX) &&
         bool(kept.fInX) == bool(asked.fInX) && kept.XonChar == asked.XonChar &&
         kept.XoffChar == asked.XoffChar;
}

}  // namespace serial
