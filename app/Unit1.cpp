// SPDX-License-Identifier: MIT
// TMainForm: start-up and port selection, the exchanges with the board, and the scheduler.
#include "Unit1.h"

#include <framework/thread.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

#include "HistoryChart.h"
#include "Platform.h"
#include "res/tray.xpm"
#include "res/zelvane.xpm"

// The window description, built into the program from Unit1.dfm.
extern const unsigned char MainFormDescription[];

TMainForm* MainForm = nullptr;
TRegistry* Settings = nullptr;
char ReplyBuffer[ReplyBufferSize] = {};

namespace {

const char* const kSettingsKey = "\\Software\\Brennwick\\Zelvane";

void ClearReplyBuffer() { std::memset(ReplyBuffer, 0, sizeof ReplyBuffer); }

// The unit's initialisation: the settings store, the pictures and the window description.
const bool UnitInitialised = [] {
  Settings = new TRegistry();
  RegisterPicture("MAINICON", zelvane_xpm);
  RegisterPicture("TRAYICON", tray_xpm);
  RegisterFormResource("TMainForm", reinterpret_cast<const char*>(MainFormDescription),
                       "Unit1.dfm");
  RegisterClass<TMainForm>();
  return true;
}();

}  // namespace

TTimeOfDay (*LocalTimeOfDay)() = [] {
  const appplatform::TLocalTime now = appplatform::LocalTimeNow();
  return TTimeOfDay{now.Hour, now.Minute};
};

std::filesystem::path (*TemperatureLogFolder)() = appplatform::DataFolder;

std::string ReplyText() {
  return appplatform::DecodeWindows1251(ReplyBuffer, strnlen(ReplyBuffer, sizeof ReplyBuffer));
}

TMainForm::TMainForm(TComponent* AOwner) : TForm(AOwner) {}

const TClassInfo& TMainForm::ClassInfo() {
  static const TClassInfo info = TClassInfo::Derived<TMainForm, TForm>("TMainForm")
                                     .Field("IOPort", &TMainForm::IOPort)
                                     .Field("TempTimer", &TMainForm::TempTimer)
                                     .Field("StatBar", &TMainForm::StatBar)
                                     .Field("Tray", &TMainForm::Tray)
                                     .Field("ImageList1", &TMainForm::ImageList1)
                                     .Field("PageControl1", &TMainForm::PageControl1)
                                     .Field("MainSheet", &TMainForm::MainSheet)
                                     .Field("LoadGroup", &TMainForm::LoadGroup)
                                     .Field("Label1", &TMainForm::Label1)
                                     .Field("Label2", &TMainForm::Label2)
                                     .Field("Label3", &TMainForm::Label3)
                                     .Field("Label4", &TMainForm::Label4)
                                     .Field("Load1Btn", &TMainForm::Load1Btn)
                                     .Field("Load2Btn", &TMainForm::Load2Btn)
                                     .Field("Load3Btn", &TMainForm::Load3Btn)
                                     .Field("Load4Btn", &TMainForm::Load4Btn)
                                     .Field("TempGroup", &TMainForm::TempGroup)
                                     .Field("Label6", &TMainForm::Label6)
                                     .Field("Label7", &TMainForm::Label7)
                                     .Field("Label8", &TMainForm::Label8)
                                     .Field("Label9", &TMainForm::Label9)
                                     .Field("Temp1", &TMainForm::Temp1)
                                     .Field("Temp2", &TMainForm::Temp2)
                                     .Field("Temp3", &TMainForm::Temp3)
                                     .Field("Temp4", &TMainForm::Temp4)
                                     .Field("SearchBtn", &TMainForm::SearchBtn)
                                     .Field("SheduleSheet", &TMainForm::SheduleSheet)
                                     .Field("SchedTimer", &TMainForm::SchedTimer)
                                     .Field("Bevel1", &TMainForm::Bevel1)
                                     .Field("GroupBox1", &TMainForm::GroupBox1)
                                     .Field("ActiveCheck", &TMainForm::ActiveCheck)
                                     .Field("Label14", &TMainForm::Label14)
                                     .Field("SchedMinBox", &TMainForm::SchedMinBox)
                                     .Field("Label13", &TMainForm::Label13)
                                     .Field("SchedHourBox", &TMainForm::SchedHourBox)
                                     .Field("Label12", &TMainForm::Label12)
                                     .Field("Load1Check", &TMainForm::Load1Check)
                                     .Field("Load2Check", &TMainForm::Load2Check)
                                     .Field("Load3Check", &TMainForm::Load3Check)
                                     .Field("Load4Check", &TMainForm::Load4Check)
                                     .Field("Memo1", &TMainForm::Memo1)
                                     .Field("HistorySheet", &TMainForm::HistorySheet)
                                     .Field("HistoryBox", &TMainForm::HistoryBox)
                                     .Field("HourBtn", &TMainForm::HourBtn)
                                     .Field("DayBtn", &TMainForm::DayBtn)
                                     .Field("WeekBtn", &TMainForm::WeekBtn)
                                     .Method("Load1BtnClick", &TMainForm::Load1BtnClick)
                                     .Method("FormCreate", &TMainForm::FormCreate)
                                     .Method("FormDestroy", &TMainForm::FormDestroy)
                                     .Method("Load2BtnClick", &TMainForm::Load2BtnClick)
                                     .Method("Load3BtnClick", &TMainForm::Load3BtnClick)
                                     .Method("TempTimerTimer", &TMainForm::TempTimerTimer)
                                     .Method("Load4BtnClick", &TMainForm::Load4BtnClick)
                                     .Method("SearchBtnClick", &TMainForm::SearchBtnClick)
                                     .Method("SchedTimerTimer", &TMainForm::SchedTimerTimer)
                                     .Method("ActiveCheckClick", &TMainForm::ActiveCheckClick)
                                     .Method("HistoryBoxPaint", &TMainForm::HistoryBoxPaint)
                                     .Method("HistorySpanClick", &TMainForm::HistorySpanClick);
  return info;
}

// ---- Start-up and shutdown --------------------------------------------------------------------

// Opens the stored port; on the first run asks for its number, stores it and ends the program.
// A program told to end while it asks stores nothing.
void TMainForm::FormCreate(TObject* /*Sender*/) {
  Exchanges = std::make_unique<TExchangeQueue>(IOPort, ReplyBuffer);
  IOPort->OnDataReceived = [this](TObject*, DWORD) { Exchanges->DataReceived(); };
  IOPort->OnErrorSignal = [this](TObject* Sender, int Error) { PortError(Sender, Error); };
  StartHistory();

  if (Settings->OpenKey(kSettingsKey, false)) {
    IOPort->SetComNumber(Settings->ReadInteger("PortNum"));
    PortNumberKnown = true;
    IOPort->SetOpen(true);
    return;
  }
  MessageBoxA(nullptr, "Порт не выбран!", "АХТУНГ!", MB_OK | MB_ICONERROR);
  if (Application->Terminated()) return;
  const std::string Answer = InputBox("Zelvane 0.1", "Введите номер порта", "1");
  if (Application->Terminated()) return;
  const int PortNum = StrToInt(Answer);
  Settings->CreateKey(kSettingsKey);
  Settings->OpenKey(kSettingsKey, true);
  Settings->WriteInteger("PortNum", PortNum);
  MessageBoxA(nullptr, "Для применения настроек запустите программу снова", "АХТУНГ!",
              MB_OK | MB_ICONINFORMATION);
  Application->Terminate();
}

void TMainForm::FormDestroy(TObject* /*Sender*/) {
  if (Exchanges) Exchanges->Clear();
  TThread::RemoveQueuedEvents(this);
  IOPort->OnDataReceived = nullptr;
  IOPort->OnErrorSignal = nullptr;
  IOPort->SetOpen(false);
  Tray->SetVisible(false);
}

bool TMainForm::ExchangesPending() const {
  return (Exchanges && Exchanges->Pending()) || BoxesWaiting > 0;
}

// A box shown from inside an exchange's outcome would hold up the exchanges queued behind it
// for as long as it is open: it is shown once the current handler has returned.
void TMainForm::ShowBoxLater(std::string Text, std::string Caption, std::function<void()> Then) {
  ++BoxesWaiting;
  TThread::ForceQueue(
      this, [this, Text = std::move(Text), Caption = std::move(Caption), Then = std::move(Then)] {
        --BoxesWaiting;
        MessageBoxA(nullptr, Text.c_str(), Caption.c_str(), MB_OK);
        if (Then) Then();
      });
}

// ---- The temperature history ----------------------------------------------------------------

// The log's last week is read back, so that the history page shows the earlier runs too. Finding
// the log's folder and reading a week of polls take tens of milliseconds, so both are done once
// the window has shown. A demo may ask for a shorter poll interval (ZELVANE_DEMO_POLL_MS, 500 ms
// at the least).
void TMainForm::StartHistory() {
  if (const char* demo = std::getenv("ZELVANE_DEMO_POLL_MS"); demo != nullptr && *demo != '\0')
    TempTimer->SetInterval(std::max(500, std::atoi(demo)));
  TThread::ForceQueue(this, [this] { ReadHistory(); });
}

TTemperatureLog& TMainForm::Log() {
  if (!TemperatureLog) TemperatureLog = std::make_unique<TTemperatureLog>(TemperatureLogFolder());
  return *TemperatureLog;
}

// Polls recorded before the read stay, whether or not their lines reached the log.
void TMainForm::ReadHistory() {
  std::vector<TSample> earlier = Log().ReadSince(std::time(nullptr) - HistoryKeptSeconds);
  const std::int64_t lastRead =
      earlier.empty() ? std::numeric_limits<std::int64_t>::min() : earlier.back().Time;
  for (const TSample& sample : Samples)
    if (sample.Time > lastRead) earlier.push_back(sample);
  Samples = std::move(earlier);
  HistoryBox->Invalidate();
}

// Logs the poll just ended. A log that cannot be written is said once in the status bar, and
// again only after it has been written since; the poll goes on either way.
void TMainForm::RecordPoll() {
  TReading reading;
  reading.Time = std::time(nullptr);
  reading.Texts = {Temp1->GetText(), Temp2->GetText(), Temp3->GetText(), Temp4->GetText()};
  const bool written =
      Log().Append(reading, appplatform::LocalCalendarTime(static_cast<std::time_t>(reading.Time)));
  if (!written && !LogFailing) StatBar->SetSimpleText("Не удается записать журнал температур.");
  LogFailing = !written;
  Samples.push_back(SampleOf(reading));
  const auto kept = std::find_if(Samples.begin(), Samples.end(), [&](const TSample& Sample) {
    return Sample.Time >= reading.Time - HistoryKeptSeconds;
  });
  Samples.erase(Samples.begin(), kept);
  HistoryBox->Invalidate();
}

// The legend names the thermometers as the first page does, without the colon.
void TMainForm::HistoryBoxPaint(TObject* /*Sender*/) {
  TChartView view;
  view.Now = std::time(nullptr);
  view.Span = Span;
  view.OffsetMinutes =
      appplatform::LocalCalendarTime(static_cast<std::time_t>(view.Now)).OffsetMinutes;
  const TLabel* const names[] = {Label6, Label7, Label8, Label9};
  for (std::size_t i = 0; i < view.Names.size(); ++i) {
    std::string name = names[i]->GetCaption();
    if (!name.empty() && name.back() == ':') name.pop_back();
    view.Names[i] = name;
  }
  DrawHistoryChart(HistoryBox->GetCanvas(), HistoryBox->GetWidth(), HistoryBox->GetHeight(),
                   Samples, view);
}

// The button of the span shown is off; the other two choose theirs.
void TMainForm::HistorySpanClick(TObject* Sender) {
  const std::pair<TButton*, std::int64_t> spans[] = {
      {HourBtn, 3600}, {DayBtn, 24 * 3600}, {WeekBtn, HistoryKeptSeconds}};
  for (const auto& [button, seconds] : spans) {
    if (button == Sender) Span = seconds;
    button->SetEnabled(button != Sender);
  }
  HistoryBox->Invalidate();
}

// ---- The port ---------------------------------------------------------------------------------

// The device went away (a pulled adapter, a board switched off): the port is closed, so that
// the next thermometer tick can open it again.
void TMainForm::PortError(TObject* /*Sender*/, int Error) {
  if (Error != static_cast<int>(ERROR_DEVICE_NOT_CONNECTED)) return;
  DeviceLost = true;
  Exchanges->PortLost();  // a reply that came in part before is shown first
  StatBar->SetSimpleText("Связь с контроллером потеряна.");
  IOPort->SetOpen(false);  // runs once this handler has returned
}

// Tries the stored port again. The component reports a failed open with a box of its own; the
// user has been told once already, so a retry every ten seconds stays silent.
void TMainForm::OpenPortQuietly() {
  struct TSilentBoxes {
    TMessageBoxPresenter Shown = Application->SetMessageBoxPresenter(
        [](const std::string&, const std::string&, unsigned) { return IDOK; });
    ~TSilentBoxes() { Application->SetMessageBoxPresenter(Shown); }
  };
  {
    const TSilentBoxes silent;
    IOPort->SetOpen(true);
  }
  if (!IOPort->GetOpen()) return;
  DeviceLost = false;
  Exchanges->PortOpened();
}

// ---- Exchanges with the board -----------------------------------------------------------------

// Whether the exchange brought a reply; if not, the status bar says why.
bool TMainForm::Answered(TExchangeResult Result) {
  if (Result == erNotOpen)
    StatBar->SetSimpleText(DeviceLost ? "Связь с контроллером потеряна." : "Порт не открыт.");
  if (Result == erNoReply) StatBar->SetSimpleText("Нет ответа от контроллера.");
  return Result == erReply;
}

void TMainForm::SwitchLoad(TButton* Button, const char* Command, const char* Done) {
  Exchanges->Exchange(Command, ReplyBufferSize, [this, Button, Done](TExchangeResult Result) {
    if (!Answered(Result)) return;
    Button->SetCaption(ReplyText());
    ClearReplyBuffer();
    StatBar->SetSimpleText(Done);
  });
}

void TMainForm::Load1BtnClick(TObject* /*Sender*/) {
  SwitchLoad(Load1Btn, "AA", "Нагрузка № 1 переключена.");
}

void TMainForm::Load2BtnClick(TObject* /*Sender*/) {
  SwitchLoad(Load2Btn, "AB", "Нагрузка № 2 переключена.");
}

void TMainForm::Load3BtnClick(TObject* /*Sender*/) {
  SwitchLoad(Load3Btn, "AC", "Нагрузка № 3 переключена.");
}

void TMainForm::Load4BtnClick(TObject* /*Sender*/) {
  SwitchLoad(Load4Btn, "AD", "Нагрузка № 4 переключена.");
}

void TMainForm::EnablePollButtons(bool Enabled) {
  for (TButton* button : {Load1Btn, Load2Btn, Load3Btn, Load4Btn, SearchBtn})
    button->SetEnabled(Enabled);
}

// Queues a poll of the four thermometers, unless one already waits for its turn. A port that
// is not open (its board unplugged, or absent at start) is looked for again first.
void TMainForm::TempTimerTimer(TObject* /*Sender*/) {
  if (!IOPort->GetOpen() && PortNumberKnown) OpenPortQuietly();
  if (PollWaiting) return;
  PollWaiting = true;
  Exchanges->Step([this] { BeginPoll(); });
}

// Disabling the buttons moves the keyboard focus away from the one the user was on; it goes
// back there when the poll ends, unless the user has moved it meanwhile.
void TMainForm::BeginPoll() {
  PollWaiting = false;
  PollUnanswered = false;
  StatBar->SetSimpleText("Идет опрос термометров...");
  FocusBeforePoll = GetActiveControl();
  EnablePollButtons(false);
  FocusDuringPoll = GetActiveControl();
  ReadThermometer(0);
}

// Reads thermometer Index and then the next. A thermometer that does not answer costs only its
// own field; a port that is closed or lost ends the poll.
void TMainForm::ReadThermometer(int Index) {
  static const char* const Commands[] = {"BA", "BB", "BC", "BD"};
  Exchanges->Exchange(
      Commands[Index], 5,
      [this, Index](TExchangeResult Result) {
        TEdit* const Fields[] = {Temp1, Temp2, Temp3, Temp4};
        if (Result == erNotOpen) {
          Answered(Result);
          EndPoll();
          return;
        }
        if (Result == erReply) {
          Fields[Index]->SetText(ReplyText());
          ClearReplyBuffer();
        } else {
          Fields[Index]->SetText("Нет данных");
          PollUnanswered = true;
        }
        if (Index < 3) {
          ReadThermometer(Index + 1);
          return;
        }
        StatBar->SetSimpleText(PollUnanswered ? "Нет ответа от контроллера."
                                              : "Опрос термометров завершен.");
        RecordPoll();
        EndPoll();
      },
      /*Next=*/true);
}

void TMainForm::EndPoll() {
  EnablePollButtons(true);
  if (FocusBeforePoll != FocusDuringPoll && GetActiveControl() == FocusDuringPoll)
    SetActiveControl(FocusBeforePoll);
}

// The reply is taken, and the buffer cleared, before the box shows it: the window stays usable
// while the box is open, and a later exchange must not read over the tail of this reply.
void TMainForm::SearchBtnClick(TObject* /*Sender*/) {
  Exchanges->Step([] { ClearReplyBuffer(); });
  Exchanges->Exchange("BZ", 5, [this](TExchangeResult Result) {
    if (!Answered(Result)) return;
    std::string found = ReplyText();
    ClearReplyBuffer();
    ShowBoxLater(std::move(found), "Поиск датчиков");
  });
}

// ---- Scheduler --------------------------------------------------------------------------------

void TMainForm::ActiveCheckClick(TObject* /*Sender*/) {
  if (ActiveCheck->GetChecked()) {
    SchedTimer->SetEnabled(true);
    StatBar->SetSimpleText("Планировщик активирован!");
  } else {
    SchedTimer->SetEnabled(false);
  }
}

void TMainForm::SchedTimerTimer(TObject* /*Sender*/) {
  const TTimeOfDay now = LocalTimeOfDay();
  if (!ActiveCheck->GetChecked()) return;
  int Hour = 0, Minute = 0;
  try {
    Hour = StrToInt(SchedHourBox->GetText());
    Minute = StrToInt(SchedMinBox->GetText());
  } catch (const EConvertError&) {
    // Reported once: the scheduler is disarmed before the report is shown.
    ActiveCheck->SetChecked(false);
    throw;
  }
  if (now.Hour != Hour || now.Minute != Minute) return;
  // Off at once, so that it fires once even while its loads wait for their turn.
  SchedTimer->SetEnabled(false);
  if (Load1Check->GetChecked()) Load1BtnClick(this);
  if (Load2Check->GetChecked()) Load2BtnClick(this);
  if (Load3Check->GetChecked()) Load3BtnClick(this);
  if (Load4Check->GetChecked()) Load4BtnClick(this);
  Exchanges->Step([this] {
    SchedHourBox->SetText("");
    SchedMinBox->SetText("");
    ShowBoxLater("Задача запущена!", "", [this] {
      StatBar->SetSimpleText("Задача планировщика выполнена!");
      ActiveCheck->SetChecked(false);
    });
  });
}
