// TMainForm: start-up and port selection, the exchanges with the board, and the scheduler.
#include "Unit1.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

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
                                     .Method("Load1BtnClick", &TMainForm::Load1BtnClick)
                                     .Method("FormCreate", &TMainForm::FormCreate)
                                     .Method("FormDestroy", &TMainForm::FormDestroy)
                                     .Method("Load2BtnClick", &TMainForm::Load2BtnClick)
                                     .Method("Load3BtnClick", &TMainForm::Load3BtnClick)
                                     .Method("TempTimerTimer", &TMainForm::TempTimerTimer)
                                     .Method("Load4BtnClick", &TMainForm::Load4BtnClick)
                                     .Method("SearchBtnClick", &TMainForm::SearchBtnClick)
                                     .Method("SchedTimerTimer", &TMainForm::SchedTimerTimer)
                                     .Method("ActiveCheckClick", &TMainForm::ActiveCheckClick);
  return info;
}

// ---- Start-up and shutdown --------------------------------------------------------------------

// Opens the stored port; on the first run asks for its number, stores it and ends the program.
void TMainForm::FormCreate(TObject* /*Sender*/) {
  if (Settings->OpenKey(kSettingsKey, false)) {
    IOPort->SetComNumber(Settings->ReadInteger("PortNum"));
    IOPort->SetOpen(true);
    return;
  }
  MessageBoxA(nullptr, "Порт не выбран!", "АХТУНГ!", MB_OK | MB_ICONERROR);
  const int PortNum = StrToInt(InputBox("Zelvane 0.1", "Введите номер порта", "1"));
  Settings->CreateKey(kSettingsKey);
  Settings->OpenKey(kSettingsKey, true);
  Settings->WriteInteger("PortNum", PortNum);
  MessageBoxA(nullptr, "Для применения настроек запустите программу снова", "АХТУНГ!",
              MB_OK | MB_ICONINFORMATION);
  Application->Terminate();
}

void TMainForm::FormDestroy(TObject* /*Sender*/) {
  IOPort->SetOpen(false);
  Tray->SetVisible(false);
}

// ---- Exchanges with the board -----------------------------------------------------------------

// Sends the two command bytes and waits for the first bytes of the reply in ReplyBuffer. The
// wait processes no window messages, so no other handler starts meanwhile.
TMainForm::TExchangeResult TMainForm::Exchange(const char* Command, DWORD ReplyCount) {
  if (!IOPort->GetOpen()) {
    StatBar->SetSimpleText("Порт не открыт.");
    return erNotOpen;
  }
  IOPort->PutBlock(Command, 2);
  return AwaitReply(ReplyCount);
}

// Reads into ReplyBuffer until a read returns bytes, for at most ReplyTimeoutMs; between reads
// it sleeps a millisecond so that the wait does not occupy a processor.
TMainForm::TExchangeResult TMainForm::AwaitReply(DWORD ReplyCount) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ReplyTimeoutMs);
  while (IOPort->GetBlock(ReplyBuffer, ReplyCount) == 0) {
    if (Clock::now() >= deadline) {
      StatBar->SetSimpleText("Нет ответа от контроллера.");
      return erNoReply;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return erReply;
}

void TMainForm::SwitchLoad(TButton* Button, const char* Command, const char* Done) {
  if (Exchange(Command, ReplyBufferSize) != erReply) return;
  Button->SetCaption(ReplyText());
  ClearReplyBuffer();
  StatBar->SetSimpleText(Done);
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

// Reads the four thermometers in turn; stops at the first one that cannot be read.
void TMainForm::TempTimerTimer(TObject* /*Sender*/) {
  StatBar->SetSimpleText("Идет опрос термометров...");
  EnablePollButtons(false);
  Repaint();  // shows the poll under way: the window handles no messages until it ends
  struct ReEnable {
    TMainForm* Form;
    ~ReEnable() { Form->EnablePollButtons(true); }
  } reEnable{this};

  const char* const commands[] = {"BA", "BB", "BC", "BD"};
  TEdit* const fields[] = {Temp1, Temp2, Temp3, Temp4};
  for (int i = 0; i < 4; ++i) {
    const TExchangeResult result = Exchange(commands[i], 5);
    if (result == erNoReply) fields[i]->SetText("Нет данных");
    if (result != erReply) return;
    fields[i]->SetText(ReplyText());
    ClearReplyBuffer();
  }
  StatBar->SetSimpleText("Опрос термометров завершен.");
}

// The reply is taken, and the buffer cleared, before the box shows it: the window stays usable
// while the box is open, and a later exchange must not read over the tail of this reply.
void TMainForm::SearchBtnClick(TObject* /*Sender*/) {
  if (!IOPort->GetOpen()) {
    StatBar->SetSimpleText("Порт не открыт.");
    return;
  }
  IOPort->PutBlock("BZ", 2);
  ClearReplyBuffer();
  if (AwaitReply(5) != erReply) return;
  const std::string found = ReplyText();
  ClearReplyBuffer();
  MessageBoxA(nullptr, found.c_str(), "Поиск датчиков", MB_OK);
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
  if (Load1Check->GetChecked()) Load1BtnClick(this);
  if (Load2Check->GetChecked()) Load2BtnClick(this);
  if (Load3Check->GetChecked()) Load3BtnClick(this);
  if (Load4Check->GetChecked()) Load4BtnClick(this);
  SchedHourBox->SetText("");
  SchedMinBox->SetText("");
  SchedTimer->SetEnabled(false);
  MessageBoxA(nullptr, "Задача запущена!", "", MB_OK);
  StatBar->SetSimpleText("Задача планировщика выполнена!");
  ActiveCheck->SetChecked(false);
}
