// SPDX-License-Identifier: MIT
// The temperature history in the window: each poll of the board simulator adds a line to the log
// and a sample to the page, a restart reads them back, a log that cannot be written is said once
// and the poll goes on, and the chart reduces a week of polls to the pixels it draws, gaps kept.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "HistoryChart.h"
#include "gui.h"
#include "main_window_fixture.h"

namespace fs = std::filesystem;

namespace {

// The lines of every log file in Folder, in file order.
std::vector<std::string> LogLines(const fs::path& Folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(Folder)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> lines;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

// Records what a chart draws.
class TRecordingCanvas : public TCanvas {
 public:
  void Polyline(const TPoint* Points, int Count) override {
    if (std::find(std::begin(HistoryLineColors), std::end(HistoryLineColors), Pen.Color) !=
        std::end(HistoryLineColors))
      lines.emplace_back(Points, Points + Count);
  }
  void Rectangle(int, int, int, int) override {}
  void FillRect(const TRect&) override {}
  void TextOut(int, int, const std::string& Text) override { texts.push_back(Text); }
  TSize TextExtent(const std::string& Text) override {
    return {static_cast<int>(Text.size()) * 6, 13};
  }
  std::vector<std::vector<TPoint>> lines;  // the thermometers' lines
  std::vector<std::string> texts;
};

}  // namespace

TEST_F(MainWindowTest, EachPollIsLoggedAndARestartShowsItAgain) {
  StartBoard({"--drift", "5"});
  Start();
  std::vector<std::array<std::string, 4>> shown;
  for (int poll = 0; poll < 3; ++poll) {
    Run(&TMainForm::TempTimerTimer);
    shown.push_back({form->Temp1->GetText(), form->Temp2->GetText(), form->Temp3->GetText(),
                     form->Temp4->GetText()});
  }
  const std::vector<std::string> lines = LogLines(fs::path(dir) / "data");
  ASSERT_EQ(lines.size(), 4u) << "a header and a line per poll";
  EXPECT_EQ(lines[0], "\xEF\xBB\xBF" + LogHeader());
  for (std::size_t poll = 0; poll < 3; ++poll) {
    const std::string& line = lines[poll + 1];
    std::string texts;
    for (const std::string& t : shown[poll]) texts += "," + t;
    EXPECT_NE(line.find(texts + ","), std::string::npos) << line;
    const auto sample = ParseLogLine(line);
    ASSERT_TRUE(sample.has_value()) << line;
    EXPECT_EQ(sample->Values[0], *TemperatureOf(shown[poll][0]));
  }
  ASSERT_EQ(form->History().size(), 3u);
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Опрос термометров завершен.");

  Application->DestroyComponents();  // the program ends, and starts again
  Start();
  EXPECT_TRUE(form->History().empty()) << "the log is read once the window has shown";
  Application->ProcessMessages();
  ASSERT_EQ(form->History().size(), 3u);
  EXPECT_EQ(form->History()[2].Values[3], *TemperatureOf(shown[2][3]));
}

TEST_F(MainWindowTest, AnUnwritableLogIsSaidOnceAndThePollGoesOn) {
  std::ofstream(fs::path(dir) / "data") << "a file where the log's folder should be\n";
  StartBoard({"--temps", "23.5,-4,20,21.5", "--drift", "0"});
  Start();
  Run(&TMainForm::TempTimerTimer);
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Не удается записать журнал температур.");
  Run(&TMainForm::TempTimerTimer);
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Опрос термометров завершен.") << "said once";
  EXPECT_EQ(BoardCommands(),
            (std::vector<std::string>{"BA", "BB", "BC", "BD", "BA", "BB", "BC", "BD"}));
  EXPECT_EQ(form->Temp1->GetText(), "+23.5");
  ASSERT_EQ(form->History().size(), 2u) << "the page still shows the polls";
}

// A week of polls every 10 s on 200 columns: each column's range is that of its polls; a reading
// that is not a temperature, and a pause of the program, break the line even inside one column.
TEST(HistoryChart, ReducesToPixelColumnsKeepingGaps) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::int64_t from = 1'800'000'000, week = 7 * 24 * 3600;
  std::vector<TSample> samples;
  for (std::int64_t t = from; t < from + week; t += 10) {
    const double v = 20 + 5 * std::sin(static_cast<double>(t - from) / 5000);
    samples.push_back({t, {v, (t - from) % 7200 == 1500 ? nan : v, v, v}});
  }
  const std::vector<TColumnRange> line0 = ReduceToColumns(samples, 0, from, from + week, 200);
  ASSERT_EQ(line0.size(), 200u);
  for (std::size_t x = 0; x < line0.size(); ++x) {
    ASSERT_EQ(line0[x].X, static_cast<int>(x));
    EXPECT_EQ(line0[x].Joined, x > 0);
  }
  // Column 100 by hand.
  double low = 1e9, high = -1e9;
  for (const TSample& s : samples)
    if ((s.Time - from) * 200 / week == 100)
      low = std::min(low, s.Values[0]), high = std::max(high, s.Values[0]);
  EXPECT_EQ(line0[100].Min, low);
  EXPECT_EQ(line0[100].Max, high);

  // Line 1 misses a reading every two hours: 84 breaks, each inside a column.
  const std::vector<TColumnRange> line1 = ReduceToColumns(samples, 1, from, from + week, 200);
  EXPECT_EQ(line1.size(), 200u + 84u);
  int breaks = 0;
  for (std::size_t i = 1; i < line1.size(); ++i)
    if (!line1[i].Joined) {
      ++breaks;
      EXPECT_EQ(line1[i].X, line1[i - 1].X) << "the gap is kept inside its column";
    }
  EXPECT_EQ(breaks, 84);

  // The program paused for a minute: the polls either side are not joined.
  std::vector<TSample> paused = {{from, {1, 1, 1, 1}},
                                 {from + 10, {2, 2, 2, 2}},
                                 {from + 70, {3, 3, 3, 3}},
                                 {from + 80, {4, 4, 4, 4}}};
  const std::vector<TColumnRange> split = ReduceToColumns(paused, 2, from, from + 100, 100);
  ASSERT_EQ(split.size(), 4u);
  EXPECT_TRUE(split[1].Joined);
  EXPECT_FALSE(split[2].Joined);

  // The chart draws each line in pieces of at most four points a column, and its legend.
  TRecordingCanvas canvas;
  TChartView view{from + week, week, 180, {"Т1", "Т2", "Т3", "Т4"}};
  DrawHistoryChart(canvas, 400, 130, samples, view);
  std::size_t points = 0;
  for (const auto& piece : canvas.lines) points += piece.size();
  EXPECT_LE(points, 4u * 4u * 400u);
  EXPECT_EQ(canvas.lines.size(), 3u + 85u) << "one piece per line, 85 for the broken one";
  double lowest = 1e9, highest = -1e9;
  for (const TSample& s : samples)
    lowest = std::min(lowest, s.Values[0]), highest = std::max(highest, s.Values[0]);
  const std::string legend = DegreesText(samples.back().Values[0]) + ", от " + DegreesText(lowest) +
                             " до " + DegreesText(highest);
  EXPECT_NE(std::find(canvas.texts.begin(), canvas.texts.end(), legend), canvas.texts.end());
  EXPECT_NE(std::find(canvas.texts.begin(), canvas.texts.end(), "Т4"), canvas.texts.end());

  // An hour from 8:05 whose 10-minute ticks are too close for a label each: the labels go to
  // every second tick, at round times, not to whichever tick comes first.
  TRecordingCanvas hour;
  DrawHistoryChart(hour, 400, 130, samples, {from + 3900, 3600, 0, view.Names});
  std::vector<std::string> labels;
  for (const std::string& t : hour.texts)
    if (t.size() == 5 && t[2] == ':') labels.push_back(t);
  EXPECT_EQ(labels, (std::vector<std::string>{"08:20", "08:40", "09:00"}));
}
