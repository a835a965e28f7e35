// SPDX-License-Identifier: MIT
// The history page's chart with 7 days of polls every 10 s (60,480 per line, four lines), drawn
// by a paint box on Qt's offscreen platform: the time of a whole frame (the paint box rendered
// into an image: its OnPaint reduces the lines to the pixel columns and draws axes, lines and
// legend), at the page's designed size and at a large one, and of the reduction alone; and the
// time to read a week of log files back, as the program does at start. Goal:
// under 16 ms a frame. Readings wander as the simulator's --drift does; one in 50 is not a
// temperature, so the lines hold gaps. BENCH_HISTORY_IMAGE=prefix also saves a frame of each size.
#include <unistd.h>
#include <widgets/frontend.h>
#include <widgets/paintbox.h>

#include <QImage>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "HistoryChart.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::vector<TSample> AWeekOfPolls(std::int64_t Now) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> step(-2, 2), missing(0, 49);
  std::array<double, ThermometerCount> value = {23.5, -4.0, 20.0, 21.5};
  std::vector<TSample> samples;
  for (std::int64_t t = Now - 7 * 24 * 3600 + 10; t <= Now; t += 10) {
    TSample s;
    s.Time = t;
    for (std::size_t i = 0; i < value.size(); ++i) {
      value[i] += step(random) / 10.0;
      s.Values[i] = missing(random) == 0 ? std::numeric_limits<double>::quiet_NaN() : value[i];
    }
    samples.push_back(s);
  }
  return samples;
}

struct TTimes {
  double Median, P90, Max;
};

TTimes Summary(std::vector<double> Ms) {
  std::sort(Ms.begin(), Ms.end());
  return {Ms[Ms.size() / 2], Ms[Ms.size() * 9 / 10], Ms.back()};
}

void Frames(TPaintBox& Box, int Width, int Height, const std::vector<TSample>& Samples,
            const TChartView& View) {
  Box.SetBounds(0, 0, Width, Height);
  std::vector<double> times, drawing;
  Box.OnPaint = [&](TObject*) {
    const auto start = Clock::now();
    DrawHistoryChart(Box.GetCanvas(), Box.GetWidth(), Box.GetHeight(), Samples, View);
    drawing.push_back(Ms(Clock::now() - start));
  };
  for (int frame = 0; frame < 60; ++frame) {
    const auto start = Clock::now();
    const QImage image = Box.Widget()->grab().toImage();
    times.push_back(Ms(Clock::now() - start));
    if (image.isNull()) std::abort();
    // For looking at the week's chart: BENCH_HISTORY_IMAGE=prefix saves prefix-WxH.png.
    if (const char* prefix = std::getenv("BENCH_HISTORY_IMAGE"); prefix != nullptr && frame == 0)
      image.save(QString::fromStdString(std::string(prefix) + "-" + std::to_string(Width) + "x" +
                                        std::to_string(Height) + ".png"));
  }
  const TTimes t = Summary(times), d = Summary(drawing);
  std::printf(
      "frame %4dx%-4d  median %6.2f ms  p90 %6.2f ms  max %6.2f ms  (goal < 16 ms)\n"
      "  of which OnPaint  median %6.2f ms  p90 %6.2f ms  max %6.2f ms\n",
      Width, Height, t.Median, t.P90, t.Max, d.Median, d.P90, d.Max);
  Box.OnPaint = nullptr;
}

// The log files of the week, written as the program writes them, read back as at start.
void ReadingAWeekOfLog(const std::vector<TSample>& Samples) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("bench-history-" + std::to_string(getpid()));
  TTemperatureLog log(folder);
  for (const TSample& s : Samples) {
    TReading reading;
    reading.Time = s.Time;
    for (std::size_t i = 0; i < reading.Texts.size(); ++i)
      reading.Texts[i] = std::isnan(s.Values[i]) ? "Нет данных" : DegreesText(s.Values[i]);
    log.Append(reading, appplatform::LocalCalendarTime(static_cast<std::time_t>(s.Time)));
  }
  const auto start = Clock::now();
  const std::size_t read = TTemperatureLog(folder).ReadSince(Samples.front().Time).size();
  std::printf("reading a week of log files at start: %.0f ms (%zu polls)\n",
              Ms(Clock::now() - start), read);
  std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TWidgetsFrontEnd frontEnd(argc, argv);
  const std::int64_t now = 1'800'000'000;
  const std::vector<TSample> samples = AWeekOfPolls(now);
  std::printf("%zu polls per line, %d lines\n", samples.size(), ThermometerCount);
  const TChartView view{
      now, 7 * 24 * 3600, 180, {"Термометр №1", "Термометр №2", "Термометр №3", "Термометр №4"}};

  std::vector<double> times;
  std::size_t ranges = 0;
  for (int round = 0; round < 60; ++round) {
    const auto start = Clock::now();
    ranges = 0;
    for (int line = 0; line < ThermometerCount; ++line)
      ranges += ReduceToColumns(samples, line, now - view.Span, now + 1, 1000).size();
    times.push_back(Ms(Clock::now() - start));
  }
  const TTimes r = Summary(times);
  std::printf("reduction of 4 lines to 1000 columns: median %.2f ms, max %.2f ms (%zu ranges)\n",
              r.Median, r.Max, ranges);

  ReadingAWeekOfLog(samples);

  TPaintBox box(nullptr);
  Frames(box, 393, 125, samples, view);  // the page as designed
  Frames(box, 1600, 900, samples, view);
  return 0;
}
