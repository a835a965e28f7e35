// SPDX-License-Identifier: MIT
// The temperature log: reading a text as a temperature, the CSV lines, and the files per day.
#include "History.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kFilePrefix = "zelvane-";
constexpr std::string_view kFileSuffix = ".csv";

std::string_view Trimmed(std::string_view Text) {
  const auto first = Text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = Text.find_last_not_of(" \t\r\n");
  return Text.substr(first, last - first + 1);
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// Quoted when it holds a separator, a quote or a line end, quotes doubled (RFC 4180).
std::string CsvField(const std::string& Text) {
  if (Text.find_first_of(",\"\r\n") == std::string::npos) return Text;
  std::string quoted = "\"";
  for (char c : Text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::vector<std::string> CsvFields(std::string_view Line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < Line.size(); ++i) {
    const char c = Line[i];
    if (quoted && c == '"' && i + 1 < Line.size() && Line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::string NumberText(double Value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, Value);
  return std::string(text, result.ptr);
}

// Digits of Text at Pos, Count of them, as a number; -1 when they are not all digits.
int DigitsAt(std::string_view Text, std::size_t Pos, std::size_t Count) {
  if (Pos + Count > Text.size()) return -1;
  int value = 0;
  for (std::size_t i = Pos; i < Pos + Count; ++i) {
    if (!IsDigit(Text[i])) return -1;
    value = value * 10 + (Text[i] - '0');
  }
  return value;
}

// "2026-12-10T15:40:01+03:00" (or ...Z) as seconds since 1970 UTC.
std::optional<std::int64_t> ParseIsoTime(std::string_view Text) {
  if (Text.size() < 20 || Text[4] != '-' || Text[7] != '-' || Text[10] != 'T' || Text[13] != ':' ||
      Text[16] != ':')
    return std::nullopt;
  const int year = DigitsAt(Text, 0, 4), month = DigitsAt(Text, 5, 2), day = DigitsAt(Text, 8, 2);
  const int hour = DigitsAt(Text, 11, 2), minute = DigitsAt(Text, 14, 2);
  const int second = DigitsAt(Text, 17, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 60)
    return std::nullopt;
  int offset = 0;
  const std::string_view zone = Text.substr(19);
  if (zone != "Z") {
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':')
      return std::nullopt;
    const int h = DigitsAt(zone, 1, 2), m = DigitsAt(zone, 4, 2);
    if (h < 0 || m < 0) return std::nullopt;
    offset = (zone[0] == '-' ? -1 : 1) * (h * 60 + m);
  }
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset * 60;
}

// The day of a log file's name (zelvane-2026-12-10.csv), or none for another file.
std::optional<std::int64_t> DayOfFileName(const std::string& Name) {
  if (Name.size() != kFilePrefix.size() + 10 + kFileSuffix.size() ||
      Name.compare(0, kFilePrefix.size(), kFilePrefix) != 0 ||
      Name.compare(Name.size() - kFileSuffix.size(), kFileSuffix.size(), kFileSuffix) != 0)
    return std::nullopt;
  const std::string_view date = std::string_view(Name).substr(kFilePrefix.size(), 10);
  const int year = DigitsAt(date, 0, 4), month = DigitsAt(date, 5, 2), day = DigitsAt(date, 8, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || date[4] != '-' ||
      date[7] != '-')
    return std::nullopt;
  return DaysFromCivil(year, month, day);
}

}  // namespace

std::optional<double> TemperatureOf(std::string_view Text) {
  std::string_view t = Trimmed(Text);
  const bool negative = !t.empty() && t[0] == '-';
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.remove_prefix(1);
  // Digits, and a point followed by digits: nothing else is a reading.
  std::size_t i = 0;
  while (i < t.size() && IsDigit(t[i])) ++i;
  if (i == 0) return std::nullopt;
  if (i < t.size()) {
    if (t[i] != '.' || i + 1 == t.size()) return std::nullopt;
    for (std::size_t j = i + 1; j < t.size(); ++j)
      if (!IsDigit(t[j])) return std::nullopt;
  }
  double value = 0;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), value);
  if (result.ec != std::errc{}) return std::nullopt;
  return negative ? -value : value;
}

TSample SampleOf(const TReading& Reading) {
  TSample sample;
  sample.Time = Reading.Time;
  for (int i = 0; i < ThermometerCount; ++i)
    sample.Values[i] =
        TemperatureOf(Reading.Texts[i]).value_or(std::numeric_limits<double>::quiet_NaN());
  return sample;
}

std::string LogHeader() {
  return "Время,Термометр №1,Термометр №2,Термометр №3,Термометр №4,"
         "№1 °C,№2 °C,№3 °C,№4 °C";
}

std::string LogLine(const TReading& Reading, const appplatform::TCalendarTime& Local) {
  char time[40];
  const int offset = std::abs(Local.OffsetMinutes);
  std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", Local.Year,
                Local.Month, Local.Day, Local.Hour, Local.Minute, Local.Second,
                Local.OffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
  std::string line = time;
  for (const std::string& text : Reading.Texts) line += ',' + CsvField(text);
  for (const std::string& text : Reading.Texts) {
    line += ',';
    if (const auto value = TemperatureOf(text)) line += NumberText(*value);
  }
  return line;
}

std::optional<TSample> ParseLogLine(std::string_view Line) {
  if (Line.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    Line.remove_prefix(kByteOrderMark.size());
  if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
  const std::vector<std::string> fields = CsvFields(Line);
  if (fields.size() != 1 + 2 * ThermometerCount) return std::nullopt;
  const auto time = ParseIsoTime(fields[0]);
  if (!time) return std::nullopt;
  TSample sample;
  sample.Time = *time;
  for (int i = 0; i < ThermometerCount; ++i)
    sample.Values[i] = TemperatureOf(fields[1 + ThermometerCount + i])
                           .value_or(std::numeric_limits<double>::quiet_NaN());
  return sample;
}

std::string LogFileName(int Year, int Month, int Day) {
  char name[40];
  std::snprintf(name, sizeof name, "zelvane-%04d-%02d-%02d.csv", Year, Month, Day);
  return name;
}

std::int64_t DaysFromCivil(int Year, int Month, int Day) {
  const int y = Year - (Month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return std::int64_t{era} * 146097 + doe - 719468;
}

// ---- TTemperatureLog --------------------------------------------------------------------------

TTemperatureLog::TTemperatureLog(fs::path Folder, int KeepDays)
    : FFolder(std::move(Folder)), FKeepDays(KeepDays) {}

bool TTemperatureLog::Append(const TReading& Reading, const appplatform::TCalendarTime& Local) {
  if (!OpenDay(Local)) return false;
  return FFile.Append(LogLine(Reading, Local) + "\n");
}

// Keeps the day's file open, so that a second copy of the program cannot write it meanwhile.
bool TTemperatureLog::OpenDay(const appplatform::TCalendarTime& Local) {
  const std::int64_t day = DaysFromCivil(Local.Year, Local.Month, Local.Day);
  if (FFile.IsOpen() && day == FFileDay) return true;
  const bool newDay = day != FFileDay;
  FFile.Close();
  std::error_code error;
  fs::create_directories(FFolder, error);
  const fs::path path = FFolder / LogFileName(Local.Year, Local.Month, Local.Day);
  if (!FFile.Open(path)) return false;
  FFileDay = day;
  if (newDay) RemoveOld(Local);
  if (fs::file_size(path, error) == 0 && !error &&
      !FFile.Append(std::string(kByteOrderMark) + LogHeader() + "\n")) {
    FFile.Close();
    return false;
  }
  return true;
}

std::vector<TSample> TTemperatureLog::ReadSince(std::int64_t Since) const {
  std::vector<fs::path> files;
  std::error_code error;
  // A day's file starts at most 14 hours (the widest zone offset) before that date in UTC.
  const std::int64_t firstDay = Since / 86400 - 1;
  for (const auto& entry : fs::directory_iterator(FFolder, error)) {
    const auto day = DayOfFileName(entry.path().filename().string());
    if (day && *day >= firstDay) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<TSample> samples;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line))
      if (const auto sample = ParseLogLine(line); sample && sample->Time >= Since)
        samples.push_back(*sample);
  }
  std::stable_sort(samples.begin(), samples.end(),
                   [](const TSample& A, const TSample& B) { return A.Time < B.Time; });
  return samples;
}

void TTemperatureLog::RemoveOld(const appplatform::TCalendarTime& Today) const {
  const std::int64_t oldest = DaysFromCivil(Today.Year, Today.Month, Today.Day) - FKeepDays;
  std::error_code error;
  std::vector<fs::path> old;
  for (const auto& entry : fs::directory_iterator(FFolder, error))
    if (const auto day = DayOfFileName(entry.path().filename().string()); day && *day < oldest)
      old.push_back(entry.path());
  for (const fs::path& file : old) fs::remove(file, error);
}
