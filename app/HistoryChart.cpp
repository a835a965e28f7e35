// SPDX-License-Identifier: MIT
// The history chart: the reduction of each line to its pixel columns, the axes and the legend.
#include "HistoryChart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr TColor kGridColor = 0xD8D8D8;
constexpr TColor kFrameColor = 0x808080;

std::vector<TSample>::const_iterator FirstAt(const std::vector<TSample>& Samples,
                                             std::int64_t Time) {
  return std::lower_bound(Samples.begin(), Samples.end(), Time,
                          [](const TSample& Sample, std::int64_t At) { return Sample.Time < At; });
}

// The plot's area and value range.
struct TPlot {
  int Left, Top, Right, Bottom;
  double Low, High;
  int Y(double Value) const {
    const double y = Bottom - (Value - Low) * (Bottom - Top) / (High - Low);
    return static_cast<int>(std::lround(y));
  }
};

// A step of 1, 2 or 5 times a power of ten that gives at most MaxTicks ticks over Range.
double TickStep(double Range, int MaxTicks) {
  const double rough = Range / std::max(1, MaxTicks);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double f : {1.0, 2.0, 5.0})
    if (f * power >= rough) return f * power;
  return 10 * power;
}

std::string TickText(double Value, double Step) {
  char text[32];
  std::snprintf(text, sizeof text, Step < 1 ? "%.1f" : "%.0f", Value);
  return std::string(text) == "-0" ? "0" : text;
}

// Hours and minutes, or day and month, of a local time in seconds since 1970.
std::string TimeText(std::int64_t Local, bool Date) {
  const std::int64_t days = Local >= 0 ? Local / 86400 : (Local - 86399) / 86400;
  const std::int64_t seconds = Local - days * 86400;
  char text[16];
  if (!Date) {
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds % 3600 / 60));
    return text;
  }
  // The civil date of a day number (days since 1970-01-01).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const auto day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const auto month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  std::snprintf(text, sizeof text, "%02d.%02d", day, month);
  return text;
}

void DrawTimeAxis(TCanvas& Canvas, const TPlot& Plot, const TChartView& View) {
  const bool week = View.Span > 2 * 86400;
  const std::int64_t step = week ? 86400 : View.Span > 2 * 3600 ? 4 * 3600 : 600;
  const std::int64_t offset = std::int64_t{View.OffsetMinutes} * 60;
  const std::int64_t from = View.Now - View.Span;
  std::int64_t local = (from + offset) / step * step;
  if (local < from + offset) local += step;
  const int width = Plot.Right - Plot.Left;
  // Every tick gets a line; labels go to every `every`-th tick, at round times, so that a label
  // fits between two (all labels have the same digits' width; the check below still keeps one
  // clamped at an edge off its neighbour).
  const std::int64_t labelPixels = Canvas.TextWidth(TimeText(local, week)) + 6;
  const std::int64_t tickPixels = std::max<std::int64_t>(1, step * width / View.Span);
  const std::int64_t every = (labelPixels + tickPixels - 1) / tickPixels;
  int lastRight = -1000;
  for (; local <= View.Now + offset; local += step) {
    const int x = Plot.Left + static_cast<int>((local - offset - from) * width / View.Span);
    Canvas.Pen = {kGridColor, 1, psSolid};
    Canvas.MoveTo(x, Plot.Top);
    Canvas.LineTo(x, Plot.Bottom);
    if (local / step % every != 0) continue;
    const std::string label = TimeText(local, week);
    const int w = Canvas.TextWidth(label);
    const int left = std::clamp(x - w / 2, 0, Plot.Right - w);
    if (left < lastRight + 6) continue;
    Canvas.TextOut(left, Plot.Bottom + 3, label);
    lastRight = left + w;
  }
}

void DrawDegreeAxis(TCanvas& Canvas, const TPlot& Plot, double Step) {
  for (double v = std::ceil(Plot.Low / Step) * Step; v <= Plot.High + Step / 1000; v += Step) {
    const int y = Plot.Y(v);
    Canvas.Pen = {kGridColor, 1, psSolid};
    Canvas.MoveTo(Plot.Left, y);
    Canvas.LineTo(Plot.Right, y);
    const std::string label = TickText(v, Step);
    const TSize size = Canvas.TextExtent(label);
    Canvas.TextOut(Plot.Left - size.cx - 4, y - size.cy / 2, label);
  }
}

// One line: a polyline per unbroken run; a run of one column shows as a short stroke.
void DrawLine(TCanvas& Canvas, const TPlot& Plot, const std::vector<TColumnRange>& Ranges) {
  std::vector<TPoint> run;
  const auto flush = [&] {
    if (run.size() == 1) run.push_back({run[0].X + 2, run[0].Y});
    if (run.size() > 1) Canvas.Polyline(run);
    run.clear();
  };
  for (const TColumnRange& r : Ranges) {
    if (!r.Joined) flush();
    const int x = Plot.Left + r.X;
    for (double v : {r.First, r.Min, r.Max, r.Last}) {
      const TPoint p{x, Plot.Y(v)};
      if (run.empty() || run.back().X != p.X || run.back().Y != p.Y) run.push_back(p);
    }
  }
  flush();
}

void DrawLegend(TCanvas& Canvas, int Left, int Top,
                const std::array<std::vector<TColumnRange>, ThermometerCount>& Lines,
                const TChartView& View) {
  const int rowHeight = Canvas.TextHeight("Ж");
  int y = Top;
  for (int i = 0; i < ThermometerCount; ++i) {
    Canvas.Brush.Color = HistoryLineColors[i];
    Canvas.FillRect({Left, y + rowHeight / 2 - 2, Left + 10, y + rowHeight / 2 + 2});
    Canvas.Brush.Style = bsClear;
    Canvas.TextOut(Left + 14, y, View.Names[static_cast<std::size_t>(i)]);
    const TLineSummary s = SummaryOf(Lines[static_cast<std::size_t>(i)]);
    const std::string values =
        s.Any ? DegreesText(s.Last) + ", от " + DegreesText(s.Min) + " до " + DegreesText(s.Max)
              : "нет данных";
    Canvas.TextOut(Left + 14, y + rowHeight, values);
    Canvas.Brush.Style = bsSolid;
    y += 2 * rowHeight + 2;
  }
}

}  // namespace

// The column of a time is worked out only where a column ends: a division per column, not per
// sample.
std::vector<TColumnRange> ReduceToColumns(const std::vector<TSample>& Samples, int Line,
                                          std::int64_t From, std::int64_t To, int Width) {
  std::vector<TColumnRange> ranges;
  if (To <= From || Width <= 0) return ranges;
  const std::int64_t span = To - From;
  int x = -1;
  std::int64_t columnEnd = From;  // the first time of column x + 1
  bool broken = true;
  std::int64_t previous = 0;
  const auto line = static_cast<std::size_t>(Line);
  for (auto s = FirstAt(Samples, From); s != Samples.end() && s->Time < To; ++s) {
    const double v = s->Values[line];
    if (std::isnan(v)) {
      broken = true;
      continue;
    }
    if (s->Time - previous > MaxJoinSeconds) broken = true;
    previous = s->Time;
    if (s->Time >= columnEnd) {
      x = static_cast<int>((s->Time - From) * Width / span);
      columnEnd = From + ((x + 1) * span + Width - 1) / Width;
    } else if (!broken) {
      TColumnRange& r = ranges.back();
      r.Min = std::min(r.Min, v);
      r.Max = std::max(r.Max, v);
      r.Last = v;
      continue;
    }
    ranges.push_back({x, v, v, v, v, !broken});
    broken = false;
  }
  return ranges;
}

TLineSummary SummaryOf(const std::vector<TColumnRange>& Ranges) {
  TLineSummary summary;
  for (const TColumnRange& r : Ranges) {
    summary.Min = summary.Any ? std::min(summary.Min, r.Min) : r.Min;
    summary.Max = summary.Any ? std::max(summary.Max, r.Max) : r.Max;
    summary.Last = r.Last;
    summary.Any = true;
  }
  return summary;
}

std::string DegreesText(double Value) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f", Value);
  return text;
}

void DrawHistoryChart(TCanvas& Canvas, int Width, int Height, const std::vector<TSample>& Samples,
                      const TChartView& View) {
  Canvas.Brush = {clWindow, bsSolid};
  Canvas.Pen = {kFrameColor, 1, psSolid};
  Canvas.Rectangle(0, 0, Width, Height);
  Canvas.Font.Color = clWindowText;
  const int textHeight = Canvas.TextHeight("0");
  // The legend keeps as much room from the frame on its right as from the plot on its left.
  const int legendWidth =
      8 + 14 + Canvas.TextWidth("+88.8, от +88.8 до +88.8") + 8;  // gap, swatch, text, margin

  const std::int64_t from = View.Now - View.Span, to = View.Now + 1;
  TPlot plot{0, textHeight + 4, Width - legendWidth, Height - textHeight - 6, 0, 0};
  std::array<std::vector<TColumnRange>, ThermometerCount> lines;
  bool any = false;
  double low = 0, high = 0;
  // The widest tick label is not known before the range is: columns of the widest plot first.
  const int widestLeft = Canvas.TextWidth("-88.8") + 8;
  for (int i = 0; i < ThermometerCount; ++i) {
    lines[static_cast<std::size_t>(i)] =
        ReduceToColumns(Samples, i, from, to, plot.Right - widestLeft);
    for (const TColumnRange& r : lines[static_cast<std::size_t>(i)]) {
      low = any ? std::min(low, r.Min) : r.Min;
      high = any ? std::max(high, r.Max) : r.Max;
      any = true;
    }
  }
  if (!any) low = 15, high = 25;
  if (high - low < 1) {
    const double middle = (high + low) / 2;
    low = middle - 0.5;
    high = middle + 0.5;
  }
  const double step =
      TickStep(high - low, std::max(2, (plot.Bottom - plot.Top) / (2 * textHeight)));
  plot.Low = std::floor(low / step) * step;
  plot.High = std::ceil(high / step) * step;
  plot.Left = widestLeft;

  Canvas.Brush.Style = bsClear;
  Canvas.TextOut(4, 2, "°C");
  DrawDegreeAxis(Canvas, plot, step);
  DrawTimeAxis(Canvas, plot, View);
  Canvas.Pen = {kFrameColor, 1, psSolid};
  Canvas.Rectangle(plot.Left, plot.Top, plot.Right + 1, plot.Bottom + 1);
  if (!any) {
    const std::string text = "Нет показаний за этот период";
    Canvas.TextOut((plot.Left + plot.Right - Canvas.TextWidth(text)) / 2,
                   (plot.Top + plot.Bottom - textHeight) / 2, text);
  }
  for (int i = 0; i < ThermometerCount; ++i) {
    Canvas.Pen = {HistoryLineColors[i], 1, psSolid};
    DrawLine(Canvas, plot, lines[static_cast<std::size_t>(i)]);
  }
  Canvas.Brush.Style = bsSolid;
  DrawLegend(Canvas, plot.Right + 8, 3, lines, View);
}
