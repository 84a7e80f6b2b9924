#include "script/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace velmora::script {
namespace {

using server::Decimal;

TEST(IntegerTextTest, WholeRange) {
  const struct {
    std::int64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-42, "-42"},
      {1000000, "1000000"},
      {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(integerText(c.value), c.text) << c.value;
  }
}

TEST(GeneralNumberTextTest, Examples) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {100, "100"},
      {999999999999999, "999999999999999"},
      {1e15, "1E15"},
      {1.2345e20, "1.2345E20"},
      {0.0001, "0.0001"},
      {0.000015, "1.5E-5"},
      {0.00001, "1E-5"},
      {-0.0, "0"},
      {-1.5, "-1.5"},
      // Widened from a 32-bit 0.1.
      {static_cast<double>(0.1f), "0.100000001490116"},
      // Fifteen nines and a 5 round up into a new digit, and so into exponent form.
      {999999999999999.5, "1E15"},
      {9.999999999999995e-5, "0.0001"},
      {123456789012345678.0, "1.23456789012346E17"},
      {-2.5e-300, "-2.5E-300"},
      {std::numeric_limits<double>::max(), "1.79769313486232E308"},
      {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      // The exponent comes from the value itself, also far below 1, where an estimate from
      // the binary exponent can be one too high and lose a digit.
      {1.23456789012345e-205, "1.23456789012345E-205"},
      {9.87654321098765e-265, "9.87654321098765E-265"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(generalNumberText(c.value), c.text) << c.text;
  }
  EXPECT_EQ(generalNumberText(-1.5, ","), "-1,5");
  EXPECT_EQ(generalNumberText(0.000015, ","), "1,5E-5");
}

// The digits of the exact binary value, far past the 15 that count.
std::string exactDigits(double magnitude) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.30e", magnitude);
  std::string digits(1, buffer[0]);
  digits.append(buffer + 2, buffer + 32);
  return digits;
}

// The text reads back as the value rounded to 15 significant digits. It may differ from
// printf's single rounding (ties to even) in two ways only, both rounding up: an exact half
// rounds up, and digits 16 to 18 of 499 that the rest lifts to 500 round up.
TEST(GeneralNumberTextTest, ReadsBackAsFifteenDigits) {
  std::mt19937_64 random(20230105);
  int doubleRounded = 0;
  for (int i = 0; i < 100000; ++i) {
    std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) {
      continue;
    }
    const std::string text = generalNumberText(value);
    ASSERT_EQ(text.find_first_not_of("-0123456789.E"), std::string::npos) << text;
    const double readBack = std::strtod(text.c_str(), nullptr);

    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const double roundedOnce = std::strtod(buffer, nullptr);
    if (readBack == roundedOnce) {
      continue;
    }
    const std::string digits = exactDigits(std::fabs(value));
    const bool liftedTo500 = digits.substr(15, 3) == "499" && digits[18] >= '5';
    const bool exactHalf =
        digits.find_first_not_of('0', 16) == std::string::npos && digits[15] == '5';
    ASSERT_TRUE(liftedTo500 || exactHalf) << text << " vs " << buffer;
    ASSERT_GT(std::fabs(readBack), std::fabs(roundedOnce)) << text << " vs " << buffer;
    ++doubleRounded;
  }
  EXPECT_LT(doubleRounded, 200);
}

TEST(AmountTextTest, Examples) {
  const auto max38 = [] {
    unsigned __int128 digits = 0;
    for (int i = 0; i < 38; ++i) {
      digits = digits * 10 + 9;
    }
    return digits;
  }();
  const struct {
    Decimal value;
    const char* text;
  } cases[] = {
      {{false, 125, 1}, "12.5"},
      {{false, 12345678, 4}, "1234.5678"},
      {{true, 1, 4}, "-0.0001"},
      {{false, 100, 0}, "100"},
      {{false, 10000, 2}, "100"},
      {{false, 310, 2}, "3.1"},
      {{false, 0, 4}, "0"},
      {{true, 0, 2}, "0"},
      {{false, 123456789, 9}, "0.123456789"},
      {{false, 5, 38}, "0.00000000000000000000000000000000000005"},
      {{true, max38, 0}, "-99999999999999999999999999999999999999"},
      {{false, max38, 38}, "0.99999999999999999999999999999999999999"},
      {{false, max38, 10}, "9999999999999999999999999999.9999999999"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(amountText(c.value), c.text) << c.text;
    std::string line = "x,";
    appendAmountText(line, c.value);
    EXPECT_EQ(line, std::string("x,") + c.text);
  }
  EXPECT_EQ(amountText({false, 15, 1}, ","), "1,5");
}

// Reads an amount text back into a decimal; the scale is the number of fraction digits.
Decimal parseAmount(const std::string& text) {
  Decimal value;
  std::size_t at = 0;
  if (text[at] == '-') {
    value.negative = true;
    ++at;
  }
  bool inFraction = false;
  for (; at < text.size(); ++at) {
    if (text[at] == '.') {
      EXPECT_FALSE(inFraction) << text;
      inFraction = true;
      continue;
    }
    EXPECT_TRUE(text[at] >= '0' && text[at] <= '9') << text;
    value.digits = value.digits * 10 + static_cast<unsigned>(text[at] - '0');
    value.scale = static_cast<std::uint8_t>(value.scale + (inFraction ? 1 : 0));
  }
  return value;
}

// The same value with the fraction's trailing zeros taken off.
Decimal normalised(Decimal value) {
  while (value.scale > 0 && value.digits % 10 == 0) {
    value.digits /= 10;
    --value.scale;
  }
  if (value.digits == 0) {
    value.negative = false;
  }
  return value;
}

TEST(AmountTextTest, ReadsBackExactly) {
  std::mt19937_64 random(38);
  for (int i = 0; i < 20000; ++i) {
    const int digitCount = static_cast<int>(random() % 39);
    unsigned __int128 digits = 0;
    for (int d = 0; d < digitCount; ++d) {
      // Zeros are frequent so that trailing and inner zeros get their share.
      const auto digit = static_cast<unsigned>(random() % 3 == 0 ? 0 : random() % 10);
      digits = digits * 10 + digit;
    }
    const Decimal value{random() % 2 == 0, digits, static_cast<std::uint8_t>(random() % 39)};
    const std::string text = amountText(value);
    ASSERT_EQ(text.find('E'), std::string::npos) << text;
    if (text.find('.') != std::string::npos) {
      ASSERT_NE(text.back(), '0') << text;
      ASSERT_NE(text.rfind("-.", 0), 0u) << text;
      ASSERT_NE(text[0], '.') << text;
    }
    ASSERT_EQ(parseAmount(text), normalised(value)) << text;
  }
}

}  // namespace
}  // namespace velmora::script
