// SPDX-License-Identifier: MIT
// The history page's chart, drawn on any canvas (widgets/canvas.h): the four thermometers' lines
// over the span shown, a time axis, a degree axis, and a legend with each thermometer's name and
// its last, lowest and highest value in the span.
//
// However many polls the span holds (7 days are 60,480 per line), each line is first reduced to
// the pixel columns it is drawn on: per column the first, lowest, highest and last value, a
// vertical stroke between lowest and highest and joins between neighbouring columns. A reading
// that is not a temperature (a NaN), or polls further apart than MaxJoinSeconds (the program was
// not running), break the line: the gap stays a gap however wide the columns are.
//
// Threads: any; the canvas's own rule applies to drawing (main thread, inside a paint).
#pragma once

#include <widgets/canvas.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "History.h"

// Polls further apart than this are not joined by a line.
constexpr std::int64_t MaxJoinSeconds = 35;

// The thermometers' colours (0x00BBGGRR): red, blue, green, orange. The lines are one pixel wide:
// a wider pen would be stroked as a path, many times slower to draw.
constexpr TColor HistoryLineColors[ThermometerCount] = {0x0000C0, 0xC00000, 0x008000, 0x0080FF};

// One pixel column of a line, or part of one after a break inside it.
struct TColumnRange {
  int X = 0;
  double First = 0, Min = 0, Max = 0, Last = 0;
  bool Joined = false;  // a line runs to it from the previous range's Last
};

// Line's samples with From <= Time < To (Samples in time order) on Width columns.
std::vector<TColumnRange> ReduceToColumns(const std::vector<TSample>& Samples, int Line,
                                          std::int64_t From, std::int64_t To, int Width);

struct TLineSummary {
  bool Any = false;  // the span holds a temperature of this line
  double Last = 0, Min = 0, Max = 0;
};
// The last, lowest and highest value of a reduced line.
TLineSummary SummaryOf(const std::vector<TColumnRange>& Ranges);

// "+23.5" for the legend and the log's readers.
std::string DegreesText(double Value);

struct TChartView {
  std::int64_t Now = 0;   // the right edge: seconds since 1970 UTC
  std::int64_t Span = 0;  // seconds shown
  int OffsetMinutes = 0;  // the local zone's offset, for the time axis's labels
  std::array<std::string, ThermometerCount> Names;
};

// Draws the whole chart into the Width x Height area at the canvas's top left.
void DrawHistoryChart(TCanvas& Canvas, int Width, int Height, const std::vector<TSample>& Samples,
                      const TChartView& View);
