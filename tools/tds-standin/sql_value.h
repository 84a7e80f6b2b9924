#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "cell.h"
#include "sql_type.h"
#include "text_codec.h"

namespace standin {

// An error a statement meets while it runs (a failed conversion, a type clash), with the
// number, severity and text a server gives it.
class SqlError : public std::runtime_error {
 public:
  SqlError(int32_t errorNumber, uint8_t errorSeverity, const std::string& text)
      : std::runtime_error(text), number(errorNumber), severity(errorSeverity) {}
  int32_t number;
  uint8_t severity;
};

// A value as a search condition compares it.
struct Value {
  enum class Kind { Null, Exact, Approximate, Text, Moment, Binary, Guid };

  Kind kind = Kind::Null;
  SqlType type;         // the type it has: conversions aim at it, messages name it
  __int128 scaled = 0;  // Exact: the value times 10^scale
  int scale = 0;
  double real = 0;   // Approximate
  std::string text;  // Text: UTF-8; Binary: the bytes; Guid: the 16 bytes in wire order
  int64_t days = 0;  // Moment: local date and time, and the offset of datetimeoffset
  int64_t ticks = 0;
  int16_t offsetMinutes = 0;
};

// The value of a cell of a column of `type`; `ansi` decodes the database's code page.
Value valueOf(const Cell& cell, const SqlType& type, CodePageDecoder& ansi);

// Compares two values after converting one to the other's type as SQL Server does (text to
// numbers, dates and uniqueidentifiers; exact numbers to float). Text compares by the
// collation: trailing blanks aside and, with `ignoreCase`, without regard to case. nullopt
// when either is NULL (unknown). Throws SqlError when a conversion fails or the types clash.
std::optional<int> compareValues(const Value& a, const Value& b, bool ignoreCase);

// value LIKE pattern with %, _ and [...] sets; trailing blanks of the value count only when
// either side is Unicode text.
// nullopt when either is NULL. Throws SqlError for a value that is not text or a number.
std::optional<bool> likeMatches(const Value& value, const Value& pattern, bool ignoreCase);

}  // namespace standin
