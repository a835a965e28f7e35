// SPDX-License-Identifier: MIT
// The line-setting rules and the mapping between line settings and termios modes, without a
// device: every valid setting maps onto termios and back unchanged, and a device that did not
// keep a setting is told apart from a pseudo-terminal's forced framing.
#include "line_settings.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <cstring>

#include "serial_test_support.h"

namespace serial {
namespace {

using serial_test::MakeDcb;

// BuildCommDCBA in both forms: only what the string names changes (flow control is off unless
// asked for), abbreviated speeds, 110 bit/s with two stop bits, and nothing on a bad string.
TEST(ModeStringTest, BothFormsAndTheirRules) {
  DCB dcb = MakeDcb(CBR_1200, 7, EVENPARITY, TWOSTOPBITS);
  dcb.fOutxCtsFlow = 1;
  dcb.XonChar = 5;
  ASSERT_TRUE(BuildCommDCBA("baud=9600 parity=N data=8 stop=1", &dcb));
  EXPECT_EQ(dcb.BaudRate, CBR_9600);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.fParity, 0u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
  EXPECT_EQ(dcb.XonChar, 5) << "a member the string does not name is kept";

  ASSERT_TRUE(BuildCommDCBA("COM1: 96,e,7,1.5", &dcb));
  EXPECT_EQ(dcb.BaudRate, CBR_9600);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_EQ(dcb.fParity, 1u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
  ASSERT_TRUE(BuildCommDCBA("com12:110,n,8", &dcb));
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  ASSERT_TRUE(BuildCommDCBA("19200,n,8,1,p", &dcb));
  EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_HANDSHAKE);
  ASSERT_TRUE(BuildCommDCBA("COM2: baud=57600 xon=on dtr=off rts=hs odsr=on idsr=on", &dcb));
  EXPECT_EQ(dcb.fOutX, 1u);
  EXPECT_EQ(dcb.fInX, 1u);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(dcb.fOutxDsrFlow, 1u);
  EXPECT_EQ(dcb.fDsrSensitivity, 1u);

  const DCB before = dcb;
  for (const char* bad : {"", "COM1:", "baud=fast", "9600,q,8,1", "9600,n,9,1", "9600,n,8,3",
                          "baud=9600 speed=2", "9600,n,8,1,x,y", "dtr=tg"}) {
    SetLastError(0);
    EXPECT_FALSE(BuildCommDCBA(bad, &dcb)) << bad;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << bad;
    EXPECT_EQ(std::memcmp(&dcb, &before, sizeof dcb), 0) << bad;
  }

  COMMTIMEOUTS timeouts{1, 2, 3, 4, 5};
  ASSERT_TRUE(BuildCommDCBAndTimeoutsA("baud=9600 parity=n data=8 stop=1", &dcb, &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 1u) << "kept without to=";
  ASSERT_TRUE(BuildCommDCBAndTimeoutsA("baud=9600 to=on", &dcb, &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 0u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 60000u);
  ASSERT_TRUE(BuildCommDCBAndTimeoutsA("COM1: baud=9600 to=off", &dcb, &timeouts));
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 0u);
}

TEST(LineSettingsTest, OneRuleSetForFramingAndControlModes) {
  const DCB good = MakeDcb(CBR_9600, 8, NOPARITY, ONESTOPBIT);
  EXPECT_EQ(CheckLineSettings(good), 0u);
  EXPECT_EQ(CheckLineSettings(MakeDcb(CBR_9600, 5, NOPARITY, ONE5STOPBITS)), 0u);
  EXPECT_EQ(CheckLineSettings(MakeDcb(CBR_9600, 6, SPACEPARITY, TWOSTOPBITS)), 0u);
  EXPECT_EQ(CheckLineSettings(MakeDcb(12345, 7, MARKPARITY, ONESTOPBIT)), 0u);
  const DCB refused[] = {
      MakeDcb(0, 8, NOPARITY, ONESTOPBIT),
      MakeDcb(CBR_9600, 4, NOPARITY, ONESTOPBIT),
      MakeDcb(CBR_9600, 9, NOPARITY, ONESTOPBIT),
      MakeDcb(CBR_9600, 8, 5, ONESTOPBIT),
      MakeDcb(CBR_9600, 8, NOPARITY, 3),
      MakeDcb(CBR_9600, 5, NOPARITY, TWOSTOPBITS),
      MakeDcb(CBR_9600, 6, NOPARITY, ONE5STOPBITS),
      MakeDcb(CBR_9600, 8, NOPARITY, ONE5STOPBITS),
  };
  for (const DCB& dcb : refused)
    EXPECT_EQ(CheckLineSettings(dcb), ERROR_INVALID_PARAMETER)
        << dcb.BaudRate << " " << int(dcb.ByteSize) << int(dcb.Parity) << int(dcb.StopBits);
  DCB toggle = good;
  toggle.fRtsControl = RTS_CONTROL_TOGGLE;
  EXPECT_EQ(CheckLineSettings(toggle), ERROR_INVALID_PARAMETER);
  DCB dtr = good;
  dtr.fDtrControl = 3;
  EXPECT_EQ(CheckLineSettings(dtr), ERROR_INVALID_PARAMETER);
}

// Every valid framing at every speed of the component, with each flow control, survives the way
// to termios and back.
TEST(LineSettingsTest, EveryValidSettingMapsToTermiosAndBack) {
  const DWORD speeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                          19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (const DWORD baud : speeds) {
    for (BYTE bits = 5; bits <= 8; ++bits) {
      for (BYTE parity = NOPARITY; parity <= SPACEPARITY; ++parity) {
        for (BYTE stops = ONESTOPBIT; stops <= TWOSTOPBITS; ++stops) {
          for (int flow = 0; flow < 3; ++flow) {
            DCB dcb = MakeDcb(baud, bits, parity, stops);
            dcb.fOutxCtsFlow = flow == 1;
            dcb.fRtsControl = flow == 1 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
            dcb.fOutX = dcb.fInX = flow == 2;
            if (CheckLineSettings(dcb) != 0) continue;
            TtyModes modes;
            ComposeTtyModes(dcb, modes);
            const DCB back = LineSettingsOf(modes);
            SCOPED_TRACE(testing::Message() << baud << " " << int(bits) << int(parity) << int(stops)
                                            << " flow " << flow);
            EXPECT_EQ(back.BaudRate, baud);
            EXPECT_EQ(back.ByteSize, bits);
            EXPECT_EQ(back.Parity, parity);
            EXPECT_EQ(back.StopBits, stops);
            EXPECT_EQ(back.fOutxCtsFlow, dcb.fOutxCtsFlow);
            EXPECT_EQ(back.fRtsControl, dcb.fRtsControl);
            EXPECT_EQ(back.fOutX, dcb.fOutX);
            EXPECT_EQ(back.fInX, dcb.fInX);
            EXPECT_TRUE(SettingsKept(dcb, modes, false));
          }
        }
      }
    }
  }
  EXPECT_EQ(SpeedCode(9600), static_cast<std::uint32_t>(B9600));
  EXPECT_EQ(SpeedCode(4000000), static_cast<std::uint32_t>(B4000000));
  EXPECT_EQ(SpeedCode(56000), static_cast<std::uint32_t>(CBAUDEX)) << "no constant: BOTHER";
}

TEST(LineSettingsTest, ADeviceThatDidNotKeepASettingIsToldApart) {
  DCB mark = MakeDcb(CBR_19200, 7, MARKPARITY, ONESTOPBIT);
  TtyModes modes;
  ComposeTtyModes(mark, modes);
  TtyModes pty = modes;  // a pseudo-terminal forces CS8 and clears PARENB
  pty.cflag = (pty.cflag & ~(CSIZE | PARENB)) | CS8;
  EXPECT_TRUE(SettingsKept(mark, pty, true));
  EXPECT_FALSE(SettingsKept(mark, pty, false));

  TtyModes noStickParity = modes;  // a UART without mark and space parity drops CMSPAR
  noStickParity.cflag &= ~CMSPAR;
  EXPECT_FALSE(SettingsKept(mark, noStickParity, false));

  TtyModes rounded = modes;  // a few per cent off is what a UART's divisor gives
  rounded.baud = 19200 * 102 / 100;
  EXPECT_TRUE(SettingsKept(mark, rounded, false));
  TtyModes clamped = modes;  // a speed beyond the device's range
  clamped.baud = 115200;
  mark.BaudRate = CBR_256000;
  EXPECT_FALSE(SettingsKept(mark, clamped, true));

  for (std::uint32_t dropped : {std::uint32_t{CSTOPB}, std::uint32_t{CRTSCTS}}) {
    DCB asked = MakeDcb(CBR_9600, 8, NOPARITY, TWOSTOPBITS);
    asked.fOutxCtsFlow = 1;
    TtyModes lost;
    ComposeTtyModes(asked, lost);
    lost.cflag &= ~dropped;
    EXPECT_FALSE(SettingsKept(asked, lost, true)) << dropped;
  }
}

}  // namespace
}  // namespace serial
