#include "server/odbc_values.h"

#include <gtest/gtest.h>

#include "text/utf.h"

namespace velmora::server {
namespace {

constexpr unsigned __int128 pow10(int n) {
  unsigned __int128 value = 1;
  while (n-- > 0)
    value *= 10;
  return value;
}

struct DecimalCase {
  std::string text;
  Decimal expected;
};

TEST(ParseDecimal, KeepsEveryDigitAndTheScale) {
  const DecimalCase cases[] = {
      {"12.5000", {false, 125000, 4}},
      {"0.00001", {false, 1, 5}},
      {".5", {false, 5, 1}},
      {"-.5", {true, 5, 1}},
      {"-0.0000", {false, 0, 4}},
      {" 7.10 ", {false, 710, 2}},
      {"0.00000000000000000000000000000000000001", {false, 1, 38}},
      {"99999999999999999999999999999999999999", {false, pow10(38) - 1, 0}},
      {"-1234567890123456789.0123", {true, pow10(22) + 234567890123456789 * pow10(4) + 123, 4}},
      {"0000000000000000000000000012.5", {false, 125, 1}},
  };
  for (const DecimalCase& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = parseDecimal(c.text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, c.expected);
  }
}

TEST(ParseDecimal, RefusesWhatIsNoExactNumber) {
  for (const char* text : {"", "-", ".", "1e5", "1.2.3", "abc", "12,5", "$12",
                           "100000000000000000000000000000000000000"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(parseDecimal(text).has_value());
  }
}

struct DayCase {
  int year;
  unsigned month, day, hour, minute, second, millisecond;
  double expected;
};

TEST(DayNumber, CountsDaysFromTheEndOf1899) {
  const DayCase cases[] = {
      {1899, 12, 30, 0, 0, 0, 0, 0.0},
      {1900, 3, 1, 0, 0, 0, 0, 61.0},
      {2000, 1, 1, 12, 0, 0, 0, 36526.5},
      {2023, 1, 5, 23, 59, 59, 997, 44931 + 86399.997 / 86400},
      // Before the epoch the time of day counts away from zero.
      {1899, 12, 29, 6, 0, 0, 0, -1.25},
      {1753, 1, 1, 18, 0, 0, 0, -53688.75},
  };
  for (const DayCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << '-' << c.month << '-' << c.day);
    EXPECT_DOUBLE_EQ(
        dayNumber(c.year, c.month, c.day, c.hour, c.minute, c.second, c.millisecond).days,
        c.expected);
  }
}

struct TemporalCase {
  std::string driverText;
  TemporalKind kind;
  unsigned digits;
  std::u16string expected;
};

TEST(TemporalText, WritesExactlyTheColumnsFractionDigits) {
  using enum TemporalKind;
  const TemporalCase cases[] = {
      {"1-1-1", date, 0, u"0001-01-01"},
      {"9:05:07", time, 0, u"09:05:07"},
      {"09:05:07.1234567", time, 0, u"09:05:07"},
      {"09:05:07.5", time, 3, u"09:05:07.500"},
      {"1900-01-01 23:59:59.9999999", time, 7, u"23:59:59.9999999"},
      {"2023-01-05T09:05:07", dateTime2, 3, u"2023-01-05 09:05:07.000"},
      {"2023-01-05 09:05:07.1+00:00", dateTimeOffset, 3, u"2023-01-05 09:05:07.100 +00:00"},
      {"2023-01-05 09:05:07 -05:30", dateTimeOffset, 0, u"2023-01-05 09:05:07 -05:30"},
  };
  for (const TemporalCase& c : cases) {
    SCOPED_TRACE(c.driverText);
    const auto text = temporalText(c.driverText, c.kind, c.digits);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, c.expected);
  }
}

TEST(TemporalText, RefusesOtherShapes) {
  using enum TemporalKind;
  const TemporalCase cases[] = {
      {"", date, 0, {}},
      {"yesterday", date, 0, {}},
      {"09:05:07", date, 0, {}},
      {"09:05", time, 0, {}},
      {"2023-01-05", dateTime2, 0, {}},
      {"2023-01-05 09:05:07", dateTimeOffset, 0, {}},
  };
  for (const TemporalCase& c : cases) {
    SCOPED_TRACE(c.driverText);
    EXPECT_FALSE(temporalText(c.driverText, c.kind, c.digits).has_value());
  }
}

TEST(Utf8Conversion, RoundTripsAndReplacesBrokenSequences) {
  const std::u16string texts[] = {u"", u"plain", u"张三 Zoë", u"\U0001F600 emoji",
                                  std::u16string(u"a\0b", 3)};
  for (const std::u16string& text : texts)
    EXPECT_EQ(text::utf16FromUtf8(text::utf8FromUtf16(text)), text);
  EXPECT_EQ(text::utf8FromUtf16(u"\xD800x"), "?x");
  EXPECT_EQ(text::utf16FromUtf8("\xC0\xAF"), u"\xFFFD\xFFFD");
  EXPECT_EQ(text::utf16FromUtf8("\xE4\xB8"), u"\xFFFD");
}

}  // namespace
}  // namespace velmora::server
