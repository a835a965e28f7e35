// SPDX-License-Identifier: MIT
// Zelvane's main window: four load buttons, four thermometers refreshed every ten seconds, the
// sensor search, and a one-shot scheduler that switches chosen loads at a given hour and minute.
// The window talks to the controller board only through IOPort's PutBlock and GetBlock, one
// exchange at a time (Exchanges.h); the message loop goes on while a reply is awaited. A board
// that goes away is reported in the status bar and its port opened again at each thermometer tick.
// Each finished poll is appended to the temperature log (History.h) and kept for the history page.
//
// Threads: everything here runs on the main thread.
#pragma once

#include <comm/Commport.h>
#include <framework/registry.h>
#include <widgets/comctrls.h>
#include <widgets/extctrls.h>
#include <widgets/forms.h>
#include <widgets/imglist.h>
#include <widgets/paintbox.h>
#include <widgets/stdctrls.h>
#include <widgets/trayicon.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "Exchanges.h"
#include "History.h"

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // Published component references, set while the window description is read.
  TCommPort* IOPort = nullptr;
  TTimer* TempTimer = nullptr;
  TStatusBar* StatBar = nullptr;
  TTrayIcon* Tray = nullptr;
  TImageList* ImageList1 = nullptr;
  TPageControl* PageControl1 = nullptr;
  TTabSheet* MainSheet = nullptr;
  TGroupBox* LoadGroup = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TLabel* Label4 = nullptr;
  TButton* Load1Btn = nullptr;
  TButton* Load2Btn = nullptr;
  TButton* Load3Btn = nullptr;
  TButton* Load4Btn = nullptr;
  TGroupBox* TempGroup = nullptr;
  TLabel* Label6 = nullptr;
  TLabel* Label7 = nullptr;
  TLabel* Label8 = nullptr;
  TLabel* Label9 = nullptr;
  TEdit* Temp1 = nullptr;
  TEdit* Temp2 = nullptr;
  TEdit* Temp3 = nullptr;
  TEdit* Temp4 = nullptr;
  TButton* SearchBtn = nullptr;
  TTabSheet* SheduleSheet = nullptr;
  TTimer* SchedTimer = nullptr;
  TBevel* Bevel1 = nullptr;
  TGroupBox* GroupBox1 = nullptr;
  TCheckBox* ActiveCheck = nullptr;
  TLabel* Label14 = nullptr;
  TEdit* SchedMinBox = nullptr;
  TLabel* Label13 = nullptr;
  TEdit* SchedHourBox = nullptr;
  TLabel* Label12 = nullptr;
  TCheckBox* Load1Check = nullptr;
  TCheckBox* Load2Check = nullptr;
  TCheckBox* Load3Check = nullptr;
  TCheckBox* Load4Check = nullptr;
  TMemo* Memo1 = nullptr;
  TTabSheet* HistorySheet = nullptr;
  TPaintBox* HistoryBox = nullptr;
  TButton* HourBtn = nullptr;
  TButton* DayBtn = nullptr;
  TButton* WeekBtn = nullptr;

  // Published handlers.
  void Load1BtnClick(TObject* Sender);
  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void Load2BtnClick(TObject* Sender);
  void Load3BtnClick(TObject* Sender);
  void TempTimerTimer(TObject* Sender);
  void Load4BtnClick(TObject* Sender);
  void SearchBtnClick(TObject* Sender);
  void SchedTimerTimer(TObject* Sender);
  void ActiveCheckClick(TObject* Sender);
  void HistoryBoxPaint(TObject* Sender);
  void HistorySpanClick(TObject* Sender);

  // The polls kept for the history page, oldest first, and the span it shows (seconds).
  const std::vector<TSample>& History() const { return Samples; }
  std::int64_t HistorySpan() const { return Span; }

  // Whether an exchange is in flight or waits for its turn, or a box waits to be shown.
  bool ExchangesPending() const;

 private:
  bool Answered(TExchangeResult Result);
  void SwitchLoad(TButton* Button, const char* Command, const char* Done);
  void EnablePollButtons(bool Enabled);
  void BeginPoll();
  void ReadThermometer(int Index);
  void EndPoll();
  void PortError(TObject* Sender, int Error);
  void OpenPortQuietly();
  void ShowBoxLater(std::string Text, std::string Caption, std::function<void()> Then = {});
  void StartHistory();
  void ReadHistory();
  TTemperatureLog& Log();  // made on first use
  void RecordPoll();

  std::unique_ptr<TExchangeQueue> Exchanges;
  bool PortNumberKnown = false;  // the stored port number was read: reopening may try it
  bool DeviceLost = false;       // the port's device went away and has not been opened since
  bool PollWaiting = false;      // a poll waits for its turn
  bool PollUnanswered = false;   // a thermometer of the poll under way did not answer
  int BoxesWaiting = 0;          // boxes queued to be shown once the current handler returns
  TWinControl* FocusBeforePoll = nullptr;
  TWinControl* FocusDuringPoll = nullptr;
  std::unique_ptr<TTemperatureLog> TemperatureLog;
  bool LogFailing = false;       // the last line could not be written (said once)
  std::vector<TSample> Samples;  // the polls of the last HistoryKeptSeconds, oldest first
  std::int64_t Span = 3600;      // what the history page shows: the last hour, day or week
};

// How far back the history page can look, and how much of the log is read at start.
constexpr std::int64_t HistoryKeptSeconds = 7 * 24 * 3600;

// The one main window, set when the application creates it.
extern TMainForm* MainForm;

// The per-user settings store holding the port number; lives until the process ends.
extern TRegistry* Settings;

// Where every reply of the board is read into; shared by every exchange.
constexpr DWORD ReplyBufferSize = 20;
extern char ReplyBuffer[ReplyBufferSize];

// The local time of day the scheduler compares with; tests replace the clock.
struct TTimeOfDay {
  int Hour;    // 0 to 23
  int Minute;  // 0 to 59
};
extern TTimeOfDay (*LocalTimeOfDay)();

// The folder of the temperature log (the user's data folder); tests replace it.
extern std::filesystem::path (*TemperatureLogFolder)();

// The reply in ReplyBuffer as text: its bytes up to the first zero byte (all 20 when there is
// none), decoded from Windows-1251.
std::string ReplyText();
