// SPDX-License-Identifier: MIT
// TCommPort settings: defaults, streaming, setters, warnings, clamping, flag words, the device
// writes of an open port, registration and the palette image.
#include <comm/Comm.h>
#include <framework/registration.h>
#include <framework/streaming.h>

#include <cstring>

#include "component_test_util.h"

using namespace commtest;

namespace {

const char* const TwoStopWarning = "Invalid combination (5 data bits with 2 stop bits)";
const char* const OneAndHalfWarning = "Invalid combination (6,7 or 8 data bits with 1.5 stop bits)";

// Names of the properties a form description sets, in order (object headers and "end" skipped).
std::vector<std::string> PropertyNames(const std::string& Text) {
  std::vector<std::string> Names;
  std::istringstream In(Text);
  std::string Line;
  while (std::getline(In, Line)) {
    const auto Eq = Line.find(" = ");
    if (Eq == std::string::npos) continue;
    const auto Start = Line.find_first_not_of(' ');
    Names.push_back(Line.substr(Start, Eq - Start));
  }
  return Names;
}

std::unique_ptr<TCommPort> ReadPort(const std::string& Body) {
  TComponent* Root = ReadComponentText("object IOPort: TCommPort\n" + Body + "end\n");
  return std::unique_ptr<TCommPort>(dynamic_cast<TCommPort*>(Root));
}

}  // namespace

TEST(CommPortDefaults, NewComponentReportsTheDefaults) {
  TCommPort Port(nullptr);
  EXPECT_EQ(Port.GetComNumber(), 2);
  EXPECT_EQ(Port.GetBaud(), 9600);
  EXPECT_EQ(Port.GetBaudRate(), cbr9600);
  EXPECT_EQ(Port.GetParity(), paNone);
  EXPECT_EQ(Port.GetStopBits(), sb1_0);
  EXPECT_EQ(Port.GetDataBits(), 8);
  EXPECT_EQ(Port.GetControl(), ccNone);
  EXPECT_EQ(Port.GetInSize(), 2048u);
  EXPECT_EQ(Port.GetOutSize(), 4096u);
  EXPECT_EQ(Port.GetXonLim(), 0);
  EXPECT_EQ(Port.GetXoffLim(), 1024);
  EXPECT_EQ(Port.GetXonChar(), 17);
  EXPECT_EQ(Port.GetXoffChar(), 19);
  EXPECT_EQ(Port.GetEventChar(), 0);
  EXPECT_FALSE(Port.GetOpen());
  EXPECT_FALSE(Port.IsEnabled());
  EXPECT_FALSE(Port.GetDTR() || Port.GetRTS() || Port.GetCTS() || Port.GetDSR() || Port.GetDCD() ||
               Port.GetRing());
  EXPECT_EQ(Port.GetMonitorEvents(), 0x01FD);  // every member but evRxEventChar
  EXPECT_FALSE(InSet(Port.GetMonitorEvents(), evRxEventChar));
  EXPECT_TRUE(InSet(Port.GetMonitorEvents(), evRing));
  EXPECT_FALSE(Port.OnOpen.Assigned() || Port.OnClose.Assigned() ||
               Port.OnDataReceived.Assigned() || Port.OnCTSSignal.Assigned());
}

TEST(CommPortDefaults, EventSetsUseOneBitPerOrdinal) {
  static_assert(EventSet({evRxChar}) == 0x0001);
  static_assert(EventSet({evRing}) == 0x0100);
  static_assert(EventSet({evRxChar, evRxEventChar, evTxEmpty, evCTS, evDSR, evRlsd, evBreak,
                          evError, evRing}) == 0x01FF);
  static_assert(sizeof(TEventStates) == 2);
  EXPECT_TRUE(InSet(EventSet({evCTS, evDSR}), evDSR));
  EXPECT_FALSE(InSet(EventSet({evCTS, evDSR}), evRlsd));
}

TEST(CommPortStreaming, WriterStoresExactlyTheNonDefaultPropertiesInOrder) {
  TCommPort Port(nullptr);
  Port.SetName("IOPort");
  const std::string Text = WriteComponentText(Port);
  EXPECT_EQ(PropertyNames(Text), (std::vector<std::string>{"ComNumber", "InSize", "OutSize", "Baud",
                                                           "BaudRate", "DataBits", "MonitorEvents",
                                                           "XoffLim", "XonChar", "XoffChar"}))
      << Text;
}

TEST(CommPortStreaming, PublishedPropertiesFollowTheDeclarationOrder) {
  std::vector<std::string> Names;
  for (const TPropInfo& Prop : TCommPort::ClassInfo().Properties()) Names.push_back(Prop.Name);
  const std::vector<std::string> Expected{"Name",          "Tag",
                                          "ComNumber",     "Open",
                                          "DTR",           "RTS",
                                          "CTS",           "DSR",
                                          "DCD",           "Ring",
                                          "InSize",        "OutSize",
                                          "InBuffFree",    "InBuffUsed",
                                          "OutBuffFree",   "OutBuffUsed",
                                          "OutQueCount",   "Baud",
                                          "BaudRate",      "Control",
                                          "Parity",        "StopBits",
                                          "DataBits",      "MonitorEvents",
                                          "XonLim",        "XoffLim",
                                          "XonChar",       "XoffChar",
                                          "EventChar",     "StatusPause",
                                          "OnCTSSignal",   "OnDCDSignal",
                                          "OnDSRSignal",   "OnRxDSignal",
                                          "OnTxDSignal",   "OnRingSignal",
                                          "OnBreakSignal", "OnRxEventSignal",
                                          "OnErrorSignal", "OnDataReceived",
                                          "OnOpen",        "OnClose"};
  EXPECT_EQ(Names, Expected);
}

TEST(CommPortStreaming, WrittenSettingsReadBack) {
  DialogRecorder Boxes;
  TCommPort Port(nullptr);
  Port.SetName("IOPort");
  Port.SetComNumber(7);
  Port.SetBaudRate(cbr19200);
  Port.SetParity(paMark);
  Port.SetComControl(ccHard);
  Port.SetDataBits(7);
  Port.SetXonLim(12);
  Port.SetEventChar(33);
  Port.SetMonitorEvents(EventSet({evRxChar, evBreak}));
  Port.SetDTR(true);
  std::unique_ptr<TCommPort> Copy(
      dynamic_cast<TCommPort*>(ReadComponentText(WriteComponentText(Port))));
  ASSERT_TRUE(Copy);
  EXPECT_EQ(Copy->GetComNumber(), 7);
  EXPECT_EQ(Copy->GetBaudRate(), cbr19200);
  EXPECT_EQ(Copy->GetParity(), paMark);
  EXPECT_EQ(Copy->GetControl(), ccHard);
  EXPECT_EQ(Copy->GetDataBits(), 7);
  EXPECT_EQ(Copy->GetXonLim(), 12);
  EXPECT_EQ(Copy->GetEventChar(), 33);
  EXPECT_EQ(Copy->GetMonitorEvents(), EventSet({evRxChar, evBreak}));
  EXPECT_TRUE(Copy->GetDTR());
  EXPECT_FALSE(Copy->GetOpen());
  EXPECT_EQ(Boxes.Count(), 0u);
}

// StatusPause is 50 unless set and stored only when it differs; 0 is stored and read back.
TEST(CommPortStreaming, StatusPauseIsStoredOnlyAwayFromItsDefault) {
  TCommPort Port(nullptr);
  Port.SetName("IOPort");
  EXPECT_EQ(Port.GetStatusPause(), 50u);
  EXPECT_EQ(WriteComponentText(Port).find("StatusPause"), std::string::npos);
  for (const DWORD Pause : {0u, 5u, 1000u}) {
    Port.SetStatusPause(Pause);
    const std::string Text = WriteComponentText(Port);
    EXPECT_NE(Text.find("StatusPause = " + std::to_string(Pause)), std::string::npos) << Text;
    std::unique_ptr<TCommPort> Copy(dynamic_cast<TCommPort*>(ReadComponentText(Text)));
    ASSERT_TRUE(Copy);
    EXPECT_EQ(Copy->GetStatusPause(), Pause);
  }
}

TEST(CommPortSetters, BaudAcceptsOnlyTheFifteenSpeeds) {
  DialogRecorder Boxes;
  TCommPort Port(nullptr);
  Port.SetBaud(12345);
  EXPECT_EQ(Port.GetBaudRate(), cbr9600);
  Port.SetBaud(-9600);
  EXPECT_EQ(Port.GetBaudRate(), cbr9600);
  Port.SetBaud(56000);
  EXPECT_EQ(Port.GetBaudRate(), cbr56000);
  EXPECT_EQ(Port.GetBaud(), 56000);
  const int Speeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                        19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int Rate = 0; Rate < 15; ++Rate) {
    Port.SetBaud(Speeds[Rate]);
    EXPECT_EQ(Port.GetBaudRate(), static_cast<TBaudRate>(Rate));
    EXPECT_EQ(Port.GetBaud(), Speeds[Rate]);
  }
  Port.SetBaudRate(static_cast<TBaudRate>(15));  // outside the enumeration
  EXPECT_EQ(Port.GetBaud(), 0);
  EXPECT_EQ(Boxes.Count(), 0u);
}

TEST(CommPortSetters, DataBitsOutsideFiveToEightBecomeEight) {
  DialogRecorder Boxes;
  TCommPort Port(nullptr);
  Port.SetDataBits(6);
  EXPECT_EQ(Port.GetDataBits(), 6);
  Port.SetDataBits(4);
  EXPECT_EQ(Port.GetDataBits(), 8);
  Port.SetDataBits(5);
  Port.SetDataBits(9);
  EXPECT_EQ(Port.GetDataBits(), 8);
  Port.SetDataBits(0);
  EXPECT_EQ(Port.GetDataBits(), 8);
}

TEST(CommPortWarnings, EachDataBitStopBitCombination) {
  DialogRecorder Boxes;
  TCommPort Port(nullptr);

  Port.SetDataBits(5);
  EXPECT_EQ(Boxes.Count(), 0u);
  Port.SetStopBits(sb2_0);
  ASSERT_EQ(Boxes.Count(), 1u);
  EXPECT_EQ(Boxes.Dialogs()[0].text, TwoStopWarning);
  EXPECT_EQ(Boxes.Dialogs()[0].caption, "COM port warning");
  EXPECT_EQ(Boxes.Dialogs()[0].flags, static_cast<unsigned>(MB_ICONEXCLAMATION | MB_OK));
  EXPECT_EQ(Port.GetStopBits(), sb2_0);  // the warning changes nothing

  Boxes.Clear();
  Port.SetStopBits(sb1_5);  // 5 data bits with 1.5 stop bits is valid
  Port.SetDataBits(5);
  Port.SetStopBits(sb1_0);
  EXPECT_EQ(Boxes.Count(), 0u);

  for (unsigned short Bits : {6, 7, 8}) {
    Boxes.Clear();
    Port.SetDataBits(Bits);
    Port.SetStopBits(sb1_5);
    EXPECT_EQ(Boxes.Texts(), std::vector<std::string>{OneAndHalfWarning}) << Bits;
    Port.SetStopBits(sb2_0);  // 2 stop bits are valid with 6 to 8
    Port.SetStopBits(sb1_0);
    EXPECT_EQ(Boxes.Count(), 1u) << Bits;
  }

  Boxes.Clear();
  Port.SetStopBits(sb1_5);  // DataBits 8: warns
  Port.SetDataBits(5);      // now valid: nothing
  Port.SetDataBits(7);      // invalid again: the data-bit setter warns too
  EXPECT_EQ(Boxes.Texts(), (std::vector<std::string>{OneAndHalfWarning, OneAndHalfWarning}));
  EXPECT_EQ(Port.GetDataBits(), 7);
}

TEST(CommPortWarnings, StoredFormWithOneAndHalfStopBitsAndFiveDataBitsWarnsOnce) {
  DialogRecorder Boxes;
  auto Port = ReadPort("  StopBits = sb1_5\n  DataBits = 5\n");
  ASSERT_TRUE(Port);
  EXPECT_EQ(Boxes.Texts(), std::vector<std::string>{OneAndHalfWarning});
  EXPECT_EQ(Port->GetStopBits(), sb1_5);
  EXPECT_EQ(Port->GetDataBits(), 5);
}

TEST(CommPortSetters, XoffLimIsClampedToTheReceiveRingSize) {
  DialogRecorder Boxes;
  TCommPort Port(nullptr);
  Port.SetXoffLim(5000);
  EXPECT_EQ(Port.GetXoffLim(), 2048);
  Port.SetXoffLim(2000);
  EXPECT_EQ(Port.GetXoffLim(), 2000);
  Port.SetIBuffSize(70000);
  Port.SetXoffLim(5000);
  EXPECT_EQ(Port.GetXoffLim(), 5000);
  Port.SetXoffLim(65535);
  EXPECT_EQ(Port.GetXoffLim(), 65535);
  Port.SetIBuffSize(65535);
  Port.SetXoffLim(65535);
  EXPECT_EQ(Port.GetXoffLim(), 65535);
  Port.SetIBuffSize(0);
  Port.SetXoffLim(10);
  EXPECT_EQ(Port.GetXoffLim(), 0);
}

TEST_F(CablePortTest, XoffLimIsClampedAgainOnlyAtTheNextOpen) {
  auto Port = MakePort();
  ASSERT_EQ(Port->GetXoffLim(), 1024);
  Port->SetIBuffSize(512);
  EXPECT_EQ(Port->GetXoffLim(), 1024);  // the size setter does not re-clamp
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  EXPECT_EQ(Port->GetXoffLim(), 512);
  EXPECT_EQ(Cable.NearState().XoffLim, 512);
  Port->SetOpen(false);

  // Lowered while open: the port reopens and the reopening clamps.
  Port->SetIBuffSize(2048);
  Port->SetXoffLim(1500);
  Port->SetOpen(true);
  Port->SetIBuffSize(256);
  EXPECT_TRUE(Port->GetOpen());
  EXPECT_EQ(Port->GetXoffLim(), 256);
  EXPECT_EQ(Cable.NearState().XoffLim, 256);
}

TEST_F(CablePortTest, NoDeviceCallWhileClosed) {
  auto Port = MakePort();
  Port->SetComControl(ccSoft);
  Port->SetBaudRate(cbr38400);
  Port->SetBaud(57600);
  Port->SetParity(paOdd);
  Port->SetStopBits(sb2_0);
  Port->SetDataBits(7);
  Port->SetXonLim(5);
  Port->SetXoffLim(6);
  Port->SetXonChar(7);
  Port->SetXoffChar(8);
  Port->SetEventChar(9);
  Port->SetDTR(true);
  Port->SetRTS(true);
  Port->FlushInBuffer();
  Port->FlushOutBuffer();
  EXPECT_EQ(Port->GetOutQueCount(), 0);
  EXPECT_FALSE(Port->GetModemState(1));
  EXPECT_FALSE(Port->SetBreak(true));
  EXPECT_TRUE(Cable.CallLog().empty());
  EXPECT_FALSE(Cable.NearIsOpen());
}

TEST_F(CablePortTest, OpenWritesEverySettingInOrderThroughTheSetters) {
  auto Port = MakePort();
  Port->SetComControl(ccSoft);
  Port->SetBaudRate(cbr19200);
  Port->SetParity(paEven);
  Port->SetStopBits(sb2_0);
  Port->SetDataBits(7);
  Port->SetXonLim(10);
  Port->SetXoffLim(100);
  Port->SetXonChar(1);
  Port->SetXoffChar(2);
  Port->SetEventChar(3);
  Cable.ClearCallLog();

  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  EXPECT_EQ(Boxes.Count(), 0u);

  const auto Owner = Calls({"CreateFileA", "SetupComm", "SetCommTimeouts", "GetCommState",
                            "SetCommState", "EscapeCommFunction"});
  ASSERT_EQ(Owner.size(), 3u + 20u + 2u);
  EXPECT_EQ(Owner[0].Call, "CreateFileA");
  EXPECT_EQ(Owner[1].Call, "SetupComm");
  EXPECT_EQ(Owner[1].Args, "in=2048 out=4096");
  EXPECT_EQ(Owner[2].Call, "SetCommTimeouts");
  EXPECT_EQ(Owner[2].Args, "0,0,0,0,0");
  // Ten read-modify-writes, each changing the member of its setter, in the open order.
  const std::vector<std::pair<std::string, std::string>> Steps{
      {"Flags", "0x00001311"}, {"BaudRate", "19200"}, {"Parity", "2"},    {"StopBits", "2"},
      {"ByteSize", "7"},       {"XonLim", "10"},      {"XoffLim", "100"}, {"XonChar", "1"},
      {"XoffChar", "2"},       {"EvtChar", "3"}};
  std::map<std::string, std::string> Previous;
  for (std::size_t i = 0; i < Steps.size(); ++i) {
    EXPECT_EQ(Owner[3 + 2 * i].Call, "GetCommState") << i;
    ASSERT_EQ(Owner[4 + 2 * i].Call, "SetCommState") << i;
    const auto Fields = ParseFields(Owner[4 + 2 * i].Args);
    EXPECT_EQ(Fields.at(Steps[i].first), Steps[i].second) << Owner[4 + 2 * i].Args;
    if (i > 0) {
      for (const auto& [Key, Value] : Fields) {
        if (Key != Steps[i].first) {
          EXPECT_EQ(Previous[Key], Value) << "step " << i << " " << Key;
        }
      }
    }
    Previous = Fields;
  }
  EXPECT_EQ(Owner[23].Args, "CLRDTR");
  EXPECT_EQ(Owner[24].Args, "CLRRTS");
  // The event mask is set by the status monitor's construction, after the settings.
  const auto Log = Cable.CallLog();
  std::size_t LastSetState = 0, FirstMask = Log.size();
  for (std::size_t i = 0; i < Log.size(); ++i) {
    if (Log[i].Call == "SetCommState") LastSetState = i;
    if (Log[i].Call == "SetCommMask" && FirstMask == Log.size()) FirstMask = i;
  }
  EXPECT_LT(LastSetState, FirstMask);
  ASSERT_LT(FirstMask, Log.size());
  EXPECT_EQ(Log[FirstMask].Args, "mask=0x000001FD");

  const DCB State = Cable.NearState();
  EXPECT_EQ(State.BaudRate, 19200u);
  EXPECT_EQ(State.ByteSize, 7);
  EXPECT_EQ(State.Parity, EVENPARITY);
  EXPECT_EQ(State.StopBits, TWOSTOPBITS);
  EXPECT_EQ(State.XonLim, 10);
  EXPECT_EQ(State.XoffLim, 100);
  EXPECT_EQ(State.XonChar, 1);
  EXPECT_EQ(State.XoffChar, 2);
  EXPECT_EQ(State.EvtChar, 3);
}

TEST_F(CablePortTest, FlagWordIsExactlyOneOfTheThreeWords) {
  auto Port = MakePort();
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  const std::pair<TComControl, const char*> Words[] = {{ccSoft, "0x00001311"},
                                                       {ccHard, "0x0000202D"},
                                                       {ccNone, "0x00000001"},
                                                       {static_cast<TComControl>(7), "0x00000001"}};
  for (const auto& [Control, Word] : Words) {
    Cable.ClearCallLog();
    Port->SetComControl(Control);
    EXPECT_EQ(Port->GetControl(), Control);
    const auto Writes = Calls({"GetCommState", "SetCommState"});
    ASSERT_EQ(Writes.size(), 2u);
    EXPECT_EQ(ParseFields(Writes[1].Args).at("Flags"), Word);
  }
  // The DCB's flag word, bit for bit.
  Port->SetComControl(ccHard);
  DCB State = Cable.NearState();
  std::uint32_t Flags = 0;
  std::memcpy(&Flags, reinterpret_cast<const char*>(&State) + 2 * sizeof(DWORD), sizeof(Flags));
  EXPECT_EQ(Flags, 0x202Du);
}

TEST_F(CablePortTest, SettersWriteOneMemberToAnOpenDevice) {
  auto Port = MakePort();
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  Cable.ClearCallLog();
  Port->SetBaud(115200);
  Port->SetParity(paSpace);
  Port->SetXoffChar(0x13);
  EXPECT_EQ(Args(Calls({"GetCommState", "SetCommState"})).size(), 6u);
  EXPECT_EQ(Cable.NearState().BaudRate, 115200u);
  EXPECT_EQ(Cable.NearState().Parity, SPACEPARITY);

  // The warning comes after the value has been written to the device (which refuses this one).
  std::string LastWriteAtBox;
  Boxes.OnBox([&](const Dialog&) {
    const auto Writes = Calls({"SetCommState"});
    if (!Writes.empty()) LastWriteAtBox = Writes.back().Args;
    return IDOK;
  });
  Port->SetStopBits(sb1_5);
  EXPECT_EQ(Boxes.Texts(), std::vector<std::string>{OneAndHalfWarning});
  EXPECT_EQ(ParseFields(LastWriteAtBox)["StopBits"], "1") << LastWriteAtBox;
  EXPECT_EQ(Port->GetStopBits(), sb1_5);
  Boxes.OnBox(nullptr);
}

TEST_F(CablePortTest, StoredInvalidPairWarnsTwiceAtEveryOpen) {
  auto Port = MakePort();
  Port->SetDataBits(5);
  Port->SetStopBits(sb2_0);
  Boxes.Clear();
  for (int Attempt = 0; Attempt < 2; ++Attempt) {
    Port->SetOpen(true);
    EXPECT_TRUE(Port->GetOpen());
    EXPECT_EQ(Boxes.Texts(), (std::vector<std::string>{TwoStopWarning, TwoStopWarning}));
    Port->SetOpen(false);
    Boxes.Clear();
  }
}

TEST_F(CablePortTest, MonitorEventsChangeTakesEffectAtTheNextOpen) {
  auto Port = MakePort();
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  Cable.ClearCallLog();
  Port->SetMonitorEvents(EventSet({evRxChar, evCTS}));
  EXPECT_TRUE(Calls({"SetCommMask"}).empty());
  Port->SetOpen(false);
  Cable.ClearCallLog();
  Port->SetOpen(true);
  const auto Masks = Args(Calls({"SetCommMask"}));
  ASSERT_FALSE(Masks.empty());
  EXPECT_EQ(Masks[0], "mask=0x00000009");
}

TEST(CommPortRegistration, PalettePageImageAndDescription) {
  Register();
  const auto Classes = PaletteClasses("Marnock");
  ASSERT_EQ(Classes.size(), 1u);
  EXPECT_EQ(Classes[0], &TCommPort::ClassInfo());
  EXPECT_EQ(FindClass("TCommPort"), &TCommPort::ClassInfo());
  EXPECT_STREQ(CommDescription(), "Marnock COM port");

  const TCommResource Image = FindCommResource("TCOMMPORT");
  ASSERT_NE(Image.Data, nullptr);
  ASSERT_GE(Image.Size, 118u);
  EXPECT_EQ(std::memcmp(Image.Data, "BM", 2), 0);
  auto Read32 = [&](std::size_t At) {
    std::int32_t Value;
    std::memcpy(&Value, Image.Data + At, 4);
    return Value;
  };
  std::uint16_t BitCount;
  std::memcpy(&BitCount, Image.Data + 28, 2);
  EXPECT_EQ(Read32(2), static_cast<std::int32_t>(Image.Size));
  EXPECT_EQ(Read32(18), 24);  // width
  EXPECT_EQ(Read32(22), 24);  // height
  EXPECT_EQ(BitCount, 4);     // 16 colours
  EXPECT_EQ(Read32(46), 16);  // palette entries
  EXPECT_EQ(FindCommResource("OTHER").Data, nullptr);
}

TEST(CommPortRegistration, CreatedByClassName) {
  TComponent* Created = FindClass("TCommPort")->Create(nullptr);
  auto* Port = dynamic_cast<TCommPort*>(Created);
  ASSERT_NE(Port, nullptr);
  EXPECT_EQ(Port->GetComNumber(), 2);
  delete Created;
}
