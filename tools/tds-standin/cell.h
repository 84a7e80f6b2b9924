#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sql_type.h"

namespace standin {

struct TypedCell;

// One value of a row, held in the form the wire encoder needs, so that serving a row does
// no parsing.
struct Cell {
  enum class Kind : uint8_t { Null, Integer, Real, Decimal, Bytes, Moment, Variant };

  Kind kind = Kind::Null;
  int64_t integer = 0;  // integers and bit
  double real = 0;      // real and float
  __int128 scaled = 0;  // decimal, numeric and money: the value times 10^scale
  int32_t days = 0;     // date part: days since 0001-01-01
  int64_t ticks = 0;    // time part: 100 ns units since midnight
  int16_t offsetMinutes = 0;
  // Text already in its wire encoding (code-page bytes or UTF-16LE), binary bytes, or the 16
  // bytes of a uniqueidentifier in wire order.
  std::string bytes;
  std::shared_ptr<const TypedCell> variant;  // sql_variant: the base type and its value

  bool isNull() const { return kind == Kind::Null; }
};

struct TypedCell {
  SqlType type;
  Cell cell;
};

}  // namespace standin
