#include "script/locale_formats.h"

#include <gtest/gtest.h>

#include <string>

#include "script/date_text.h"

namespace velmora::script {
namespace {

// 5 January 2023, 09:04:07, a Thursday.
constexpr double kJan5Morning = 44931 + (9 * 3600 + 4 * 60 + 7) / 86400.0;

TEST(LocaleFormatsTest, PosixLocalesKeepTheDefaults) {
  const Codeset utf8("UTF-8");
  for (const char* name : {"C", "C.UTF-8", "POSIX"}) {
    const LocaleFormats formats = localeFormatsForName(name, utf8);
    EXPECT_TRUE(formats == LocaleFormats{}) << name;
    EXPECT_EQ(formats.datePattern, "m/d/yyyy") << name;
    EXPECT_EQ(formats.timePattern, "hh:mm:ss") << name;
    EXPECT_EQ(formats.shortTimePattern, "hh:mm") << name;
  }
}

// The locale's own forms, with four-digit years, as the texts show them: marks, hour digits,
// 12-hour clocks and where their marker stands.
TEST(LocaleFormatsTest, TextsFollowTheLocale) {
  const Codeset utf8("UTF-8");
  const struct {
    const char* locale;
    const char* decimalMark;
    const char* date;
    const char* longDate;
    const char* dateAndTime;
  } cases[] = {
      {"en_US", ".", "1/5/2023", "Thursday, January 5, 2023", "1/5/2023 9:04:07 AM"},
      {"en_GB", ".", "05/01/2023", "Thursday, 5 January 2023", "05/01/2023 09:04:07"},
      {"de_DE", ",", "05.01.2023", "Donnerstag, 5. Januar 2023", "05.01.2023 09:04:07"},
      {"pt_BR", ",", "05/01/2023", "quinta-feira, 5 de janeiro de 2023", "05/01/2023 09:04:07"},
      {"fi_FI", ",", "5.1.2023", "", "5.1.2023 9.04.07"},
      {"zh_CN", ".", "2023/1/5", "2023年1月5日星期四", "2023/1/5 09:04:07"},
      {"ja_JP", ".", "2023/01/05", "2023年1月5日木曜日", "2023/01/05 9:04:07"},
      {"ko_KR", ".", "2023. 1. 5.", "2023년 1월 5일 목요일", "2023. 1. 5. 오전 9:04:07"},
  };
  for (const auto& c : cases) {
    const LocaleFormats formats = localeFormatsForName(c.locale, utf8);
    EXPECT_EQ(formats.decimalMark, c.decimalMark) << c.locale;
    EXPECT_EQ(dateTimeText(kJan5Morning, DateTimeUse::dateOnly, formats), c.date) << c.locale;
    if (*c.longDate != '\0') {
      EXPECT_EQ(formatDateTime(formats.longDatePattern, kJan5Morning, formats), c.longDate)
          << c.locale;
    }
    EXPECT_EQ(dateTimeText(kJan5Morning, DateTimeUse::dateAndTime, formats), c.dateAndTime)
        << c.locale;
    EXPECT_FALSE(formats.doubleByteCodeset) << c.locale;
  }
}

TEST(LocaleFormatsTest, TextsAreInTheProcessCodeset) {
  const Codeset gbk("GBK");
  const LocaleFormats formats = localeFormatsForName("zh_CN", gbk);
  EXPECT_TRUE(formats.doubleByteCodeset);
  EXPECT_EQ(formats.amText, gbk.fromUtf16(u"上午"));
  EXPECT_EQ(formats.longDayNames[4], gbk.fromUtf16(u"星期四"));
  EXPECT_EQ(formatDateTime(formats.longDatePattern, kJan5Morning, formats),
            gbk.fromUtf16(u"2023年1月5日星期四"));
}

TEST(LocaleFormatsTest, MarksThatAreNotOneCharacterGiveTheDefault) {
  // Arabic (Egypt): the decimal mark is one character that GBK lacks, and the date separator
  // carries a direction mark.
  const LocaleFormats utf8 = localeFormatsForName("ar_EG", Codeset("UTF-8"));
  EXPECT_EQ(utf8.decimalMark, "\u066B");
  EXPECT_EQ(utf8.dateMark, "/");
  const LocaleFormats gbk = localeFormatsForName("ar_EG", Codeset("GBK"));
  EXPECT_EQ(gbk.decimalMark, ".");
  // Korean dates separate their fields with a point and a blank.
  EXPECT_EQ(localeFormatsForName("ko_KR", Codeset("UTF-8")).dateMark, "/");
}

// The order SET DATEFORMAT gets: that of the date pattern the texts are written by.
TEST(LocaleFormatsTest, DateOrderFollowsTheDatePattern) {
  const Codeset utf8("UTF-8");
  const Codeset gbk("GBK");
  const struct {
    const char* locale;
    const Codeset& codeset;
    const char* order;
  } locales[] = {
      {"C", utf8, "mdy"},    {"en_US", utf8, "mdy"}, {"zh_CN", utf8, "ymd"},
      {"zh_CN", gbk, "ymd"}, {"de_DE", utf8, "dmy"}, {"en_GB", utf8, "dmy"},
  };
  for (const auto& c : locales)
    EXPECT_EQ(dateOrder(localeFormatsForName(c.locale, c.codeset)), c.order) << c.locale;

  const struct {
    const char* pattern;
    const char* order;
  } patterns[] = {
      {"dddd, mmmm d, yyyy", "mdy"},  // a day name is no day
      {"yyyy'd'/mm", "ymd"},          // quoted letters are text; the day comes last
      {"hh:mm d.m.yy", "dmy"},        // m after an hour is the minute
      {"", "mdy"},
  };
  for (const auto& c : patterns) {
    LocaleFormats formats;
    formats.datePattern = c.pattern;
    EXPECT_EQ(dateOrder(formats), c.order) << c.pattern;
  }
}

}  // namespace
}  // namespace velmora::script
