#pragma once

#include <cstdint>
#include <string>

#include "server/data_access.h"

// How a result column that the ODBC driver describes is presented (its ColumnDescription,
// which carries its kind) and fetched. No ODBC types: SQL type codes are plain ints.
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
  bool autoUniqueValue = false;
};

struct ColumnPlan {
  ColumnDescription description;
  unsigned fractionDigits = 0;  // digits after the seconds, for the text time kinds
  // The buffer a value of a column that is not long fits in.
  std::size_t bufferBytes = 0;

  ColumnKind kind() const { return description.kind; }
  bool isLong() const { return description.isLong; }
};

// A type the layer does not know gets ColumnKind::unknown.
ColumnPlan planColumn(const OdbcColumnInfo& info);

}  // namespace velmora::server
