#include "script/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <type_traits>

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
      {1.0 / 3, "0.3333333333333333"},
      {0.1 + 0.2, "0.30000000000000004"},
      {100, "100"},
      {999999999999999, "999999999999999"},
      {999999999999999.5, "999999999999999.5"},
      {1e15, "1E15"},
      {1.2345e20, "1.2345E20"},
      {123456789012345678.0, "1.2345678901234568E17"},
      {0.0001, "0.0001"},
      {9.999999999999995e-5, "9.999999999999995E-5"},
      {0.000015, "1.5E-5"},
      {-0.0, "0"},
      {-1.5, "-1.5"},
      // A real widened to a double keeps the digits of the double.
      {static_cast<double>(0.1f), "0.10000000149011612"},
      {std::numeric_limits<double>::max(), "1.7976931348623157E308"},
      {-std::numeric_limits<double>::max(), "-1.7976931348623157E308"},
      {std::numeric_limits<double>::denorm_min(), "5E-324"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(generalNumberText(c.value), c.text) << c.text;
  }
  EXPECT_EQ(generalNumberText(-1.5, ","), "-1,5");
  EXPECT_EQ(generalNumberText(0.000015, ","), "1,5E-5");
}

TEST(GeneralNumberTextTest, RealExamples) {
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {0.1f, "0.1"},
      {3.14159265f, "3.1415927"},
      {16777216.0f, "16777216"},
      {1e-5f, "1E-5"},
      // The shortest digits, 3.4028235E38, lie above the largest real.
      {std::numeric_limits<float>::max(), "3.4028234E38"},
      {-std::numeric_limits<float>::max(), "-3.4028234E38"},
      {std::numeric_limits<float>::denorm_min(), "1E-45"},
      {-0.0f, "0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(generalNumberText(c.value), c.text) << c.text;
  }
}

// Every text reads back as the very value, in at most 17 (double) or 9 (float) significant
// digits, and never lies above the type's largest value.
template <typename Floating, typename Bits>
void expectReadsBack(std::uint64_t seed, int maxDigits) {
  std::mt19937_64 random(seed);
  for (int i = 0; i < 100000; ++i) {
    const auto bits = static_cast<Bits>(random());
    Floating value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) {
      continue;
    }
    const std::string text = generalNumberText(value);
    ASSERT_EQ(text.find_first_not_of("-0123456789.E"), std::string::npos) << text;
    // Significant digits: those of the mantissa less the zeros at its ends.
    std::string digits;
    for (char c : text.substr(0, text.find('E')))
      if (c >= '0' && c <= '9' && !(digits.empty() && c == '0'))
        digits += c;
    digits.erase(digits.find_last_not_of('0') + 1);
    ASSERT_LE(digits.size(), static_cast<std::size_t>(maxDigits)) << text;
    const long double exact = std::strtold(text.c_str(), nullptr);
    ASSERT_LE(std::fabs(exact), static_cast<long double>(std::numeric_limits<Floating>::max()))
        << text;
    if constexpr (std::is_same_v<Floating, float>)
      ASSERT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
    else
      ASSERT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
}

TEST(GeneralNumberTextTest, ReadsBackExactly) {
  expectReadsBack<double, std::uint64_t>(20230105, 17);
  expectReadsBack<float, std::uint32_t>(38, 9);
  EXPECT_EQ(std::strtof("3.4028234E38", nullptr), std::numeric_limits<float>::max());
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
