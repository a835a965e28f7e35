// SPDX-License-Identifier: MIT
// TCommPort open and close: the open sequence, the failure path, OnOpen/OnClose, reopening by
// the size setters, the state after close, and the line settings a tty receives.
#include <dirent.h>
#include <framework/streaming.h>
#include <framework/sysutils.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "component_test_util.h"

using namespace commtest;

namespace {

std::size_t ThreadCount() {
  std::size_t Count = 0;
  if (DIR* Dir = opendir("/proc/self/task")) {
    while (dirent* Entry = readdir(Dir))
      if (Entry->d_name[0] != '.') ++Count;
    closedir(Dir);
  }
  return Count;
}

// Counts OnOpen / OnClose calls and remembers the last error OnOpen received.
struct LifecycleLog {
  int Opens = 0;
  int Closes = 0;
  int LastError = -1;
  std::vector<std::string> Order;

  void Attach(TCommPort& Port) {
    Port.OnOpen = [this](TObject*, int Error) {
      ++Opens;
      LastError = Error;
      Order.push_back("open");
    };
    Port.OnClose = [this](TObject*) {
      ++Closes;
      Order.push_back("close");
    };
  }
};

void ExpectClosedAndEmpty(TCommPort& Port) {
  EXPECT_FALSE(Port.GetOpen());
  EXPECT_FALSE(Port.IsEnabled());
  EXPECT_EQ(Port.GetInBuffUsed(), 0u);
  EXPECT_EQ(Port.GetOutBuffUsed(), 0u);
  EXPECT_EQ(Port.GetInBuffFree(), Port.GetInSize());
  EXPECT_EQ(Port.GetOutBuffFree(), Port.GetOutSize());
  EXPECT_FALSE(Port.GetCTS() || Port.GetDSR() || Port.GetDCD() || Port.GetRing());
}

}  // namespace

TEST_F(CablePortTest, OpenAndCloseReportOnceAndOnOpenReceivesZero) {
  LifecycleLog Log;  // outlives the port, whose destruction may report
  auto Port = MakePort();
  Log.Attach(*Port);
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  EXPECT_TRUE(Port->IsEnabled());
  EXPECT_TRUE(Cable.NearIsOpen());
  EXPECT_EQ(Log.Opens, 1);
  EXPECT_EQ(Log.LastError, 0);
  EXPECT_EQ(Boxes.Count(), 0u);

  Port->SetOpen(true);  // already open: nothing
  Port->OpenPort();
  EXPECT_EQ(Log.Opens, 1);

  Port->SetOpen(false);
  EXPECT_EQ(Log.Closes, 1);
  ExpectClosedAndEmpty(*Port);
  EXPECT_FALSE(Cable.NearIsOpen());

  Port->SetOpen(false);  // already closed: nothing
  Port->ClosePort();
  EXPECT_EQ(Log.Closes, 1);
  EXPECT_EQ(Log.Order, (std::vector<std::string>{"open", "close"}));
}

TEST_F(CablePortTest, OnOpenReceivesTheLastErrorOfTheSequence) {
  LifecycleLog Log;  // outlives the port, whose destruction may report
  auto Port = MakePort();
  Log.Attach(*Port);
  Cable.FailNext("SetupComm", ERROR_INVALID_PARAMETER);
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  EXPECT_EQ(Log.LastError, static_cast<int>(ERROR_INVALID_PARAMETER));
}

TEST_F(CablePortTest, DeviceNameIsBackslashesDotCOMAndTheNumber) {
  ScopedPortEnv Ten(10, Cable.NearPath());
  auto Port = MakePort();
  Port->SetComNumber(10);
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  const auto Opens = Calls({"CreateFileA"});
  ASSERT_EQ(Opens.size(), 1u);
  EXPECT_NE(Opens[0].Args.find("\\\\.\\COM10"), std::string::npos) << Opens[0].Args;
}

TEST_F(CablePortTest, ComNumberSetWhileOpenClosesAndStaysClosed) {
  LifecycleLog Log;  // outlives the port, whose destruction may report
  auto Port = MakePort();
  Log.Attach(*Port);
  Port->SetOpen(true);
  Port->SetComNumber(8);
  EXPECT_EQ(Log.Closes, 1);
  EXPECT_EQ(Port->GetComNumber(), 8);
  ExpectClosedAndEmpty(*Port);
}

TEST_F(CablePortTest, SizeSettersCloseAndReopenWithTheNewSizes) {
  LifecycleLog Log;  // outlives the port, whose destruction may report
  auto Port = MakePort();
  Log.Attach(*Port);
  Port->SetOpen(true);
  Cable.ClearCallLog();

  Port->SetIBuffSize(2048);  // the same size still reopens
  EXPECT_EQ(Log.Order, (std::vector<std::string>{"open", "close", "open"}));
  Port->SetOBuffSize(100);
  EXPECT_EQ(Log.Order, (std::vector<std::string>{"open", "close", "open", "close", "open"}));
  EXPECT_TRUE(Port->GetOpen());
  EXPECT_EQ(Port->GetOutBuffFree(), 100u);
  EXPECT_EQ(Port->GetInBuffFree(), 2048u);
  EXPECT_EQ(Args(Calls({"SetupComm"})),
            (std::vector<std::string>{"in=2048 out=4096", "in=2048 out=100"}));

  Port->SetOpen(false);
  Log.Order.clear();
  Port->SetIBuffSize(300);  // closed: stored only
  EXPECT_TRUE(Log.Order.empty());
  EXPECT_FALSE(Port->GetOpen());
  EXPECT_EQ(Port->GetInBuffFree(), 300u);
}

TEST_F(CablePortTest, StoredFormWithOpenThenSizesOpensOnceAndReopensTwice) {
  const std::string Text = "object IOPort: TCommPort\n  ComNumber = " + std::to_string(PortNumber) +
                           "\n  Open = True\n  InSize = 512\n  OutSize = 1024\nend\n";
  std::unique_ptr<TCommPort> Port(dynamic_cast<TCommPort*>(ReadComponentText(Text)));
  ASSERT_TRUE(Port);
  EXPECT_TRUE(Port->GetOpen());
  EXPECT_EQ(Calls({"CreateFileA"}).size(), 3u);
  EXPECT_EQ(Calls({"CloseHandle"}).size(), 2u);
  EXPECT_EQ(Args(Calls({"SetupComm"})),
            (std::vector<std::string>{"in=2048 out=4096", "in=512 out=4096", "in=512 out=1024"}));
  EXPECT_EQ(Port->GetInBuffFree(), 512u);
  EXPECT_EQ(Port->GetOutBuffFree(), 1024u);
}

TEST_F(CablePortTest, DestroyingAnOpenPortClosesItWithoutOnClose) {
  LifecycleLog Log;
  auto Port = MakePort();
  Log.Attach(*Port);
  Port->SetOpen(true);
  ASSERT_TRUE(Cable.NearIsOpen());
  Port.reset();
  EXPECT_EQ(Log.Closes, 0);  // the owner may be half destroyed: no handler runs
  EXPECT_FALSE(Cable.NearIsOpen());
}

TEST_F(CablePortTest, OwnedPortDiesWithItsOwner) {
  auto Owner = std::make_unique<TComponent>(nullptr);
  auto* Port = new TCommPort(Owner.get());
  Port->SetComNumber(PortNumber);
  Port->SetOpen(true);
  ASSERT_TRUE(Cable.NearIsOpen());
  Owner.reset();
  EXPECT_FALSE(Cable.NearIsOpen());
}

TEST_F(CablePortTest, StateAfterCloseAndLinesRestoredAtTheNextOpen) {
  auto Port = MakePort();
  Port->SetDTR(true);
  Port->SetRTS(true);
  Cable.SetRTS(true);  // far outputs drive our CTS, DSR and DCD
  Cable.SetDTR(true);
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  EXPECT_TRUE(Cable.NearDTR());
  EXPECT_TRUE(Cable.NearRTS());
  ASSERT_TRUE(PumpUntil([&] { return Port->GetCTS() && Port->GetDSR() && Port->GetDCD(); }));

  Port->SetOpen(false);
  ExpectClosedAndEmpty(*Port);
  EXPECT_TRUE(Port->GetDTR());
  EXPECT_TRUE(Port->GetRTS());

  Cable.ClearCallLog();
  Port->SetOpen(true);
  EXPECT_EQ(Args(Calls({"EscapeCommFunction"})), (std::vector<std::string>{"SETDTR", "SETRTS"}));
  EXPECT_TRUE(Cable.NearDTR());
  EXPECT_TRUE(Cable.NearRTS());
}

TEST_F(CablePortTest, MissingDeviceShowsTheErrorBoxEachTime) {
  ScopedPortEnv Missing(9, "/nonexistent/zelvane-tty");
  LifecycleLog Log;
  auto Port = MakePort();
  Port->SetComNumber(9);
  Log.Attach(*Port);
  const std::size_t ThreadsBefore = ThreadCount();
  // The reason stays the thread's last error even when showing the box changed it.
  Boxes.OnBox([](const Dialog&) {
    SetLastError(0);
    return IDOK;
  });
  for (int Attempt = 1; Attempt <= 2; ++Attempt) {
    Port->SetOpen(true);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SysErrorMessage(GetLastError()), "The system cannot find the file specified.");
    ASSERT_EQ(Boxes.Count(), static_cast<std::size_t>(Attempt));
    const auto Box = Boxes.Dialogs().back();
    EXPECT_EQ(Box.text, "Can't open COM port");
    EXPECT_EQ(Box.caption, "COM port error");
    EXPECT_EQ(Box.flags, 16u);
    ExpectClosedAndEmpty(*Port);
  }
  EXPECT_EQ(Log.Opens, 0);
  EXPECT_EQ(Log.Closes, 0);
  EXPECT_EQ(ThreadCount(), ThreadsBefore);
}

TEST_F(CablePortTest, BusyDeviceShowsTheErrorBox) {
  PtyPair Pty;
  ScopedPortEnv Tty(6, Pty.SlavePath());
  TCommPort First(nullptr), Second(nullptr);
  First.SetComNumber(6);
  Second.SetComNumber(6);
  First.SetOpen(true);
  ASSERT_TRUE(First.GetOpen()) << "running as uid " << getuid();
  const std::size_t ThreadsBefore = ThreadCount();
  Second.SetOpen(true);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Boxes.Texts(), std::vector<std::string>{"Can't open COM port"});
  ExpectClosedAndEmpty(Second);
  EXPECT_EQ(ThreadCount(), ThreadsBefore);
  EXPECT_TRUE(First.GetOpen());

  // The virtual cable's end is exclusive too.
  TCommPort Third(nullptr), Fourth(nullptr);
  Third.SetComNumber(PortNumber);
  Fourth.SetComNumber(PortNumber);
  Third.SetOpen(true);
  ASSERT_TRUE(Third.GetOpen());
  Fourth.SetOpen(true);
  EXPECT_FALSE(Fourth.GetOpen());
  EXPECT_EQ(Boxes.Count(), 2u);

  // Once released the device opens again.
  First.SetOpen(false);
  Second.SetOpen(true);
  EXPECT_TRUE(Second.GetOpen());
}

// Allocation failure cannot be provoked under the sanitizers (they reserve huge address
// ranges), so this runs only in the normal build.
#if !defined(ZELVANE_TSAN) && !defined(ZELVANE_ASAN)
TEST_F(CablePortTest, RingThatCannotBeAllocatedFailsTheOpen) {
  auto Port = MakePort();
  Port->SetIBuffSize(0xFFFFFFF0u);  // about 4 GiB
  rlimit Old{};
  getrlimit(RLIMIT_AS, &Old);
  rlimit Limited = Old;
  Limited.rlim_cur = 2ull << 30;  // 2 GiB of address space
  if (setrlimit(RLIMIT_AS, &Limited) != 0) GTEST_SKIP() << "cannot limit the address space";
  Port->SetOpen(true);
  setrlimit(RLIMIT_AS, &Old);
  EXPECT_EQ(Boxes.Texts(), std::vector<std::string>{"Can't open COM port"});
  ExpectClosedAndEmpty(*Port);
  EXPECT_FALSE(Cable.NearIsOpen());
}
#endif

TEST_F(CablePortTest, RingsOfSizeZeroOpenAndTransferNothing) {
  auto Port = MakePort();
  Port->SetIBuffSize(0);
  Port->SetOBuffSize(0);
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  EXPECT_EQ(Port->PutString("abc"), 0u);
  EXPECT_EQ(Port->PutChar('x'), 0u);
  Cable.Write("hello");
  char Buffer[8];
  EXPECT_EQ(Port->GetBlock(Buffer, sizeof(Buffer)), 0u);
  EXPECT_EQ(Port->GetChar(), 0);
  EXPECT_FALSE(Port->CharReady());
  EXPECT_EQ(Port->GetInBuffFree(), 0u);
  EXPECT_EQ(Port->GetOutBuffFree(), 0u);
  Port->SetOpen(false);
  EXPECT_FALSE(Port->GetOpen());
}

// ---- The line settings as a tty receives them ----

class TtyPortTest : public ::testing::Test {
 protected:
  TtyPortTest() : Env(6, Pty.SlavePath()) { Port.SetComNumber(6); }

  DialogRecorder Boxes;
  PtyPair Pty;
  ScopedPortEnv Env;
  TCommPort Port{nullptr};
};

TEST_F(TtyPortTest, SlaveTermiosShowsTheStoredSettingsAfterOpen) {
  Port.SetBaudRate(cbr19200);
  Port.SetDataBits(7);
  Port.SetParity(paEven);
  Port.SetStopBits(sb2_0);
  Port.SetComControl(ccHard);
  Port.SetOpen(true);
  ASSERT_TRUE(Port.GetOpen());
  // A pty keeps no character size or parity of its own (always CS8, no PARENB); speed, stop
  // bits and flow control are kept.
  termios Settings = Pty.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&Settings), static_cast<speed_t>(B19200));
  EXPECT_TRUE(Settings.c_cflag & CSTOPB);
  EXPECT_TRUE(Settings.c_cflag & CRTSCTS);
  EXPECT_FALSE(Settings.c_iflag & (IXON | IXOFF));

  Port.SetComControl(ccSoft);
  Port.SetParity(paOdd);
  Port.SetDataBits(8);
  Port.SetStopBits(sb1_0);
  Port.SetBaud(115200);
  Settings = Pty.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&Settings), static_cast<speed_t>(B115200));
  EXPECT_FALSE(Settings.c_cflag & CSTOPB);
  EXPECT_FALSE(Settings.c_cflag & CRTSCTS);
  EXPECT_EQ(Settings.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

  Port.SetComControl(ccNone);
  Settings = Pty.SlaveTermios();
  EXPECT_FALSE(Settings.c_cflag & CRTSCTS);
  EXPECT_FALSE(Settings.c_iflag & (IXON | IXOFF));
  EXPECT_EQ(Boxes.Count(), 0u);
}

TEST_F(TtyPortTest, RefusedOneAndAHalfStopBitsStayStoredWhileTheTtyKeepsItsOwn) {
  Port.SetStopBits(sb2_0);
  Port.SetOpen(true);
  ASSERT_TRUE(Port.GetOpen());
  ASSERT_TRUE(Pty.SlaveTermios().c_cflag & CSTOPB);
  Port.SetStopBits(sb1_5);  // 8 data bits: the tty has no 1.5 stop bits
  EXPECT_EQ(Port.GetStopBits(), sb1_5);
  EXPECT_TRUE(Pty.SlaveTermios().c_cflag & CSTOPB);
  EXPECT_EQ(Boxes.Texts(), std::vector<std::string>{
                               "Invalid combination (6,7 or 8 data bits with 1.5 stop bits)"});

  // With 5 data bits 1.5 stop bits is what a UART sends with CSTOPB.
  Port.SetStopBits(sb1_0);
  ASSERT_FALSE(Pty.SlaveTermios().c_cflag & CSTOPB);
  Port.SetStopBits(sb1_5);  // refused again: never silently two stop bits
  EXPECT_FALSE(Pty.SlaveTermios().c_cflag & CSTOPB);
  Port.SetDataBits(5);
  Port.SetStopBits(sb1_5);
  EXPECT_TRUE(Pty.SlaveTermios().c_cflag & CSTOPB);
}

TEST_F(TtyPortTest, BytesReachTheFarEndAndBack) {
  Port.SetOpen(true);
  ASSERT_TRUE(Port.GetOpen());
  EXPECT_EQ(Port.PutString("AB"), 2u);
  EXPECT_EQ(Pty.ReadExactly(2, std::chrono::seconds(10)), "AB");
  Pty.Write("reply");
  std::string Reply;
  ASSERT_TRUE(PumpUntil([&] {
    char Buffer[20];
    Reply.append(Buffer, Port.GetBlock(Buffer, sizeof(Buffer)));
    return Reply.size() >= 5;
  }));
  EXPECT_EQ(Reply, "reply");
}

TEST_F(CablePortTest, CloseIsBoundedWhileAWriteCannotComplete) {
  auto Port = MakePort();
  Port->SetOBuffSize(64);
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  Cable.SetReceiving(false);  // the far end takes nothing: the driver queue fills, writes pend
  const std::string Block(64, 'z');
  ASSERT_TRUE(PumpUntil([&] {
    Port->PutBlock(Block.data(), static_cast<DWORD>(Block.size()));
    return Port->GetOutQueCount() == 64 && Port->GetOutBuffFree() == 0;
  }));
  const auto Start = std::chrono::steady_clock::now();
  Port->SetOpen(false);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
  ExpectClosedAndEmpty(*Port);
  EXPECT_FALSE(Cable.NearIsOpen());
}
