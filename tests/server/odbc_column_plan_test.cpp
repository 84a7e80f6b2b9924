#include "server/odbc_column_plan.h"

#include <gtest/gtest.h>

// Every type SQL Server has is checked through the driver in odbc_standin_test.cpp; these are
// the descriptions no stand-in table produces.
namespace velmora::server {
namespace {

constexpr int kSqlChar = 1, kSqlWvarchar = -9, kSqlLongvarbinary = -4;

TEST(PlanColumn, TypesTheLayerCannotReadAreLeftToTheReaderToDrop) {
  OdbcColumnInfo info;
  info.sqlType = 9999;
  info.typeName = "hypothetical";
  const ColumnPlan plan = planColumn(info);
  EXPECT_EQ(plan.description.type, ado::adUserDefined);
  EXPECT_EQ(plan.kind, FetchKind::none);
}

TEST(PlanColumn, ClrTypesWithoutANameAreLongBinaries) {
  OdbcColumnInfo info;
  info.sqlType = kSqlLongvarbinary;
  const ColumnPlan plan = planColumn(info);
  EXPECT_EQ(plan.description.type, ado::adLongVarBinary);
  EXPECT_EQ(plan.description.definedSize, 2147483647);
  EXPECT_TRUE(plan.isLong);
}

TEST(PlanColumn, TextBuffersHoldTheWholeDeclaredLength) {
  // n bytes of a code page or n UTF-16 units never need more than n units and a terminator.
  for (const auto& [sqlType, length] :
       {std::pair{kSqlChar, 1}, {kSqlChar, 8000}, {kSqlWvarchar, 4000}, {kSqlWvarchar, 1}}) {
    OdbcColumnInfo info;
    info.sqlType = sqlType;
    info.length = length;
    const ColumnPlan plan = planColumn(info);
    EXPECT_FALSE(plan.isLong);
    EXPECT_GE(plan.bufferBytes, (static_cast<std::size_t>(length) + 1) * sizeof(char16_t));
  }
}

}  // namespace
}  // namespace velmora::server
