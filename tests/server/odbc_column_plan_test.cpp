#include "server/odbc_column_plan.h"

#include <gtest/gtest.h>

#include "server/odbc_row_fetch.h"

// Every type SQL Server has is checked through the driver in odbc_standin_test.cpp; these are
// the descriptions no stand-in table produces.
namespace velmora::server {
namespace {

constexpr int kSqlChar = 1, kSqlWvarchar = -9, kSqlLongvarbinary = -4, kSqlNumeric = 2;

struct KindCase {
  int sqlType;
  const char* typeName;
  int precision, scale;
  ColumnKind expected;
  bool isLong;
};

TEST(PlanColumn, DecidesTheKindFromTheSqlTypeAndTheServersTypeName) {
  const KindCase cases[] = {
      // The driver may name sysname columns so; they are nvarchar(128) and Unicode.
      {kSqlWvarchar, "sysname", 0, 0, ColumnKind::nationalText, false},
      {kSqlNumeric, "numeric", 9, 0, ColumnKind::integer, false},
      {kSqlNumeric, "numeric", 9, 1, ColumnKind::decimal, false},
      {kSqlNumeric, "money", 19, 4, ColumnKind::money, false},
      // CLR types without a name the driver knows.
      {kSqlLongvarbinary, "", 0, 0, ColumnKind::bytes, true},
      {9999, "hypothetical", 0, 0, ColumnKind::unknown, false},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.typeName);
    OdbcColumnInfo info;
    info.sqlType = c.sqlType;
    info.typeName = c.typeName;
    info.length = c.sqlType == kSqlWvarchar ? 128 : 0;
    info.precision = c.precision;
    info.scale = c.scale;
    const ColumnPlan plan = planColumn(info);
    EXPECT_EQ(plan.kind(), c.expected);
    EXPECT_EQ(plan.isLong(), c.isLong);
  }
}

TEST(PlanColumn, TextBuffersHoldTheWholeDeclaredLength) {
  // n bytes of a code page or n UTF-16 units never need more than n units and a terminator.
  for (const auto& [sqlType, length] :
       {std::pair{kSqlChar, 1}, {kSqlChar, 8000}, {kSqlWvarchar, 4000}, {kSqlWvarchar, 1}}) {
    OdbcColumnInfo info;
    info.sqlType = sqlType;
    info.length = length;
    const ColumnPlan plan = planColumn(info);
    EXPECT_FALSE(plan.isLong());
    EXPECT_GE(plan.bufferBytes, (static_cast<std::size_t>(length) + 1) * sizeof(char16_t));
  }
}

TEST(PlanColumn, AnUnreadableValueNamesItsColumnInUtf8) {
  OdbcColumnInfo info;
  info.name = u"名称";
  info.sqlType = kSqlNumeric;
  info.precision = 18;
  const ColumnPlan plan = planColumn(info);
  const std::string text = "x";
  try {
    odbc::bufferValue(plan, reinterpret_cast<const std::byte*>(text.data()), text.size());
    ADD_FAILURE();
  } catch (const DataAccessError& error) {
    EXPECT_STREQ(
        error.what(),
        "Cannot read the value of column '\xE5\x90\x8D\xE7\xA7\xB0': not a decimal number: x");
  }
}

}  // namespace
}  // namespace velmora::server
