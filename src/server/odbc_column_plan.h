#pragma once

#include <cstdint>
#include <string>

#include "server/data_access.h"

// How a result column that the ODBC driver describes is presented (its ColumnDescription) and
// fetched (the kind of value and its buffer). No ODBC types: SQL type codes are plain ints.
namespace velmora::server {

// SQL Server's sql_variant as Microsoft's drivers and FreeTDS number it (SQL_SS_VARIANT).
inline constexpr int kSqlSsVariant = -150;

// What the driver reports of one result column.
struct OdbcColumnInfo {
  std::u16string name;
  int sqlType = 0;          // SQL_DESC_CONCISE_TYPE
  std::string typeName;     // SQL_DESC_TYPE_NAME, as FreeTDS spells SQL Server's types
  std::int64_t length = 0;  // SQL_DESC_LENGTH: characters, bytes, or 0 for the (max) types
  int precision = 0;        // SQL_DESC_PRECISION
  int scale = 0;            // SQL_DESC_SCALE
  bool isUnsigned = false;
  bool autoUniqueValue = false;
  bool updatable = true;  // SQL_DESC_UPDATABLE is not SQL_ATTR_READONLY
  bool nullable = true;
};

// The form a column's values are fetched in and supplied as.
enum class FetchKind {
  flag,            // bool
  unsigned8,       // std::uint8_t
  integer16,       // std::int16_t
  integer32,       // std::int32_t
  integer64,       // std::int64_t
  real32,          // float
  real64,          // double
  decimal,         // Decimal, from the driver's text
  money,           // Decimal of ten-thousandths, from the value's bytes as the server sent them
  dateTime,        // DateTime day number, from the date and time parts
  date,            // text YYYY-MM-DD
  time,            // text hh:mm:ss[.f]
  dateTime2,       // text YYYY-MM-DD hh:mm:ss[.f]
  dateTimeOffset,  // text YYYY-MM-DD hh:mm:ss[.f] +hh:mm
  guid,            // text {XXXXXXXX-...}
  text,            // UTF-16 text
  nationalText,    // UTF-16 text of an nchar or nvarchar column, from its bytes
  bytes,           // Bytes
  variant,         // sql_variant: by the base type of each value (odbc_variant.h)
  none,            // a type the layer cannot read: supplied as an empty value
};

struct ColumnPlan {
  ColumnDescription description;
  FetchKind kind = FetchKind::text;
  unsigned fractionDigits = 0;  // digits after the seconds, for the text time kinds
  // Long values (text, ntext, image, xml, the (max) types, sql_variant) are read piecewise;
  // all others fit a buffer of `bufferBytes`.
  bool isLong = false;
  std::size_t bufferBytes = 0;
};

// A type the layer does not know gets the ADO type adUserDefined and FetchKind::none.
ColumnPlan planColumn(const OdbcColumnInfo& info);

}  // namespace velmora::server
