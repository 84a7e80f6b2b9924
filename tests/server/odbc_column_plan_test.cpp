#include "server/odbc_column_plan.h"

#include <gtest/gtest.h>

namespace velmora::server {
namespace {

using namespace ado;

// The SQL types and names that FreeTDS reports for SQL Server's types.
constexpr int sqlChar = 1, sqlNumeric = 2, sqlDecimal = 3, sqlInteger = 4, sqlSmallint = 5,
              sqlReal = 7, sqlDouble = 8, sqlVarchar = 12, sqlTypeDate = 91, sqlTypeTimestamp = 93,
              sqlLongvarchar = -1, sqlBinary = -2, sqlVarbinary = -3, sqlLongvarbinary = -4,
              sqlBigint = -5, sqlTinyint = -6, sqlBit = -7, sqlWchar = -8, sqlWvarchar = -9,
              sqlWlongvarchar = -10, sqlGuid = -11, sqlSsVariant = -150, sqlSsXml = -152,
              sqlSsTime2 = -154, sqlSsTimestampOffset = -155;

struct PlanCase {
  const char* what;
  int sqlType;
  std::string typeName;
  std::int64_t length;
  int precision, scale;
  // Expected:
  int type;
  std::int32_t definedSize;
  std::uint8_t adoPrecision, adoScale;
  FetchKind kind;
  bool fixed;
  bool isLong;
  unsigned fractionDigits = 0;
};

TEST(PlanColumn, DescribesEverySqlServerTypeAsTheOldProviderDid) {
  using enum FetchKind;
  const PlanCase cases[] = {
      {"bit", sqlBit, "bit", 1, 1, 0, adBoolean, 2, 0, 0, flag, true, false},
      {"tinyint", sqlTinyint, "tinyint", 3, 3, 0, adUnsignedTinyInt, 1, 3, 0, unsigned8, true,
       false},
      {"smallint", sqlSmallint, "smallint", 5, 5, 0, adSmallInt, 2, 5, 0, integer16, true, false},
      {"int", sqlInteger, "int", 10, 10, 0, adInteger, 4, 10, 0, integer32, true, false},
      {"bigint", sqlBigint, "bigint", 19, 19, 0, adBigInt, 8, 19, 0, integer64, true, false},
      {"real", sqlReal, "real", 24, 24, 0, adSingle, 4, 7, 0, real32, true, false},
      {"float", sqlDouble, "float", 53, 53, 0, adDouble, 8, 15, 0, real64, true, false},
      {"smallmoney", sqlDecimal, "money", 10, 10, 4, adCurrency, 8, 10, 4, decimal, true, false},
      {"money", sqlDecimal, "money", 19, 19, 4, adCurrency, 8, 19, 4, decimal, true, false},
      {"decimal(12,5)", sqlNumeric, "decimal", 12, 12, 5, adNumeric, 19, 12, 5, decimal, true,
       false},
      {"decimal(38,0)", sqlNumeric, "decimal", 38, 38, 0, adNumeric, 19, 38, 0, decimal, true,
       false},
      {"numeric(10,0)", sqlNumeric, "numeric", 10, 10, 0, adNumeric, 19, 10, 0, decimal, true,
       false},
      {"decimal(9,0)", sqlNumeric, "decimal", 9, 9, 0, adNumeric, 19, 9, 0, integer32, true, false},
      {"smalldatetime", sqlTypeTimestamp, "datetime", 16, 0, 0, adDBTimeStamp, 16, 16, 0, dateTime,
       true, false},
      {"datetime", sqlTypeTimestamp, "datetime", 23, 3, 3, adDBTimeStamp, 16, 23, 3, dateTime, true,
       false},
      {"date", sqlTypeDate, "date", 10, 0, 0, adVarWChar, 10, 0, 0, date, false, false},
      {"time(0)", sqlSsTime2, "time", 8, 0, 0, adVarWChar, 8, 0, 0, time, false, false, 0},
      {"time(7)", sqlSsTime2, "time", 16, 7, 7, adVarWChar, 16, 0, 0, time, false, false, 7},
      {"datetime2(0)", sqlTypeTimestamp, "datetime2", 19, 0, 0, adVarWChar, 19, 0, 0, dateTime2,
       false, false, 0},
      {"datetime2(3)", sqlTypeTimestamp, "datetime2", 23, 3, 3, adVarWChar, 23, 0, 0, dateTime2,
       false, false, 3},
      {"datetimeoffset(0)", sqlSsTimestampOffset, "datetimeoffset", 26, 0, 0, adVarWChar, 26, 0, 0,
       dateTimeOffset, false, false, 0},
      {"datetimeoffset(7)", sqlSsTimestampOffset, "datetimeoffset", 34, 7, 7, adVarWChar, 34, 0, 0,
       dateTimeOffset, false, false, 7},
      {"char(6)", sqlChar, "char", 6, 6, 0, adChar, 6, 0, 0, text, true, false},
      {"varchar(200)", sqlVarchar, "varchar", 200, 200, 0, adVarChar, 200, 0, 0, text, false,
       false},
      {"varchar(max)", sqlVarchar, "varchar", 0, 0, 0, adLongVarChar, 2147483647, 0, 0, text, false,
       true},
      {"text", sqlLongvarchar, "text", 2147483647, 0, 0, adLongVarChar, 2147483647, 0, 0, text,
       false, true},
      {"nchar(5)", sqlWchar, "nchar", 5, 5, 0, adWChar, 5, 0, 0, text, true, false},
      {"nvarchar(40)", sqlWvarchar, "nvarchar", 40, 40, 0, adVarWChar, 40, 0, 0, text, false,
       false},
      {"sysname", sqlWvarchar, "nvarchar", 128, 128, 0, adVarWChar, 128, 0, 0, text, false, false},
      {"nvarchar(max)", sqlWvarchar, "nvarchar", 0, 0, 0, adLongVarWChar, 1073741823, 0, 0, text,
       false, true},
      {"ntext", sqlWlongvarchar, "ntext", 1073741823, 0, 0, adLongVarWChar, 1073741823, 0, 0, text,
       false, true},
      {"xml", sqlSsXml, "xml", 0, 0, 0, adLongVarWChar, 1073741823, 0, 0, text, false, true},
      {"binary(3)", sqlBinary, "binary", 3, 3, 0, adBinary, 3, 0, 0, bytes, true, false},
      {"timestamp", sqlBinary, "timestamp", 8, 8, 0, adBinary, 8, 0, 0, bytes, true, false},
      {"varbinary(10)", sqlVarbinary, "varbinary", 10, 10, 0, adVarBinary, 10, 0, 0, bytes, false,
       false},
      {"varbinary(max)", sqlVarbinary, "varbinary", 0, 0, 0, adLongVarBinary, 2147483647, 0, 0,
       bytes, false, true},
      {"image", sqlLongvarbinary, "image", 2147483647, 0, 0, adLongVarBinary, 2147483647, 0, 0,
       bytes, false, true},
      {"geography", sqlLongvarbinary, "", 0, 0, 0, adLongVarBinary, 2147483647, 0, 0, bytes, false,
       true},
      {"uniqueidentifier", sqlGuid, "uniqueidentifier", 36, 36, 0, adGUID, 16, 0, 0, guid, true,
       false},
      {"sql_variant", sqlSsVariant, "sql_variant", 8000, 0, 0, adVariant, 8016, 0, 0, text, false,
       true},
      {"unknown", 9999, "hypothetical", 4, 0, 0, adUserDefined, 4, 0, 0, none, false, false},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.what);
    OdbcColumnInfo info;
    info.name = u"C";
    info.sqlType = c.sqlType;
    info.typeName = c.typeName;
    info.length = c.length;
    info.precision = c.precision;
    info.scale = c.scale;
    const ColumnPlan plan = planColumn(info);
    EXPECT_EQ(plan.description.name, u"C");
    EXPECT_EQ(plan.description.type, c.type);
    EXPECT_EQ(plan.description.definedSize, c.definedSize);
    EXPECT_EQ(plan.description.precision, c.adoPrecision);
    EXPECT_EQ(plan.description.numericScale, c.adoScale);
    EXPECT_EQ(plan.description.serverTypeName, c.typeName);
    EXPECT_EQ(plan.kind, c.kind);
    EXPECT_EQ((plan.description.attributes & adFldFixed) != 0, c.fixed);
    EXPECT_EQ(plan.isLong, c.isLong);
    EXPECT_EQ(plan.fractionDigits, c.fractionDigits);
    if (!plan.isLong && plan.kind == text) {
      EXPECT_GE(plan.bufferBytes, (static_cast<std::size_t>(c.length) + 1) * 2);
    }
  }
}

struct AttributeCase {
  const char* what;
  std::string typeName;
  bool autoUnique;
  bool updatable;
  bool unknownUpdatable;
};

TEST(PlanColumn, OnlyOrdinaryColumnsCountAsUpdatable) {
  const AttributeCase cases[] = {
      {"ordinary", "int", false, true, true},
      {"identity", "int", true, true, false},
      {"computed", "int", false, false, false},
      {"timestamp", "timestamp", false, true, false},
  };
  for (const AttributeCase& c : cases) {
    SCOPED_TRACE(c.what);
    OdbcColumnInfo info;
    info.sqlType = c.typeName == "timestamp" ? sqlBinary : sqlInteger;
    info.typeName = c.typeName;
    info.length = c.typeName == "timestamp" ? 8 : 10;
    info.autoUniqueValue = c.autoUnique;
    info.updatable = c.updatable;
    const ColumnDescription description = planColumn(info).description;
    EXPECT_EQ((description.attributes & adFldUnknownUpdatable) != 0, c.unknownUpdatable);
    EXPECT_EQ(description.isAutoIncrement, std::optional<bool>(c.autoUnique));
    EXPECT_EQ(description.attributes & (adFldRowID | adFldUpdatable), 0u);
  }
}

}  // namespace
}  // namespace velmora::server
