#include "server/odbc_column_plan.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <limits>

namespace velmora::server {
namespace {

// SQL Server's own types as Microsoft's drivers number them; FreeTDS uses the same codes.
constexpr int kSqlSsUdt = -151;
constexpr int kSqlSsXml = -152;
constexpr int kSqlSsTime2 = -154;
constexpr int kSqlSsTimestampOffset = -155;

constexpr std::int32_t kLongTextSize = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kLongWideTextSize = kLongTextSize / 2;
constexpr std::size_t kTextBufferBytes = 64;

// Digits after the seconds of a time-like column of the given display length, whose form
// without fraction is `baseLength` characters long ('.' and the digits follow).
unsigned fractionDigitsOf(std::int64_t length, std::int64_t baseLength) {
  return length > baseLength + 1 ? static_cast<unsigned>(length - baseLength - 1) : 0;
}

struct Kind {
  ColumnKind kind;
  bool isLong = false;
};

// The (max) types report no length.
Kind textOrLong(ColumnKind kind, std::int64_t length) {
  return {kind, length <= 0};
}

Kind kindOf(const OdbcColumnInfo& info) {
  switch (info.sqlType) {
    case SQL_BIT:
      return {ColumnKind::flag};
    case SQL_TINYINT:
      return {ColumnKind::tinyInteger};
    case SQL_SMALLINT:
      return {ColumnKind::smallInteger};
    case SQL_INTEGER:
      return {ColumnKind::integer};
    case SQL_BIGINT:
      return {ColumnKind::bigInteger};
    case SQL_REAL:
      return {ColumnKind::real};
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return {ColumnKind::doubleReal};
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      if (info.typeName == "money" || info.typeName == "smallmoney")
        return {ColumnKind::money};
      // Small whole numbers of numeric type read as integers.
      return {info.scale == 0 && info.precision < 10 ? ColumnKind::integer : ColumnKind::decimal};
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case SQL_DATETIME:
      return {info.typeName == "datetime2" ? ColumnKind::dateTime2 : ColumnKind::dateTime};
    case SQL_TYPE_DATE:
      return {ColumnKind::date};
    case SQL_TYPE_TIME:
    case kSqlSsTime2:
      return {ColumnKind::time};
    case kSqlSsTimestampOffset:
      return {ColumnKind::dateTimeOffset};
    case SQL_CHAR:
      return {ColumnKind::text};
    case SQL_VARCHAR:
      return textOrLong(ColumnKind::text, info.length);
    case SQL_LONGVARCHAR:
      return {ColumnKind::text, true};
    // nchar and nvarchar, sysname (nvarchar(128) to the driver, whatever name it reports),
    // ntext and xml are Unicode.
    case SQL_WCHAR:
      return {ColumnKind::nationalText};
    case SQL_WVARCHAR:
      return textOrLong(ColumnKind::nationalText, info.length);
    case SQL_WLONGVARCHAR:
    case kSqlSsXml:
      return {ColumnKind::nationalText, true};
    case SQL_BINARY:
      return {ColumnKind::bytes};
    case SQL_VARBINARY:
      return textOrLong(ColumnKind::bytes, info.length);
    case SQL_LONGVARBINARY:
    case kSqlSsUdt:
      return {ColumnKind::bytes, true};
    case SQL_GUID:
      return {ColumnKind::guid};
    case kSqlSsVariant:
      return {ColumnKind::variant, true};
    default:
      return {ColumnKind::unknown};
  }
}

// What a character or binary column declares; what the long ones can hold.
std::int32_t definedSizeOf(const Kind& kind, std::int64_t length) {
  switch (kind.kind) {
    case ColumnKind::nationalText:
      if (kind.isLong)
        return kLongWideTextSize;
      [[fallthrough]];
    case ColumnKind::text:
    case ColumnKind::bytes:
      return kind.isLong ? kLongTextSize
                         : static_cast<std::int32_t>(std::min<std::int64_t>(length, kLongTextSize));
    default:
      return 0;
  }
}

std::size_t bufferBytesOf(ColumnKind kind, std::int64_t length) {
  const auto declared = static_cast<std::size_t>(std::max<std::int64_t>(length, 0));
  switch (kind) {
    case ColumnKind::text:
    case ColumnKind::nationalText:
      // A character column of n bytes or n UTF-16 units never needs more than n units; the
      // unit more is the terminator of text (national text comes as bytes, without one).
      return (declared + 1) * sizeof(char16_t);
    case ColumnKind::money:
      return sizeof(std::int64_t);
    case ColumnKind::bytes:
      return std::max<std::size_t>(declared, 1);
    case ColumnKind::unknown:
      return 0;
    default:
      return kTextBufferBytes;
  }
}

unsigned fractionDigitsOf(ColumnKind kind, std::int64_t length) {
  switch (kind) {
    case ColumnKind::time:
      return fractionDigitsOf(length, 8);
    case ColumnKind::dateTime2:
      return fractionDigitsOf(length, 19);
    case ColumnKind::dateTimeOffset:
      return fractionDigitsOf(length, 26);
    default:
      return 0;
  }
}

}  // namespace

ColumnPlan planColumn(const OdbcColumnInfo& info) {
  const Kind kind = kindOf(info);
  ColumnPlan plan;
  ColumnDescription& description = plan.description;
  description.name = info.name;
  description.kind = kind.kind;
  description.isLong = kind.isLong;
  description.definedSize = definedSizeOf(kind, info.length);
  description.isAutoIncrement = info.autoUniqueValue;
  description.serverTypeName = info.typeName;
  plan.bufferBytes = kind.isLong ? 0 : bufferBytesOf(kind.kind, info.length);
  plan.fractionDigits = fractionDigitsOf(kind.kind, info.length);
  return plan;
}

}  // namespace velmora::server
