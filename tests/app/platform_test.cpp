// SPDX-License-Identifier: MIT
// The program's operating-system part (app/Platform.h), on Linux and under Wine alike: the
// board's Windows-1251 text as UTF-8, and the local time of day.
#include "Platform.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#ifndef _WIN32
#include <iconv.h>
#endif

using appplatform::DecodeWindows1251;

TEST(ProgramPlatform, DecodesWindows1251) {
  EXPECT_EQ(DecodeWindows1251("", 0), "");
  EXPECT_EQ(DecodeWindows1251("T1=+21.5", 8), "T1=+21.5");
  // "Порт" and "ёЁ№", upper and lower half of the code page.
  EXPECT_EQ(DecodeWindows1251("\xCF\xEE\xF0\xF2", 4), "\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82");
  EXPECT_EQ(DecodeWindows1251("\xB8\xA8\xB9", 3), "\xD1\x91\xD0\x81\xE2\x84\x96");
  // The one byte the code page leaves undefined becomes U+FFFD; the rest is kept.
  EXPECT_EQ(DecodeWindows1251("a\x98z", 3), "a\xEF\xBF\xBDz");
  // Every byte but that one decodes to one character: 127 ASCII bytes and 127 of two or three.
  std::string all;
  for (int c = 1; c < 256; ++c)
    if (c != 0x98) all += static_cast<char>(c);
  const std::string text = DecodeWindows1251(all.data(), all.size());
  EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos);
  std::size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  EXPECT_EQ(characters, all.size());
}

#ifndef _WIN32
// Every byte as the C library's converter reads it, where it has one.
TEST(ProgramPlatform, DecodesWindows1251AsIconvDoes) {
  const iconv_t iconv1251 = iconv_open("UTF-8", "CP1251");
  if (iconv1251 == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP1251 converter";
  for (int c = 1; c < 256; ++c) {
    if (c == 0x98) continue;
    char in[1] = {static_cast<char>(c)}, out[8] = {};
    char* from = in;
    char* to = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    ASSERT_NE(iconv(iconv1251, &from, &inLeft, &to, &outLeft), static_cast<std::size_t>(-1)) << c;
    EXPECT_EQ(DecodeWindows1251(in, 1), std::string(out, to)) << "byte " << c;
  }
  iconv_close(iconv1251);
}
#endif

TEST(ProgramPlatform, TellsTheLocalTimeOfDay) {
  const std::time_t before = std::time(nullptr);
  const appplatform::TLocalTime now = appplatform::LocalTimeNow();
  const std::time_t after = std::time(nullptr);
  EXPECT_GE(now.Hour, 0);
  EXPECT_LE(now.Hour, 23);
  EXPECT_GE(now.Minute, 0);
  EXPECT_LE(now.Minute, 59);
  // The C library's local time agrees (unless a minute turned between the two readings).
  const std::tm* local = std::localtime(&before);
  const int expected = local->tm_hour * 60 + local->tm_min;
  const int got = now.Hour * 60 + now.Minute;
  EXPECT_TRUE(got == expected || after - before >= 1 || got == (expected + 1) % 1440)
      << now.Hour << ":" << now.Minute;
}
