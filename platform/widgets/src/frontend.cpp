// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <framework/thread.h>
#include <unistd.h>
#include <widgets/comctrls.h>
#include <widgets/extctrls.h>
#include <widgets/forms.h>
#include <widgets/frontend.h>
#include <widgets/imglist.h>
#include <widgets/paintbox.h>
#include <widgets/stdctrls.h>
#include <widgets/trayicon.h>

#include <QInputDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStyle>
#include <QTranslator>
#include <atomic>
#include <csignal>

#include "design_style.h"
#include "qt_bridge.h"

using widgets_detail::FromQt;
using widgets_detail::ToQt;

namespace {

// ---- Boxes and dialogs ------------------------------------------------------------------------

QMessageBox::Icon IconFor(unsigned Flags) {
  switch (Flags & 0xF0u) {
    case MB_ICONERROR:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONWARNING:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// The buttons of each Win32 button code and the answers they give.
struct ButtonSet {
  unsigned Code;
  QMessageBox::StandardButtons Buttons;
  int Escape;  // the answer when the box is closed without a button
};
const ButtonSet kButtonSets[] = {
    {MB_OK, QMessageBox::Ok, IDOK},
    {MB_OKCANCEL, QMessageBox::Ok | QMessageBox::Cancel, IDCANCEL},
    {MB_YESNOCANCEL, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, IDCANCEL},
    {MB_YESNO, QMessageBox::Yes | QMessageBox::No, IDNO},
};

int AnswerOf(QMessageBox::StandardButton Button, int Escape) {
  switch (Button) {
    case QMessageBox::Ok:
      return IDOK;
    case QMessageBox::Cancel:
      return IDCANCEL;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    default:
      return Escape;
  }
}

// A parentless, non-modal box waited for in a local event loop: other windows stay usable.
int ShowMessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) {
  const ButtonSet* set = &kButtonSets[0];
  for (const ButtonSet& s : kButtonSets)
    if (s.Code == (Flags & 0x0Fu)) set = &s;
  // Qt titles a window that has no title with the program's name; a blank keeps it empty.
  QMessageBox box(IconFor(Flags), Caption.empty() ? QStringLiteral(" ") : ToQt(Caption), ToQt(Text),
                  set->Buttons);
  box.setWindowModality(Qt::NonModal);
  QEventLoop loop;
  QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
  box.show();
  box.raise();
  box.activateWindow();
  loop.exec();  // also ends when the application quits
  box.hide();
  QAbstractButton* clicked = box.clickedButton();
  return AnswerOf(clicked != nullptr ? box.standardButton(clicked) : QMessageBox::NoButton,
                  set->Escape);
}

std::optional<std::string> ShowInputBox(const std::string& Caption, const std::string& Prompt,
                                        const std::string& Default) {
  QInputDialog dialog;
  dialog.setWindowTitle(ToQt(Caption));
  dialog.setLabelText(ToQt(Prompt));
  dialog.setTextValue(ToQt(Default));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return FromQt(dialog.textValue());
}

// ---- Signals ----------------------------------------------------------------------------------

int gSignalPipe[2] = {-1, -1};

void OnTerminatingSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// ---- The main-thread wake-up ------------------------------------------------------------------

std::atomic<bool> gWakePending{false};

// Any thread: one posted turn of the event loop runs everything queued until then. The turn
// refers to nothing of the front end, so it is harmless should the front end be gone by then.
void WakeMainThreadFromLoop() {
  if (gWakePending.exchange(true)) return;
  QMetaObject::invokeMethod(
      qApp,
      [] {
        gWakePending = false;
        CheckSynchronize();
        // Ends the loop, and the local loop of any box that is open, as a quit message does.
        if (Application->Terminated()) QCoreApplication::exit(0);
      },
      Qt::QueuedConnection);
}

}  // namespace

// ---- The event loop ---------------------------------------------------------------------------

struct TWidgetsFrontEnd::TImpl : public TMessageLoop {
  std::unique_ptr<QApplication> OwnApplication;
  QTranslator Translator;
  bool Running = false;
  std::unique_ptr<QSocketNotifier> SignalNotifier;
  struct sigaction PreviousActions[std::size(kEndingSignals)] = {};

  TMessageLoop* PreviousLoop = nullptr;
  TMessageBoxPresenter PreviousBox;
  TInputBoxPresenter PreviousInput;
  std::function<void()> PreviousWake;

  void Run(TComponent* MainForm) override {
    if (auto* form = dynamic_cast<TForm*>(MainForm)) form->Show();
    Running = true;
    if (!Application->Terminated()) QApplication::exec();
    Running = false;
  }

  void ProcessMessages() override {
    QCoreApplication::processEvents();
    CheckSynchronize();
  }

  void InstallSignalHandlers() {
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    SignalNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(SignalNotifier.get(), &QSocketNotifier::activated, [] {
      char bytes[16];
      while (read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
      }
      Application->Terminate();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &action, &PreviousActions[i]);
  }

  void RemoveSignalHandlers() {
    if (!SignalNotifier) return;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &PreviousActions[i], nullptr);
    SignalNotifier.reset();
    close(gSignalPipe[0]);
    close(gSignalPipe[1]);
    gSignalPipe[0] = gSignalPipe[1] = -1;
  }
};

TWidgetsFrontEnd::TWidgetsFrontEnd(int& argc, char** argv, const TProgramIdentity& Program)
    : FImpl(std::make_unique<TImpl>()) {
  if (!Program.Name.empty()) QCoreApplication::setApplicationName(ToQt(Program.Name));
  if (!Program.Version.empty()) QCoreApplication::setApplicationVersion(ToQt(Program.Version));
  if (!Program.DesktopFileName.empty())
    QGuiApplication::setDesktopFileName(ToQt(Program.DesktopFileName));
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    FImpl->OwnApplication = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);  // the main form ends the program
  QApplication::setStyle(new TDesignStyle(QApplication::style()->name()));
  // Standard dialog buttons in the program's language, where Qt's translations are installed.
  const QLocale language =
      Program.Language.empty() ? QLocale::system() : QLocale(ToQt(Program.Language));
  if (FImpl->Translator.load(language, "qtbase", "_",
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(&FImpl->Translator);
  RegisterControls();
  FImpl->PreviousLoop = Application->SetMessageLoop(FImpl.get());
  FImpl->PreviousBox = Application->SetMessageBoxPresenter(ShowMessageBox);
  FImpl->PreviousInput = Application->SetInputBoxPresenter(ShowInputBox);
  FImpl->PreviousWake = Application->SetWakeMainThreadHandler(WakeMainThreadFromLoop);
  FImpl->InstallSignalHandlers();
  WakeMainThreadFromLoop();  // calls queued before the front end existed
}

TWidgetsFrontEnd::~TWidgetsFrontEnd() {
  Application->DestroyComponents();
  CheckSynchronize();
  FImpl->RemoveSignalHandlers();
  Application->SetWakeMainThreadHandler(FImpl->PreviousWake);
  Application->SetInputBoxPresenter(FImpl->PreviousInput);
  Application->SetMessageBoxPresenter(FImpl->PreviousBox);
  Application->SetMessageLoop(FImpl->PreviousLoop);
  QCoreApplication::removeTranslator(&FImpl->Translator);
}

void TWidgetsFrontEnd::RegisterControls() {
  RegisterClass<TForm>();
  RegisterClass<TStatusBar>();
  RegisterClass<TPageControl>();
  RegisterClass<TTabSheet>();
  RegisterClass<TGroupBox>();
  RegisterClass<TLabel>();
  RegisterClass<TButton>();
  RegisterClass<TEdit>();
  RegisterClass<TCheckBox>();
  RegisterClass<TMemo>();
  RegisterClass<TBevel>();
  RegisterClass<TPaintBox>();
  RegisterClass<TTimer>();
  RegisterClass<TImageList>();
  RegisterClass<TTrayIcon>();
}
