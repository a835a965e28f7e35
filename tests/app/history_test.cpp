// SPDX-License-Identifier: MIT
// The temperature log (app/History.h), on Linux and under Wine alike: what a text is as a
// temperature, the CSV lines read back, a file per day with its header, old files removed, and
// a log that cannot be written only saying so.
#include "History.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using appplatform::TCalendarTime;

namespace {

std::string FileText(const fs::path& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class HistoryLogTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir = fs::temp_directory_path() / ("zelvane-history-" + std::to_string(stamp));
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code error;
    fs::permissions(dir, fs::perms::owner_all, error);
    fs::remove_all(dir, error);
  }
  fs::path dir;
};

TReading Reading(std::int64_t Time, std::string A, std::string B, std::string C, std::string D) {
  TReading r;
  r.Time = Time;
  r.Texts = {std::move(A), std::move(B), std::move(C), std::move(D)};
  return r;
}

// 2026-12-10 at Hour:Minute, three hours ahead of UTC.
TCalendarTime Moscow(int Day, int Hour, int Minute) {
  return {2026, 12, Day, Hour, Minute, 5, 180};
}
std::int64_t UtcOf(const TCalendarTime& T) {
  return DaysFromCivil(T.Year, T.Month, T.Day) * 86400 + T.Hour * 3600 + T.Minute * 60 + T.Second -
         T.OffsetMinutes * 60;
}

}  // namespace

TEST(HistoryLine, ReadsTemperaturesAndWritesLinesThatReadBack) {
  EXPECT_EQ(TemperatureOf("+23.5"), 23.5);
  EXPECT_EQ(TemperatureOf("-4.0"), -4.0);
  EXPECT_EQ(TemperatureOf(" 19 "), 19.0);
  for (const char* notOne : {"Нет данных", "Нет", "", "+", "23.", ".5", "2x3", "+-1", "1e3", "nan"})
    EXPECT_FALSE(TemperatureOf(notOne).has_value()) << notOne;

  const TCalendarTime local = Moscow(10, 15, 40);
  const TReading reading = Reading(UtcOf(local), "+23.5", "Нет данных", "a,\"b\"", "-2.5");
  const std::string line = LogLine(reading, local);
  EXPECT_EQ(line, "2026-12-10T15:40:05+03:00,+23.5,Нет данных,\"a,\"\"b\"\"\",-2.5,23.5,,,-2.5");
  EXPECT_EQ(LogHeader(),
            "Время,Термометр №1,Термометр №2,Термометр №3,Термометр №4,№1 °C,№2 °C,№3 °C,№4 °C");
  EXPECT_EQ(LogLine(reading, {2026, 1, 2, 3, 4, 5, -90}).substr(0, 25),
            "2026-01-02T03:04:05-01:30");

  const auto sample = ParseLogLine(line + "\r");
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(sample->Time, reading.Time) << "the offset is taken back out";
  EXPECT_EQ(sample->Values[0], 23.5);
  EXPECT_TRUE(std::isnan(sample->Values[1]));
  EXPECT_TRUE(std::isnan(sample->Values[2]));
  EXPECT_EQ(sample->Values[3], -2.5);
  EXPECT_FALSE(ParseLogLine(LogHeader()).has_value());
  EXPECT_FALSE(ParseLogLine(line.substr(0, 30)).has_value()) << "a line cut short by a full disk";
}

// A file per local day, each with its header; files more than 30 days old go when a day's file is
// opened, other files stay; reading back spans the days.
TEST_F(HistoryLogTest, WritesAFilePerDayAndRemovesOldOnes) {
  for (const char* name : {"zelvane-2026-11-10.csv", "zelvane-2026-11-11.csv", "notes.csv"})
    std::ofstream(dir / name) << "x\n";
  TTemperatureLog log(dir, 30);
  const TCalendarTime first = Moscow(10, 23, 59), second = Moscow(11, 0, 0);
  TCalendarTime later = first;
  later.Second += 10;
  ASSERT_TRUE(log.Append(Reading(UtcOf(first), "+1.0", "+2.0", "+3.0", "+4.0"), first));
  ASSERT_TRUE(log.Append(Reading(UtcOf(later), "+1.5", "Нет", "+3.5", "+4.5"), later));
  ASSERT_TRUE(log.Append(Reading(UtcOf(second), "+2.0", "+2.5", "+3.0", "+4.0"), second));

  const std::string bom = "\xEF\xBB\xBF";
  const std::string day1 = FileText(dir / "zelvane-2026-12-10.csv");
  EXPECT_EQ(day1, bom + LogHeader() + "\n2026-12-10T23:59:05+03:00,+1.0,+2.0,+3.0,+4.0,1,2,3,4\n" +
                      "2026-12-10T23:59:15+03:00,+1.5,Нет,+3.5,+4.5,1.5,,3.5,4.5\n");
  EXPECT_EQ(FileText(dir / "zelvane-2026-12-11.csv"),
            bom + LogHeader() + "\n2026-12-11T00:00:05+03:00,+2.0,+2.5,+3.0,+4.0,2,2.5,3,4\n");
  EXPECT_FALSE(fs::exists(dir / "zelvane-2026-11-10.csv")) << "31 days before the 11th";
  EXPECT_TRUE(fs::exists(dir / "zelvane-2026-11-11.csv")) << "30 days before the 11th";
  EXPECT_TRUE(fs::exists(dir / "notes.csv"));

  // A second log on the same folder (another copy of the program) starts from what is there.
  const std::vector<TSample> samples = TTemperatureLog(dir).ReadSince(UtcOf(first) + 1);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].Time, UtcOf(first) + 10);
  EXPECT_TRUE(std::isnan(samples[0].Values[1]));
  EXPECT_EQ(samples[1].Values[1], 2.5);
}

// A folder that cannot be made, a second copy holding the file, and (on Linux) a full disk: each
// fails the line, and the log writes again once the trouble is gone.
TEST_F(HistoryLogTest, AnUnwritableLogOnlyFailsItsLines) {
  const TCalendarTime now = Moscow(10, 12, 0);
  const TReading reading = Reading(UtcOf(now), "+1.0", "+2.0", "+3.0", "+4.0");
  std::ofstream(dir / "blocked") << "a file where the folder should be\n";
  TTemperatureLog blocked(dir / "blocked" / "zelvane");
  EXPECT_FALSE(blocked.Append(reading, now));

  auto first = std::make_unique<TTemperatureLog>(dir);
  TTemperatureLog second(dir);
  ASSERT_TRUE(first->Append(reading, now));
  EXPECT_FALSE(second.Append(reading, now)) << "the file is held by the first copy";
  first.reset();  // the first copy ends
  EXPECT_TRUE(second.Append(reading, now));

#ifndef _WIN32
  // A folder without write permission (root writes there anyway: checked for other users).
  if (geteuid() != 0) {
    const fs::path locked = dir / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(TTemperatureLog(locked).Append(reading, now));
  }
  // Today's file on a full device: the write fails with ENOSPC.
  const fs::path full = dir / "full";
  fs::create_directories(full);
  fs::create_symlink("/dev/full", full / LogFileName(2026, 12, 10));
  TTemperatureLog onFull(full);
  EXPECT_FALSE(onFull.Append(reading, now));
  EXPECT_FALSE(onFull.Append(reading, now));
  EXPECT_TRUE(onFull.Append(reading, Moscow(11, 0, 0))) << "the next day's file is writable";
#endif
}
