#include "server/odbc_column_plan.h"

#include <sql.h>
#include <sqlext.h>

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

std::int32_t definedSize(std::int64_t length) {
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(length, std::numeric_limits<std::int32_t>::max()));
}

// Digits after the seconds of a time-like column of the given display length, whose form
// without fraction is `baseLength` characters long ('.' and the digits follow).
unsigned fractionDigitsOf(std::int64_t length, std::int64_t baseLength) {
  return length > baseLength + 1 ? static_cast<unsigned>(length - baseLength - 1) : 0;
}

struct Shape {
  int type;
  std::int32_t size;
  std::uint8_t precision = 0;
  std::uint8_t scale = 0;
  FetchKind kind;
  bool fixed = false;
  bool isLong = false;
};

Shape shapeOf(const OdbcColumnInfo& info) {
  const auto precision = static_cast<std::uint8_t>(info.precision);
  const auto scale = static_cast<std::uint8_t>(info.scale);
  const std::int32_t length = definedSize(info.length);
  switch (info.sqlType) {
    case SQL_BIT:
      return {ado::adBoolean, 2, 0, 0, FetchKind::flag, true};
    case SQL_TINYINT:
      return {ado::adUnsignedTinyInt, 1, 3, 0, FetchKind::unsigned8, true};
    case SQL_SMALLINT:
      return {ado::adSmallInt, 2, 5, 0, FetchKind::integer16, true};
    case SQL_INTEGER:
      return {ado::adInteger, 4, 10, 0, FetchKind::integer32, true};
    case SQL_BIGINT:
      return {ado::adBigInt, 8, 19, 0, FetchKind::integer64, true};
    case SQL_REAL:
      return {ado::adSingle, 4, 7, 0, FetchKind::real32, true};
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return {ado::adDouble, 8, 15, 0, FetchKind::real64, true};
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      if (info.typeName == "money" || info.typeName == "smallmoney")
        return {ado::adCurrency,  8,   static_cast<std::uint8_t>(info.precision <= 10 ? 10 : 19), 4,
                FetchKind::money, true};
      return {ado::adNumeric,
              19,
              precision,
              scale,
              scale == 0 && precision < 10 ? FetchKind::integer32 : FetchKind::decimal,
              true};
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case SQL_DATETIME:
      if (info.typeName == "datetime2")
        return {ado::adVarWChar, length, 0, 0, FetchKind::dateTime2};
      if (info.typeName == "smalldatetime" || info.length == 16)
        return {ado::adDBTimeStamp, 16, 16, 0, FetchKind::dateTime, true};
      return {ado::adDBTimeStamp, 16, 23, 3, FetchKind::dateTime, true};
    case SQL_TYPE_DATE:
      return {ado::adVarWChar, 10, 0, 0, FetchKind::date};
    case SQL_TYPE_TIME:
    case kSqlSsTime2:
      return {ado::adVarWChar, length, 0, 0, FetchKind::time};
    case kSqlSsTimestampOffset:
      return {ado::adVarWChar, length, 0, 0, FetchKind::dateTimeOffset};
    case SQL_CHAR:
      return {ado::adChar, length, 0, 0, FetchKind::text, true};
    case SQL_VARCHAR:
      if (info.length <= 0)
        return {ado::adLongVarChar, kLongTextSize, 0, 0, FetchKind::text, false, true};
      return {ado::adVarChar, length, 0, 0, FetchKind::text};
    case SQL_LONGVARCHAR:
      return {ado::adLongVarChar, kLongTextSize, 0, 0, FetchKind::text, false, true};
    case SQL_WCHAR:
      return {ado::adWChar, length, 0, 0, FetchKind::nationalText, true};
    case SQL_WVARCHAR:
      if (info.length <= 0)
        return {ado::adLongVarWChar, kLongWideTextSize, 0, 0, FetchKind::text, false, true};
      return {ado::adVarWChar, length, 0, 0, FetchKind::nationalText};
    case SQL_WLONGVARCHAR:
    case kSqlSsXml:
      return {ado::adLongVarWChar, kLongWideTextSize, 0, 0, FetchKind::text, false, true};
    case SQL_BINARY:
      return {ado::adBinary, length, 0, 0, FetchKind::bytes, true};
    case SQL_VARBINARY:
      if (info.length <= 0)
        return {ado::adLongVarBinary, kLongTextSize, 0, 0, FetchKind::bytes, false, true};
      return {ado::adVarBinary, length, 0, 0, FetchKind::bytes};
    case SQL_LONGVARBINARY:
    case kSqlSsUdt:
      return {ado::adLongVarBinary, kLongTextSize, 0, 0, FetchKind::bytes, false, true};
    case SQL_GUID:
      return {ado::adGUID, 16, 0, 0, FetchKind::guid, true};
    case kSqlSsVariant:
      return {ado::adVariant, 8016, 0, 0, FetchKind::variant, false, true};
    default:
      return {ado::adUserDefined, length, 0, 0, FetchKind::none};
  }
}

std::size_t bufferBytesOf(const Shape& shape, const OdbcColumnInfo& info) {
  switch (shape.kind) {
    case FetchKind::text:
      // A character column of n bytes or n UTF-16 units never needs more than n units.
      return (static_cast<std::size_t>(std::max<std::int64_t>(info.length, 0)) + 1) *
             sizeof(char16_t);
    case FetchKind::nationalText:
      // As bytes the text needs no terminator; the unit more keeps the size of a text buffer.
      return (static_cast<std::size_t>(std::max<std::int64_t>(info.length, 0)) + 1) *
             sizeof(char16_t);
    case FetchKind::money:
      return sizeof(std::int64_t);
    case FetchKind::bytes:
      return static_cast<std::size_t>(std::max<std::int64_t>(info.length, 1));
    case FetchKind::none:
      return 0;
    default:
      return kTextBufferBytes;
  }
}

}  // namespace

ColumnPlan planColumn(const OdbcColumnInfo& info) {
  const Shape shape = shapeOf(info);
  ColumnPlan plan;
  ColumnDescription& description = plan.description;
  description.name = info.name;
  description.type = shape.type;
  description.definedSize = shape.size;
  description.precision = shape.precision;
  description.numericScale = shape.scale;
  description.isAutoIncrement = info.autoUniqueValue;
  description.serverTypeName = info.typeName;

  const bool serverMaintained = info.autoUniqueValue || info.typeName == "timestamp";
  if (shape.fixed)
    description.attributes |= ado::adFldFixed;
  if (info.updatable && !serverMaintained)
    description.attributes |= ado::adFldUnknownUpdatable;
  if (shape.isLong)
    description.attributes |= ado::adFldLong;
  if (info.nullable)
    description.attributes |= ado::adFldIsNullable | ado::adFldMayBeNull;

  plan.kind = shape.kind;
  plan.isLong = shape.isLong;
  plan.bufferBytes = bufferBytesOf(shape, info);
  switch (shape.kind) {
    case FetchKind::time:
      plan.fractionDigits = fractionDigitsOf(info.length, 8);
      break;
    case FetchKind::dateTime2:
      plan.fractionDigits = fractionDigitsOf(info.length, 19);
      break;
    case FetchKind::dateTimeOffset:
      plan.fractionDigits = fractionDigitsOf(info.length, 26);
      break;
    default:
      break;
  }
  return plan;
}

}  // namespace velmora::server
