#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "script/date_text.h"

namespace velmora::script {
namespace {

// 5 January 2023, a Thursday.
constexpr double kJan5 = 44931;

double at(double day, int hour, int minute, int second, int millisecond = 0) {
  return day + (((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / 86'400'000.0;
}

LocaleFormats withPatterns(std::string datePattern, std::string timePattern) {
  LocaleFormats formats;
  formats.datePattern = std::move(datePattern);
  formats.timePattern = std::move(timePattern);
  return formats;
}

TEST(DateTimeTextTest, Uses) {
  const LocaleFormats defaults;
  const LocaleFormats isoLike = withPatterns("yyyy-M-d", "h:mm:ss");
  LocaleFormats usClock = withPatterns("M/d/yyyy", "h:mm:ss AMPM");
  usClock.pmText = "PM";
  const struct {
    double dayNumber;
    DateTimeUse use;
    const LocaleFormats& formats;
    const char* text;
  } cases[] = {
      {at(kJan5, 9, 5, 7), DateTimeUse::dateAndTime, isoLike, "2023-1-5 9:05:07"},
      {at(kJan5, 13, 30, 0), DateTimeUse::dateAndTime, usClock, "1/5/2023 1:30:00 PM"},
      {at(kJan5, 9, 5, 7), DateTimeUse::dateAndTime, defaults, "1/5/2023 09:05:07"},
      {at(kJan5, 9, 5, 7), DateTimeUse::dateOnly, defaults, "1/5/2023"},
      {at(kJan5, 9, 5, 7), DateTimeUse::timeOnly, defaults, "09:05:07"},
      {0, DateTimeUse::dateAndTime, defaults, "12/30/1899"},
      {0, DateTimeUse::timeOnly, defaults, "00:00:00"},
      {kJan5, DateTimeUse::dateAndTime, defaults, "1/5/2023"},
      {at(kJan5, 0, 0, 1), DateTimeUse::dateAndTime, defaults, "1/5/2023 00:00:01"},
      // Less than half a millisecond below midnight is the next day.
      {kJan5 + 1 - 0.4 / 86'400'000, DateTimeUse::dateAndTime, defaults, "1/6/2023"},
      {kJan5 + 1 - 0.6 / 86'400'000, DateTimeUse::dateAndTime, defaults, "1/5/2023 23:59:59.999"},
      // Milliseconds are shown after the seconds, and with them the time always shows.
      {at(kJan5, 9, 5, 7, 250), DateTimeUse::dateAndTime, defaults, "1/5/2023 09:05:07.250"},
      {at(kJan5, 0, 0, 0, 500), DateTimeUse::dateAndTime, isoLike, "2023-1-5 0:00:00.500"},
      {at(kJan5, 13, 30, 0, 500), DateTimeUse::dateAndTime, usClock, "1/5/2023 1:30:00.500 PM"},
      {at(kJan5, 9, 5, 7, 5), DateTimeUse::timeOnly, defaults, "09:05:07.005"},
      {at(kJan5, 9, 5, 7, 5), DateTimeUse::dateOnly, defaults, "1/5/2023"},
      // Before day 0 the day counts down and the time of day still counts up.
      {-1.25, DateTimeUse::dateAndTime, defaults, "12/29/1899 06:00:00"},
      {-0.25, DateTimeUse::dateAndTime, defaults, "12/30/1899 06:00:00"},
      {-693593, DateTimeUse::dateOnly, defaults, "1/1/0001"},
      {-693594, DateTimeUse::dateOnly, defaults, "0/0/0000"},
      {2958465, DateTimeUse::dateOnly, defaults, "12/31/9999"},
      {2958466, DateTimeUse::dateOnly, defaults, "1/1/10000"},
      // 29 February of leap years, and the century rule.
      {-36463, DateTimeUse::dateOnly, defaults, "3/1/1800"},
      {36585, DateTimeUse::dateOnly, defaults, "2/29/2000"},
      {73110, DateTimeUse::dateOnly, defaults, "3/1/2100"},
      // Values that no clock can show give day 0 rather than undefined behaviour.
      {std::numeric_limits<double>::quiet_NaN(), DateTimeUse::dateAndTime, defaults, "12/30/1899"},
      {std::numeric_limits<double>::infinity(), DateTimeUse::dateAndTime, defaults, "12/30/1899"},
      {-std::numeric_limits<double>::infinity(), DateTimeUse::timeOnly, defaults, "00:00:00"},
      {1e300, DateTimeUse::dateAndTime, defaults, "12/30/1899"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dateTimeText(c.dayNumber, c.use, c.formats), c.text) << c.text;
  }
}

TEST(FormatDateTimeTest, Tokens) {
  LocaleFormats formats;
  formats.dateMark = "-";
  formats.timeMark = ".";
  const double afternoon = at(kJan5, 13, 4, 7, 89);
  const double morning = at(kJan5, 9, 5, 7);
  const struct {
    const char* pattern;
    double dayNumber;
    const char* text;
  } cases[] = {
      {"d dd ddd DdDd", afternoon, "5 05 Thu Thursday"},
      {"m mm mmm mmmm mmmmm", afternoon, "1 01 Jan January January"},
      {"y yy yyy yyyy yyyyy", afternoon, "23 23 2023 2023 2023"},
      {"h hh hhhh n nn nnn s ss sss", morning, "9 09 09 5 05 05 7 07 07"},
      {"z zz zzz zzzz", afternoon, "89 89 089 089"},
      // m is the minute right after an hour token, a month elsewhere.
      {"h m", afternoon, "13 4"},
      {"hh:mm", afternoon, "13.04"},
      {"h'x'mm", afternoon, "13x04"},
      {"hhxmm", afternoon, "13x01"},
      {"mm hh", afternoon, "01 13"},
      {"h:mm:mm", afternoon, "13.04.01"},
      // 12-hour clock when a marker follows the hour or came before it.
      {"h AM/PM", afternoon, "1 PM"},
      {"h am/pm", morning, "9 am"},
      {"h Am/pM", afternoon, "1 pM"},
      {"h A/P", afternoon, "1 P"},
      {"h AMPM", afternoon, "1 pm"},
      {"AM/PM h", afternoon, "PM 1"},
      {"h:nn am/pm", kJan5, "12.00 am"},
      {"h:nn am/pm", at(kJan5, 12, 0, 0), "12.00 pm"},
      {"hh 'am/pm'", afternoon, "13 am/pm"},
      {"h h am/pm", afternoon, "13 1 pm"},
      {"h a", afternoon, "13 a"},
      {"h aaa", afternoon, "13 Thu"},
      {"aaa aaaa", afternoon, "Thu Thursday"},
      // Patterns applied in place, one level deep only.
      {"ddddd", afternoon, "1-5-2023"},
      {"dddddd", afternoon, "January 5, 2023"},
      {"t", afternoon, "13.04"},
      {"tt", afternoon, "13.04.07"},
      {"c", afternoon, "1-5-2023 13.04.07"},
      {"c", at(kJan5, 0, 0, 0, 500), "1-5-2023"},
      {"g e", afternoon, "A.D. 2023"},
      {"yyyy/mm/dd", afternoon, "2023-01-05"},
      {"\"d\" 'text' \"it's\"", afternoon, "d text it's"},
      {"yyyy 'open", afternoon, "2023 open"},
      {"yy\"dd", afternoon, "23dd"},
      {"''", afternoon, ""},
      {"yyyy年m月d日", afternoon, "2023年1月5日"},
      {"bijkloquvwx!#", afternoon, "bijkloquvwx!#"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatDateTime(c.pattern, c.dayNumber, formats), c.text) << c.pattern;
  }
}

TEST(FormatDateTimeTest, PatternsInPlaceDoNotNest) {
  LocaleFormats formats;
  formats.datePattern = "m/d/yyyy|ddddd|t|c";
  formats.shortTimePattern = "hh:nn|tt";
  EXPECT_EQ(formatDateTime("ddddd", kJan5, formats), "1/5/2023|||");
  EXPECT_EQ(formatDateTime("t", kJan5, formats), "00:00|");
}

TEST(FormatDateTimeTest, LongRunsAndTheCut) {
  const LocaleFormats formats;
  const double afternoon = at(kJan5, 13, 4, 7);
  const struct {
    std::string pattern;
    std::string text;
  } cases[] = {
      {std::string(300, 'd'), "January 5, 2023"},
      {std::string(300, 'm'), "January"},
      {std::string(300, 'y'), "2023"},
      {std::string(300, 'h'), "13"},
      {std::string(300, '0'), std::string(256, '0')},
      {"'" + std::string(300, 'x') + "'", std::string(256, 'x')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatDateTime(c.pattern, afternoon, formats), c.text) << c.pattern.substr(0, 3);
  }

  std::string manyDates;
  for (int i = 0; i < 100; ++i) {
    manyDates += "c;";
  }
  EXPECT_EQ(formatDateTime(manyDates, afternoon, formats).size(), 256u);

  // A character is never cut in half: 100 three-byte characters keep 85.
  std::string wide;
  for (int i = 0; i < 100; ++i) {
    wide += "年";
  }
  const std::string cut = formatDateTime(wide, afternoon, formats);
  EXPECT_EQ(cut.size(), 255u);
  EXPECT_EQ(cut, wide.substr(0, 255));
}

TEST(FormatDateTimeTest, DoubleByteCharactersAreCopiedWhole) {
  LocaleFormats gbk;
  gbk.doubleByteCodeset = true;
  const double afternoon = at(kJan5, 13, 4, 7);
  // Lead bytes whose trail bytes read as ASCII letters d, h and a.
  EXPECT_EQ(formatDateTime("\x81\x64 d", afternoon, gbk), "\x81\x64 5");
  // Only ASCII letters stand between an hour and a minute; "p" makes the last m a month.
  EXPECT_EQ(formatDateTime("h\x81\x61m/pm", afternoon, gbk),
            "13\x81\x61"
            "4/p1");
  EXPECT_EQ(formatDateTime("yyyy\xC4\xEA", afternoon, gbk), "2023\xC4\xEA");

  std::string wide;
  for (int i = 0; i < 200; ++i) {
    wide += "\xC4\xEA";
  }
  wide = "x" + wide;
  EXPECT_EQ(formatDateTime(wide, afternoon, gbk), wide.substr(0, 255));
}

}  // namespace
}  // namespace velmora::script
