// SPDX-License-Identifier: MIT
// The tty line backend on a pseudo-terminal pair: termios after ApplyState, raw data, modem calls
// on a line without modem lines, hang-up, and the exclusive open.
#include "tty_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pty_pair.h"
#include "serial_test_support.h"

namespace serial {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(10);

// The test's descriptor on the slave (PtyPair::Slave) reads back the slave's modes; it is opened
// before the line, so TIOCEXCL does not stop it.
using testsupport::PtyPair;

using serial_test::MakeDcb;

// Writes a whole flag word into the DCB's bit-fields, as the component does.
void SetFlagWord(DCB& dcb, DWORD word) {
  std::memcpy(reinterpret_cast<char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof(DWORD), &word,
              sizeof word);
}

class TtyLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD error = 0;
    line_ = OpenTtyLine(pty_.SlavePath(), error);
    ASSERT_NE(line_, nullptr) << "error " << error;
    EXPECT_EQ(error, 0u);
  }

  // Reads from the line until `n` bytes arrived or the patience ran out.
  std::vector<unsigned char> ReadFromLine(std::size_t n) {
    std::vector<unsigned char> got;
    const auto deadline = Clock::now() + kPatience;
    while (got.size() < n && Clock::now() < deadline) {
      pollfd pfd{line_->PollFd(), POLLIN, 0};
      poll(&pfd, 1, 100);
      unsigned char buffer[512];
      const LineIo io = line_->Read(buffer, std::min(sizeof buffer, n - got.size()));
      EXPECT_EQ(io.error, 0u);
      if (io.error != 0) break;
      got.insert(got.end(), buffer, buffer + io.bytes);
    }
    return got;
  }

  std::vector<unsigned char> ReadFromMaster(std::size_t n) {
    std::vector<unsigned char> got;
    const auto deadline = Clock::now() + kPatience;
    while (got.size() < n && Clock::now() < deadline) {
      pollfd pfd{pty_.Master(), POLLIN, 0};
      poll(&pfd, 1, 100);
      unsigned char buffer[512];
      const ssize_t r = read(pty_.Master(), buffer, std::min(sizeof buffer, n - got.size()));
      if (r > 0) got.insert(got.end(), buffer, buffer + r);
    }
    return got;
  }

  TtyModes SlaveModes() {
    TtyModes modes;
    EXPECT_TRUE(ReadTtyModes(pty_.Slave(), modes));
    return modes;
  }

  PtyPair pty_;
  std::unique_ptr<Line> line_;
};

// A pty always keeps 8 data bits and no parity enable (the kernel forces CS8 and clears PARENB),
// so those two are checked on the composed modes, and the rest on the pty itself.
TtyModes Composed(const DCB& dcb) {
  TtyModes modes;
  ComposeTtyModes(dcb, modes);
  return modes;
}

// ---- Line settings ----

// The marks of PARMRK input come out, also when a read ends inside one.
TEST(MarkedInputTest, MarksAreRemovedAcrossReads) {
  MarkedInput input;
  std::uint8_t first[] = {'a', 0xFF, 0xFF, 'b', 0xFF, 0x00, 0x00, 'c', 0xFF};
  MarkedInput::Counts counts = input.Decode(first, sizeof first);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(first), counts.bytes),
            "a\xFF"
            "bc");
  EXPECT_EQ(counts.breaks, 1u);
  std::uint8_t second[] = {0x00, 'x', 0xFF, 0xFF, 0xFF};
  counts = input.Decode(second, sizeof second);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(second), counts.bytes), "x\xFF");
  EXPECT_EQ(counts.errors, 1u) << "0xFF 0x00 c: c received with an error";
  EXPECT_EQ(counts.breaks, 0u);
  std::uint8_t third[] = {0x00, 0x00, 'd'};
  counts = input.Decode(third, sizeof third);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(third), counts.bytes), "d");
  EXPECT_EQ(counts.breaks, 1u);
}

TEST_F(TtyLineTest, EverySpeedOfTheComponentIsSetIncludingThoseWithoutATermiosConstant) {
  const DWORD speeds[] = {CBR_110,   CBR_300,   CBR_600,    CBR_1200,   CBR_2400,
                          CBR_4800,  CBR_9600,  CBR_14400,  CBR_19200,  CBR_38400,
                          CBR_56000, CBR_57600, CBR_115200, CBR_128000, CBR_256000};
  for (const DWORD speed : speeds) {
    ASSERT_EQ(line_->ApplyState(MakeDcb(speed)), 0u) << speed;
    const TtyModes modes = SlaveModes();
    EXPECT_EQ(modes.baud, speed);
    EXPECT_EQ(modes.inputBaud, speed);
  }
  // Back to a named speed after an unnamed one: both directions follow.
  ASSERT_EQ(line_->ApplyState(MakeDcb(CBR_19200)), 0u);
  const termios named = pty_.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&named), static_cast<speed_t>(B19200));
  EXPECT_EQ(cfgetispeed(&named), static_cast<speed_t>(B19200));
  EXPECT_EQ(SlaveModes().inputBaud, 19200u);
  // Any other positive speed goes through BOTHER too; 0 is refused.
  ASSERT_EQ(line_->ApplyState(MakeDcb(12345)), 0u);
  EXPECT_EQ(SlaveModes().baud, 12345u);
  EXPECT_EQ(line_->ApplyState(MakeDcb(0)), ERROR_INVALID_PARAMETER);
}

TEST_F(TtyLineTest, ParityCodesIncludingMarkAndSpace) {
  struct Case {
    BYTE parity;
    tcflag_t flags;
  };
  const Case cases[] = {{NOPARITY, 0},
                        {ODDPARITY, PARENB | PARODD},
                        {EVENPARITY, PARENB},
                        {MARKPARITY, PARENB | PARODD | CMSPAR},
                        {SPACEPARITY, PARENB | CMSPAR}};
  for (const Case& c : cases) {
    const DCB dcb = MakeDcb(CBR_9600, 8, c.parity);
    EXPECT_EQ(Composed(dcb).cflag & (PARENB | PARODD | CMSPAR), c.flags) << int(c.parity);
    ASSERT_EQ(line_->ApplyState(dcb), 0u) << int(c.parity);
    const termios tio = pty_.SlaveTermios();
    EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.flags & (PARODD | CMSPAR)) << int(c.parity);
    EXPECT_EQ(tio.c_iflag & (INPCK | IGNPAR | ISTRIP), 0u) << "parity is never checked";
  }
  EXPECT_EQ(line_->ApplyState(MakeDcb(CBR_9600, 8, 5)), ERROR_INVALID_PARAMETER);
}

TEST_F(TtyLineTest, DataBitsAndStopBitsWithOneAndAHalfRefusedExceptForFiveBits) {
  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  for (BYTE bits = 5; bits <= 8; ++bits) {
    EXPECT_EQ(Composed(MakeDcb(CBR_9600, bits)).cflag & CSIZE, sizes[bits - 5]);
    EXPECT_EQ(line_->ApplyState(MakeDcb(CBR_9600, bits)), 0u);
  }
  EXPECT_EQ(line_->ApplyState(MakeDcb(CBR_9600, 4)), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(line_->ApplyState(MakeDcb(CBR_9600, 9)), ERROR_INVALID_PARAMETER);

  ASSERT_EQ(line_->ApplyState(MakeDcb(CBR_9600, 8, NOPARITY, TWOSTOPBITS)), 0u);
  EXPECT_NE(pty_.SlaveTermios().c_cflag & CSTOPB, 0u);
  ASSERT_EQ(line_->ApplyState(MakeDcb(CBR_9600, 8, NOPARITY, ONESTOPBIT)), 0u);
  EXPECT_EQ(pty_.SlaveTermios().c_cflag & CSTOPB, 0u);

  // 1.5 stop bits with 6 to 8 data bits: refused, and the previous settings (an unnamed speed,
  // mark parity, 2 stop bits) stay in force.
  ASSERT_EQ(line_->ApplyState(MakeDcb(CBR_56000, 7, MARKPARITY, TWOSTOPBITS)), 0u);
  const termios before = pty_.SlaveTermios();
  for (BYTE bits = 6; bits <= 8; ++bits) {
    EXPECT_EQ(line_->ApplyState(MakeDcb(CBR_9600, bits, NOPARITY, ONE5STOPBITS)),
              ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(line_->ApplyState(MakeDcb(CBR_9600, 8, NOPARITY, 3)), ERROR_INVALID_PARAMETER);
  const termios after = pty_.SlaveTermios();
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(SlaveModes().baud, 56000u);

  // With 5 data bits, 1.5 stop bits is what a UART sends for CS5|CSTOPB.
  const DCB fiveBits = MakeDcb(CBR_9600, 5, NOPARITY, ONE5STOPBITS);
  EXPECT_EQ(Composed(fiveBits).cflag & (CSIZE | CSTOPB), static_cast<tcflag_t>(CS5 | CSTOPB));
  ASSERT_EQ(line_->ApplyState(fiveBits), 0u);
  EXPECT_NE(pty_.SlaveTermios().c_cflag & CSTOPB, 0u);
}

TEST_F(TtyLineTest, FlowControlFlagWordsMapToCrtsctsAndXonXoff) {
  DCB dcb = MakeDcb();
  dcb.XonChar = 0x21;
  dcb.XoffChar = 0x23;

  SetFlagWord(dcb, 0x202D);  // hardware handshake
  ASSERT_EQ(line_->ApplyState(dcb), 0u);
  termios tio = pty_.SlaveTermios();
  EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);

  SetFlagWord(dcb, 0x1311);  // software handshake
  ASSERT_EQ(line_->ApplyState(dcb), 0u);
  tio = pty_.SlaveTermios();
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(tio.c_cc[VSTART], 0x21);
  EXPECT_EQ(tio.c_cc[VSTOP], 0x23);

  SetFlagWord(dcb, 0x0001);  // none
  ASSERT_EQ(line_->ApplyState(dcb), 0u);
  tio = pty_.SlaveTermios();
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);

  // Either half of the hardware handshake alone also asks for CRTSCTS.
  DCB ctsOnly = MakeDcb();
  ctsOnly.fOutxCtsFlow = 1;
  ASSERT_EQ(line_->ApplyState(ctsOnly), 0u);
  EXPECT_NE(pty_.SlaveTermios().c_cflag & CRTSCTS, 0u);
  DCB rtsOnly = MakeDcb();
  rtsOnly.fRtsControl = RTS_CONTROL_HANDSHAKE;
  ASSERT_EQ(line_->ApplyState(rtsOnly), 0u);
  EXPECT_NE(pty_.SlaveTermios().c_cflag & CRTSCTS, 0u);
  DCB toggle = MakeDcb();
  toggle.fRtsControl = RTS_CONTROL_TOGGLE;
  EXPECT_EQ(line_->ApplyState(toggle), ERROR_INVALID_PARAMETER);
}

TEST_F(TtyLineTest, RawModeReplacesCookedSettings) {
  termios cooked = pty_.SlaveTermios();
  cooked.c_iflag |= ICRNL | INLCR | ISTRIP | INPCK | IGNPAR | PARMRK | BRKINT | IXON;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
  cooked.c_cflag &= ~(CLOCAL | CREAD);
  cooked.c_cc[VMIN] = 1;
  cooked.c_cc[VTIME] = 5;
  ASSERT_EQ(tcsetattr(pty_.Slave(), TCSANOW, &cooked), 0);

  ASSERT_EQ(line_->ApplyState(MakeDcb()), 0u);
  const termios tio = pty_.SlaveTermios();
  EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK | IGNPAR | BRKINT | IXON), 0u);
  // Breaks are marked in the input, not ignored and not turned into signals.
  EXPECT_EQ(tio.c_iflag & (PARMRK | IGNBRK), static_cast<tcflag_t>(PARMRK));
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST(TtyLineOpenModesTest, OpenedLineIsRawBeforeAnySettingsSoNothingIsEchoed) {
  PtyPair pty;
  termios cooked = pty.SlaveTermios();
  cooked.c_lflag |= ECHO | ICANON;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_iflag |= ICRNL;
  ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &cooked), 0);
  DWORD error = 0;
  const auto line = OpenTtyLine(pty.SlavePath(), error);
  ASSERT_NE(line, nullptr) << error;
  const termios tio = pty.SlaveTermios();
  EXPECT_EQ(tio.c_lflag & (ECHO | ICANON), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_iflag & ICRNL, 0u);
  EXPECT_EQ(tio.c_cc[VMIN], 0);

  ASSERT_EQ(write(pty.Master(), "ping\r", 5), 5);
  char buffer[8] = {};
  std::size_t got = 0;
  const auto deadline = Clock::now() + kPatience;
  while (got < 5 && Clock::now() < deadline) {
    pollfd pfd{line->PollFd(), POLLIN, 0};
    poll(&pfd, 1, 100);
    got += line->Read(buffer + got, 5 - got).bytes;
  }
  EXPECT_EQ(std::string(buffer, got), "ping\r");
  char echoed = 0;
  EXPECT_EQ(read(pty.Master(), &echoed, 1), -1) << "echoed back: " << echoed;
}

// ---- Data ----

TEST_F(TtyLineTest, EveryByteValuePassesUntranslatedBothWays) {
  ASSERT_EQ(line_->ApplyState(MakeDcb()), 0u);
  std::vector<unsigned char> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);

  EXPECT_EQ(line_->Read(all.data(), all.size()).bytes, 0u) << "nothing to read yet";
  ASSERT_EQ(write(pty_.Master(), all.data(), all.size()), 256);
  EXPECT_EQ(ReadFromLine(all.size()), all);

  const LineIo io = line_->Write(all.data(), all.size());
  ASSERT_EQ(io.error, 0u);
  ASSERT_EQ(io.bytes, all.size());
  EXPECT_EQ(ReadFromMaster(all.size()), all);
  EXPECT_EQ(line_->Write(all.data(), 0).bytes, 0u);
}

TEST_F(TtyLineTest, DiscardInputDropsWhatTheKernelHolds) {
  ASSERT_EQ(line_->ApplyState(MakeDcb()), 0u);
  ASSERT_EQ(write(pty_.Master(), "stale", 5), 5);
  pollfd pfd{line_->PollFd(), POLLIN, 0};
  ASSERT_EQ(poll(&pfd, 1, 10'000), 1);
  line_->DiscardInput();
  char buffer[16];
  EXPECT_EQ(line_->Read(buffer, sizeof buffer).bytes, 0u);
  ASSERT_EQ(write(pty_.Master(), "new", 3), 3);
  const std::vector<unsigned char> got = ReadFromLine(3);
  EXPECT_EQ(std::string(got.begin(), got.end()), "new");
}

TEST_F(TtyLineTest, ModemCallsFailCleanlyOnAPtyAndTheLineKeepsWorking) {
  EXPECT_EQ(line_->ModemPollIntervalMs(), 0);
  for (const DWORD func : {SETDTR, CLRDTR, SETRTS, CLRRTS}) {
    EXPECT_EQ(line_->Escape(func), ERROR_NOT_SUPPORTED) << func;
  }
  EXPECT_EQ(line_->Escape(SETBREAK), 0u);  // accepted by a pty, and without effect
  EXPECT_EQ(line_->Escape(CLRBREAK), 0u);
  EXPECT_EQ(line_->Escape(12345), ERROR_INVALID_PARAMETER);
  DWORD status = 0xFFFF;
  EXPECT_EQ(line_->ModemStatus(status), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(status, 0u);
  const LineEvents events = line_->TakeLineEvents();
  EXPECT_EQ(events.ceErrors, 0u);
  EXPECT_FALSE(events.breakSeen);
  EXPECT_FALSE(events.errorSeen);
  EXPECT_EQ(events.modemChanges, 0u);

  DCB hard = MakeDcb();
  SetFlagWord(hard, 0x202D);  // DTR/RTS handshake: no modem lines to drive, still accepted
  ASSERT_EQ(line_->ApplyState(hard), 0u);
  ASSERT_EQ(line_->ApplyState(MakeDcb()), 0u);
  ASSERT_EQ(line_->Write("ok", 2).bytes, 2u);
  const std::vector<unsigned char> got = ReadFromMaster(2);
  EXPECT_EQ(std::string(got.begin(), got.end()), "ok");
}

TEST_F(TtyLineTest, MasterGoneIsAHangUpOnReadAndWrite) {
  ASSERT_EQ(line_->ApplyState(MakeDcb()), 0u);
  pty_.HangUp();
  char buffer[8];
  const LineIo read = line_->Read(buffer, sizeof buffer);
  EXPECT_EQ(read.bytes, 0u);
  EXPECT_EQ(read.error, ERROR_DEVICE_NOT_CONNECTED);
  const LineIo written = line_->Write("x", 1);
  EXPECT_EQ(written.bytes, 0u);
  EXPECT_EQ(written.error, ERROR_DEVICE_NOT_CONNECTED);
  pollfd pfd{line_->PollFd(), POLLIN, 0};
  ASSERT_EQ(poll(&pfd, 1, 0), 1);
  EXPECT_NE(pfd.revents & POLLHUP, 0) << "the driver sees the hang-up in poll";
}

// A hang-up of the tty itself, as when a USB adapter is pulled out: reads return 0 bytes and poll
// reports POLLHUP, writes fail with EIO.
TEST_F(TtyLineTest, TtyHungUpUnderTheLineIsAHangUp) {
  if (ioctl(pty_.Slave(), TIOCVHANGUP) != 0) GTEST_SKIP() << "TIOCVHANGUP needs CAP_SYS_ADMIN";
  char buffer[8];
  const LineIo read = line_->Read(buffer, sizeof buffer);
  EXPECT_EQ(read.bytes, 0u);
  EXPECT_EQ(read.error, ERROR_DEVICE_NOT_CONNECTED);
  const LineIo written = line_->Write("x", 1);
  EXPECT_EQ(written.bytes, 0u);
  EXPECT_EQ(written.error, ERROR_DEVICE_NOT_CONNECTED);
  DWORD status = 0;
  EXPECT_NE(line_->ModemStatus(status), 0u);
  EXPECT_NE(line_->ApplyState(MakeDcb()), 0u);
}

// ---- Opening ----

// Runs `body` in a child process as user nobody (when root) and returns its exit code.
template <typename Body>
int RunUnprivileged(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

int PlainOpenErrno(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno;
  close(fd);
  return 0;
}

TEST(TtyOpenTest, SecondOpenIsASharingViolationAsRootTooAndTheMarkIsClearedOnClose) {
  PtyPair pty;
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0666), 0);
  DWORD error = 0;
  auto first = OpenTtyLine(pty.SlavePath(), error);
  ASSERT_NE(first, nullptr) << error;

  auto second = OpenTtyLine(pty.SlavePath(), error);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(error, ERROR_SHARING_VIOLATION);

  int exclusive = 0;
  ASSERT_EQ(ioctl(pty.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
  EXPECT_EQ(RunUnprivileged([&] { return PlainOpenErrno(pty.SlavePath()); }), EBUSY);

  // The failed second open left the holder intact.
  ASSERT_EQ(first->Write("a", 1).bytes, 1u);

  first.reset();
  ASSERT_EQ(ioctl(pty.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(RunUnprivileged([&] { return PlainOpenErrno(pty.SlavePath()); }), 0);
  auto again = OpenTtyLine(pty.SlavePath(), error);
  EXPECT_NE(again, nullptr) << error;
}

TEST(TtyOpenTest, MissingOrNonTtyDevicesAreNotFound) {
  DWORD error = 0;
  EXPECT_EQ(OpenTtyLine("/dev/no-such-serial-device", error), nullptr);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenTtyLine("", error), nullptr);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenTtyLine("/dev/null", error), nullptr);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenTtyLine("/tmp", error), nullptr);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

  char file[] = "/tmp/tty_open_test_XXXXXX";
  const int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(OpenTtyLine(file, error), nullptr);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  unlink(file);
}

TEST(TtyOpenTest, NoPermissionIsAccessDenied) {
  PtyPair pty;
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0), 0);
  const std::string& path = pty.SlavePath();
  const int code = RunUnprivileged([&] {
    DWORD error = 0;
    const bool opened = OpenTtyLine(path, error) != nullptr;
    return opened ? 0 : static_cast<int>(error);
  });
  EXPECT_EQ(code, static_cast<int>(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace serial
