#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velmora::server {

// An exact decimal as SQL Server holds decimal, numeric, money and smallmoney values
// (up to 38 digits). The value is (negative ? -1 : 1) * digits / 10^scale.
struct Decimal {
  bool negative = false;
  unsigned __int128 digits = 0;
  std::uint8_t scale = 0;

  friend bool operator==(const Decimal&, const Decimal&) = default;
};

// The kinds a column value can take for the current row, after the platform's VARIANT kinds.
struct Empty {
  friend bool operator==(Empty, Empty) = default;
};
struct Null {
  friend bool operator==(Null, Null) = default;
};
// A fixed-point amount: a signed 64-bit count of ten-thousandths (VT_CY).
struct Currency {
  std::int64_t tenThousandths = 0;
  friend bool operator==(Currency, Currency) = default;
};
// A day number (VT_DATE): whole days since 30 December 1899, the fraction the time of day.
struct DateTime {
  double days = 0;
  friend bool operator==(DateTime, DateTime) = default;
};
using Bytes = std::vector<std::uint8_t>;
// The text of a sql_variant whose base type is nchar or nvarchar: a Unicode text that the
// script writes as a Unicode literal. (Every other text value is a std::u16string.)
struct NationalText {
  std::u16string text;
  friend bool operator==(const NationalText&, const NationalText&) = default;
};

// Text values are UTF-16, as the platform's wide strings.
using Value = std::variant<Empty, Null, bool, std::int8_t, std::uint8_t, std::int16_t,
                           std::uint16_t, std::int32_t, std::uint32_t, std::int64_t, float, double,
                           Currency, DateTime, Decimal, std::u16string, Bytes, NationalText>;

// A Null or empty value counts as NULL.
inline bool isNullOrEmpty(const Value& value) {
  return std::holds_alternative<Null>(value) || std::holds_alternative<Empty>(value);
}

}  // namespace velmora::server
