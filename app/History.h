// SPDX-License-Identifier: MIT
// The log of the thermometers' readings: after every poll one line of a CSV file in the user's
// data folder, a file per local day (zelvane-YYYY-MM-DD.csv), files older than KeepDays days
// removed. Each file is UTF-8 (with a byte-order mark, so that spreadsheets read it as such) and
// starts with a header line; each line holds the local time of the poll in ISO 8601 with the
// zone's offset, the four texts as the window showed them, and the four temperatures as numbers
// (a point for the decimal sign) where the text is one, empty where it is not:
//
//   Время,Термометр №1,Термометр №2,Термометр №3,Термометр №4,№1 °C,№2 °C,№3 °C,№4 °C
//   2026-12-10T15:40:01+03:00,+23.5,Нет данных,+19.0,-2.5,23.5,,19,-2.5
//
// A log that cannot be written (a folder without write permission, a full disk, a file another
// copy of the program holds) only makes Append return false; it is tried again at the next line.
//
// Threads: a TTemperatureLog belongs to one thread (the main thread in the program); the free
// functions are safe on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"

constexpr int ThermometerCount = 4;

// One poll: its time and the four thermometers' texts.
struct TReading {
  std::int64_t Time = 0;  // seconds since 1970-01-01 UTC
  std::array<std::string, ThermometerCount> Texts;
};

// One poll as the chart needs it: a NaN where the text was not a temperature.
struct TSample {
  std::int64_t Time = 0;  // seconds since 1970-01-01 UTC
  std::array<double, ThermometerCount> Values{};
};

// The temperature a text shows ("+23.5", "-4", " 19.0 "), or none ("Нет данных", garbage).
std::optional<double> TemperatureOf(std::string_view Text);
TSample SampleOf(const TReading& Reading);

// The header line and a reading's line, each without its line end.
std::string LogHeader();
std::string LogLine(const TReading& Reading, const appplatform::TCalendarTime& Local);
// A line of a log file as a sample; none for the header or a damaged line.
std::optional<TSample> ParseLogLine(std::string_view Line);

// The file name of a local day: zelvane-2026-12-10.csv.
std::string LogFileName(int Year, int Month, int Day);
// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int Year, int Month, int Day);

class TTemperatureLog {
 public:
  explicit TTemperatureLog(std::filesystem::path Folder, int KeepDays = 30);

  // Appends the reading to the file of its local day (Local), creating the folder and the file
  // with its header when missing. On the first line of a day the files older than KeepDays days
  // are removed. False when the line could not be written.
  bool Append(const TReading& Reading, const appplatform::TCalendarTime& Local);
  // The samples of the log files at or after Since, in time order.
  std::vector<TSample> ReadSince(std::int64_t Since) const;
  // Removes the log files of days more than KeepDays before Today's date.
  void RemoveOld(const appplatform::TCalendarTime& Today) const;
  const std::filesystem::path& Folder() const { return FFolder; }

 private:
  bool OpenDay(const appplatform::TCalendarTime& Local);

  std::filesystem::path FFolder;
  int FKeepDays;
  appplatform::TAppendFile FFile;
  std::int64_t FFileDay = -1;  // the day (DaysFromCivil) of the open file
};
