// The program's exchanges against the board simulator on a pseudo-terminal, in one run:
//   click     time from a load button's click to its new caption (median, p90, max of 40)
//   poll      time of a whole thermometer poll, four exchanges (median, p90, max of 20)
//   idle      CPU of the whole program while it polls every ten seconds (BENCH_SECONDS, 60)
//   silent    CPU of the program while an exchange waits for a board that never answers
// The component's status monitor pauses 50 ms around each event, so every exchange holds that
// pause; what lies above it is the program's and the library's own.
#include <sys/resource.h>
#include <widgets/frontend.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Unit1.h"
#include "board_process.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Report(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  std::printf(
      "%-34s median %7.2f ms  p90 %7.2f ms  max %7.2f ms  (above the 50 ms pause: %.2f ms)\n", what,
      median, ms[ms.size() * 9 / 10], ms.back(), median - 50.0);
}

// The board on a pty as COM5, and the main window on it.
class Rig {
 public:
  Rig(const fs::path& dir, const std::vector<std::string>& options) {
    std::vector<std::string> args = {"--pty", "--log", (dir / "board.log").string()};
    args.insert(args.end(), options.begin(), options.end());
    board_ = std::make_unique<board_test::BoardProcess>(ZELVANE_BOARD_BINARY, args,
                                                        (dir / "board.err").string());
    setenv("COMM_PORT_5", board_->firstLine().c_str(), 1);
    Settings->OpenKey("\\Software\\Brennwick\\Zelvane", true);
    Settings->WriteInteger("PortNum", 5);
    Application->CreateForm(MainForm);
  }
  ~Rig() { Application->DestroyComponents(); }

 private:
  std::unique_ptr<board_test::BoardProcess> board_;
};

// Runs the event loop for ms milliseconds, as the program's own loop would.
void ProcessEventsFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int idleSeconds =
      std::getenv("BENCH_SECONDS") ? std::atoi(std::getenv("BENCH_SECONDS")) : 60;
  const fs::path dir = fs::temp_directory_path() / ("bench-exchange-" + std::to_string(getpid()));
  fs::create_directories(dir);
  Settings = new TRegistry((dir / "user.reg").string());
  TWidgetsFrontEnd frontEnd(argc, argv);
  {
    Rig rig(dir, {"--drift", "0"});
    std::vector<double> clicks, polls;
    for (int i = 0; i < 40; ++i) {
      const auto start = Clock::now();
      MainForm->Load1BtnClick(MainForm);
      clicks.push_back(Ms(Clock::now() - start));
    }
    for (int i = 0; i < 20; ++i) {
      const auto start = Clock::now();
      MainForm->TempTimerTimer(MainForm);
      polls.push_back(Ms(Clock::now() - start));
    }
    Report("click to caption (load 1)", clicks);
    std::vector<double> perExchange;
    for (double p : polls) perExchange.push_back(p / 4);
    Report("thermometer poll, per exchange", perExchange);
    std::printf("%-34s median %7.2f ms for four exchanges\n", "thermometer poll, whole",
                (std::sort(polls.begin(), polls.end()), polls[polls.size() / 2]));

    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    ProcessEventsFor(idleSeconds * 1000);  // TempTimer polls every ten seconds meanwhile
    const double idleShare =
        (CpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("%-34s %.3f %% of a core over %d s (goal < 1 %%)\n", "CPU while polling",
                idleShare * 100, idleSeconds);
  }
  {
    Rig rig(dir, {"--silent", "all"});
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    MainForm->Load1BtnClick(MainForm);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("%-34s %.2f %% of a core over the %.2f s wait (goal < 5 %%): \"%s\"\n",
                "CPU while a silent board is awaited", (CpuSeconds() - cpu0) / wall * 100, wall,
                MainForm->StatBar->GetSimpleText().c_str());
  }
  fs::remove_all(dir);
  return 0;
}
