// SPDX-License-Identifier: MIT
// clang-format off
#include "win_bridge.h"  // first: win32/win32.h before any other Windows header
// clang-format on

#include <framework/thread.h>
#include <widgets/comctrls.h>
#include <widgets/extctrls.h>
#include <widgets/forms.h>
#include <widgets/frontend.h>
#include <widgets/imglist.h>
#include <widgets/paintbox.h>
#include <widgets/stdctrls.h>
#include <widgets/trayicon.h>

#include <atomic>
#include <optional>

// win32.h keeps user32's message box out (the framework's MessageBoxA takes its name); the
// front end shows the system's own box through the W form.
extern "C" __declspec(dllimport) int WINAPI
    MessageBoxW(HWND Owner, LPCWSTR Text, LPCWSTR Caption, UINT Type);

using namespace winwidgets;

namespace {

// ---- The main-thread wake-up ------------------------------------------------------------------

std::atomic<bool> gWakePending{false};
std::atomic<HWND> gWakeWindow{nullptr};
int gBoxesOpen = 0;  // boxes and dialogs waiting in their own loops (main thread)

// Any thread: one posted message runs everything queued until then; the flag is cleared before
// the queued calls run, so a call queued while they run posts again. The message is dispatched
// by every loop of the thread: Run's, ProcessMessages', and those of boxes and dialogs.
void WakeMainThreadFromLoop() {
  if (gWakePending.exchange(true)) return;
  const HWND window = gWakeWindow.load();
  if (window == nullptr || !PostMessageW(window, WM_WAKE_MAIN, 0, 0)) gWakePending = false;
}

// Ends every box and dialog this thread shows (with IDCANCEL), as closing them would.
void EndOpenBoxes() {
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND Window, LPARAM) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(Window, name, 16);
        if (lstrcmpW(name, L"#32770") == 0) EndDialog(Window, IDCANCEL);
        return TRUE;
      },
      0);
}

// Run's loop sees the termination after this message; the boxes open end, as their loops would
// otherwise keep the program waiting.
void OnWake() {
  gWakePending = false;
  CheckSynchronize();
  if (Application->Terminated() && gBoxesOpen > 0) EndOpenBoxes();
}

// Counts an open box for OnWake.
class TBoxScope {
 public:
  TBoxScope() { ++gBoxesOpen; }
  ~TBoxScope() { --gBoxesOpen; }
  TBoxScope(const TBoxScope&) = delete;
  TBoxScope& operator=(const TBoxScope&) = delete;
};

// The console's Ctrl+C, Ctrl+Break and close end the application as closing its main form does.
BOOL WINAPI OnConsoleControl(DWORD Event) {
  if (Event == CTRL_C_EVENT || Event == CTRL_BREAK_EVENT || Event == CTRL_CLOSE_EVENT) {
    Application->Terminate();
    return TRUE;
  }
  return FALSE;
}

// Hands one message to its window; the Tab key moves between a form's controls in their tab
// order (the form's window does that).
void DispatchOne(MSG& Message) {
  if (Message.message == WM_KEYDOWN && Message.wParam == VK_TAB && Message.hwnd != nullptr) {
    const HWND root = GetAncestor(Message.hwnd, GA_ROOT);
    const bool backwards = GetKeyState(VK_SHIFT) < 0;
    if (root != nullptr && TNativeWindow::FromHandle(root) != nullptr &&
        SendMessageW(root, WM_FORM_TAB, backwards, 0) != 0)
      return;
  }
  TranslateMessage(&Message);
  DispatchMessageW(&Message);
}

// ---- Boxes and dialogs ------------------------------------------------------------------------

// The system's box, without an owner: the other windows stay usable and their timers tick, and
// the box's own loop dispatches the wake-up message, so synchronised calls run meanwhile.
int ShowMessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) {
  constexpr UINT kSetForeground = 0x00010000;           // MB_SETFOREGROUND
  const UINT type = (Flags & 0x3FFu) | kSetForeground;  // buttons, icon, default button
  const TBoxScope scope;
  return MessageBoxW(nullptr, Utf16(Text).c_str(), Utf16(Caption).c_str(), type);
}

// ---- InputBox: a dialog made from an in-memory template ---------------------------------------

constexpr WORD kPromptId = 100;
constexpr WORD kEditId = 101;

// Builds a DLGTEMPLATE with its items (the layout is in dialog units).
class TDialogTemplate {
 public:
  TDialogTemplate(const std::wstring& Title, short Width, short Height, WORD Items) {
    Align();
    DLGTEMPLATE dialog = {};
    dialog.style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dialog.cdit = Items;
    dialog.cx = Width;
    dialog.cy = Height;
    Put(&dialog, sizeof dialog);
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    String(Title);
    Word(8);  // point size of the font
    String(L"MS Shell Dlg");
  }

  void Item(WORD Class, WORD Id, DWORD Style, short X, short Y, short W, short H,
            const std::wstring& Text, DWORD ExStyle = 0) {
    Align();
    DLGITEMTEMPLATE item = {};
    item.style = Style | WS_CHILD | WS_VISIBLE;
    item.dwExtendedStyle = ExStyle;
    item.x = X;
    item.y = Y;
    item.cx = W;
    item.cy = H;
    item.id = Id;
    Put(&item, sizeof item);
    Word(0xFFFF);
    Word(Class);  // 0x80 button, 0x81 edit, 0x82 static
    String(Text);
    Word(0);  // no creation data
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(FData.data()); }

 private:
  void Put(const void* Data, std::size_t Size) {
    const auto* bytes = static_cast<const WORD*>(Data);
    FData.insert(FData.end(), bytes, bytes + Size / sizeof(WORD));
  }
  void Word(WORD Value) { FData.push_back(Value); }
  void String(const std::wstring& Text) {
    for (wchar_t c : Text) FData.push_back(static_cast<WORD>(c));
    FData.push_back(0);
  }
  void Align() {
    if (FData.size() % 2 != 0) FData.push_back(0);  // DWORD boundaries
  }
  std::vector<WORD> FData;
};

struct TInputState {
  std::wstring Prompt;
  std::wstring Text;
};

INT_PTR CALLBACK InputProc(HWND Dialog, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<TInputState*>(L);
      SetWindowLongPtrW(Dialog, DWLP_USER, L);
      SetDlgItemTextW(Dialog, kEditId, state->Text.c_str());
      SendDlgItemMessageW(Dialog, kEditId, EM_SETSEL, 0, -1);
      SetForegroundWindow(Dialog);
      return TRUE;  // the focus goes to the edit, the first tab stop
    }
    case WM_COMMAND:
      if (LOWORD(W) == IDOK || LOWORD(W) == IDCANCEL) {
        if (LOWORD(W) == IDOK) {
          auto* state = reinterpret_cast<TInputState*>(GetWindowLongPtrW(Dialog, DWLP_USER));
          HWND edit = GetDlgItem(Dialog, kEditId);
          std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
          text.resize(static_cast<std::size_t>(
              GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
          state->Text = text;
        }
        EndDialog(Dialog, LOWORD(W));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

std::optional<std::string> ShowInputBox(const std::string& Caption, const std::string& Prompt,
                                        const std::string& Default) {
  TInputState state{Utf16(Prompt), Utf16(Default)};
  TDialogTemplate dialog(Utf16(Caption), 220, 66, 4);
  dialog.Item(0x82, kPromptId, SS_LEFT, 7, 7, 206, 10, state.Prompt);
  dialog.Item(0x81, kEditId, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 206, 13, L"");
  dialog.Item(0x80, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 107, 43, 50, 15, L"OK");
  dialog.Item(0x80, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 163, 43, 50, 15, L"Cancel");
  // Modal to the program's windows: the dialog's own loop runs, timers and calls included.
  const TBoxScope scope;
  HWND owner = GetActiveWindow();
  const INT_PTR answer = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner,
                                                 InputProc, reinterpret_cast<LPARAM>(&state));
  if (answer != IDOK) return std::nullopt;
  return Utf8(state.Text);
}

}  // namespace

// ---- The event loop ---------------------------------------------------------------------------

struct TWidgetsFrontEnd::TImpl : public TMessageLoop {
  TMessageLoop* PreviousLoop = nullptr;
  TMessageBoxPresenter PreviousBox;
  TInputBoxPresenter PreviousInput;
  std::function<void()> PreviousWake;

  void Run(TComponent* MainForm) override {
    if (auto* form = dynamic_cast<TForm*>(MainForm)) form->Show();
    MSG message;
    while (!Application->Terminated()) {
      if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
        Application->Terminate();  // a quit message ends the program as Terminate does
        break;
      }
      DispatchOne(message);
    }
  }

  void ProcessMessages() override {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));  // for Run's loop
        break;
      }
      DispatchOne(message);
    }
    CheckSynchronize();
  }
};

TWidgetsFrontEnd::TWidgetsFrontEnd(int& /*argc*/, char** /*argv*/, const TProgramIdentity& Program)
    : FImpl(std::make_unique<TImpl>()) {
  if (!Program.Name.empty() && Application->GetTitle().empty()) Application->SetTitle(Program.Name);
  RegisterWindowClasses();
  SetGuiReady(true);
  SetServiceHandler(WM_WAKE_MAIN, [](WPARAM, LPARAM) { OnWake(); });
  gWakeWindow = ServiceWindow();
  RegisterControls();
  FImpl->PreviousLoop = Application->SetMessageLoop(FImpl.get());
  FImpl->PreviousBox = Application->SetMessageBoxPresenter(ShowMessageBox);
  FImpl->PreviousInput = Application->SetInputBoxPresenter(ShowInputBox);
  FImpl->PreviousWake = Application->SetWakeMainThreadHandler(WakeMainThreadFromLoop);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  WakeMainThreadFromLoop();  // calls queued before the front end existed
}

TWidgetsFrontEnd::~TWidgetsFrontEnd() {
  Application->DestroyComponents();
  CheckSynchronize();
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  Application->SetWakeMainThreadHandler(FImpl->PreviousWake);
  Application->SetInputBoxPresenter(FImpl->PreviousInput);
  Application->SetMessageBoxPresenter(FImpl->PreviousBox);
  Application->SetMessageLoop(FImpl->PreviousLoop);
  gWakeWindow = nullptr;
  SetServiceHandler(WM_WAKE_MAIN, {});
  SetGuiReady(false);
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
