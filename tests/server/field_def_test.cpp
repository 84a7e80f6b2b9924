#include "server/field_def.h"

#include <gtest/gtest.h>

#include "support/memory_data_access.h"

namespace velmora::server {
namespace {

ColumnDescription described(int type, std::int32_t size = 10, std::uint8_t precision = 0,
                            std::uint8_t scale = 0,
                            std::uint32_t attributes = ado::adFldUnknownUpdatable) {
  ColumnDescription column;
  column.name = u"C";
  column.type = type;
  column.definedSize = size;
  column.precision = precision;
  column.numericScale = scale;
  column.attributes = attributes;
  return column;
}

struct TypeCase {
  int adoType;
  TFieldType expected;
};

TEST(FieldDef, EveryAdoTypeMapsToItsFieldType) {
  const TypeCase cases[] = {
      {ado::adEmpty, ftUnknown},
      {ado::adSmallInt, ftSmallint},
      {ado::adTinyInt, ftSmallint},
      {ado::adInteger, ftInteger},
      {ado::adError, ftInteger},
      {ado::adUnsignedInt, ftInteger},
      {ado::adSingle, ftFloat},
      {ado::adDouble, ftFloat},
      {ado::adCurrency, ftBCD},
      {ado::adDate, ftDateTime},
      {ado::adFileTime, ftDateTime},
      {ado::adDBTimeStamp, ftDateTime},
      {ado::adDBFileTime, ftDateTime},
      {ado::adBSTR, ftWideString},
      {ado::adWChar, ftWideString},
      {ado::adVarWChar, ftWideString},
      {ado::adIDispatch, ftIDispatch},
      {ado::adBoolean, ftBoolean},
      {ado::adVariant, ftVariant},
      {ado::adPropVariant, ftVariant},
      {ado::adIUnknown, ftInterface},
      {ado::adDecimal, ftBCD},
      {ado::adVarNumeric, ftBCD},
      {ado::adNumeric, ftBCD},
      {ado::adUnsignedTinyInt, ftWord},
      {ado::adUnsignedSmallInt, ftWord},
      {ado::adBigInt, ftLargeint},
      {ado::adUnsignedBigInt, ftLargeint},
      {ado::adGUID, ftGuid},
      {ado::adBinary, ftBytes},
      {ado::adChar, ftFixedChar},
      {ado::adDBDate, ftDate},
      {ado::adDBTime, ftTime},
      {ado::adChapter, ftDataSet},
      {ado::adVarChar, ftString},
      {ado::adLongVarChar, ftMemo},
      {ado::adLongVarWChar, ftMemo},
      {ado::adVarBinary, ftVarBytes},
      {ado::adLongVarBinary, ftBlob},
      {ado::adUserDefined, ftUnknown},
      {1, ftUnknown},
      {15, ftUnknown},
      {999, ftUnknown},
      {-1, ftUnknown},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.adoType);
    EXPECT_EQ(fieldTypeOfAdoType(c.adoType), c.expected);
    // Precision 20 keeps adNumeric out of the integer rule.
    std::optional<TFieldDef> def = makeFieldDef(described(c.adoType, 10, 20), true);
    EXPECT_EQ(def.has_value(), c.expected != ftUnknown);
    if (def) {
      EXPECT_EQ(def->DataType, c.expected);
    }
  }
}

struct NumericCase {
  int adoType;
  std::uint8_t precision;
  std::uint8_t scale;
  bool autoIncrement;
  TFieldType expected;
  std::int32_t size;
  std::int32_t precisionKept;
};

TEST(FieldDef, SmallWholeNumericsBecomeIntegersAndIdentitiesAutoInc) {
  const NumericCase cases[] = {
      {ado::adNumeric, 9, 0, false, ftInteger, 0, 0},
      {ado::adNumeric, 1, 0, false, ftInteger, 0, 0},
      {ado::adNumeric, 10, 0, false, ftBCD, 0, 10},
      {ado::adNumeric, 9, 1, false, ftBCD, 1, 9},
      {ado::adNumeric, 38, 10, false, ftBCD, 10, 38},
      {ado::adDecimal, 9, 0, false, ftBCD, 0, 9},
      {ado::adVarNumeric, 9, 0, false, ftBCD, 0, 9},
      {ado::adNumeric, 9, 0, true, ftAutoInc, 0, 0},
      {ado::adNumeric, 18, 0, true, ftBCD, 0, 18},
      {ado::adInteger, 10, 0, true, ftAutoInc, 0, 0},
      {ado::adBigInt, 19, 0, true, ftLargeint, 0, 0},
      {ado::adSmallInt, 5, 0, true, ftSmallint, 0, 0},
      {ado::adCurrency, 19, 4, false, ftBCD, 4, 19},
      // A scale that reads as a negative signed byte counts as four places.
      {ado::adNumeric, 20, 255, false, ftBCD, 4, 20},
      {ado::adNumeric, 20, 128, false, ftBCD, 4, 20},
      {ado::adNumeric, 38, 127, false, ftBCD, 127, 38},
  };
  for (const NumericCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.adoType << " p" << int(c.precision) << " s" << int(c.scale)
                                    << " auto " << c.autoIncrement);
    ColumnDescription column = described(c.adoType, 19, c.precision, c.scale);
    column.isAutoIncrement = c.autoIncrement;
    std::optional<TFieldDef> def = makeFieldDef(column, true);
    ASSERT_TRUE(def);
    EXPECT_EQ(def->DataType, c.expected);
    EXPECT_EQ(def->Size, c.size);
    EXPECT_EQ(def->Precision, c.precisionKept);
  }
}

TEST(FieldDef, IdentityCountsOnlyWhenColumnZeroOffersTheProperty) {
  ColumnDescription column = described(ado::adInteger, 4);
  column.isAutoIncrement = true;
  EXPECT_EQ(makeFieldDef(column, false)->DataType, ftInteger);
  EXPECT_EQ(makeFieldDef(column, true)->DataType, ftAutoInc);
  column.isAutoIncrement.reset();
  EXPECT_EQ(makeFieldDef(column, true)->DataType, ftInteger);
}

struct SizeCase {
  int adoType;
  std::int32_t definedSize;
  std::int32_t expected;
};

TEST(FieldDef, SizeIsDefinedSizeForTextAndBytesAnd38ForGuids) {
  const SizeCase cases[] = {
      {ado::adVarChar, 10, 10},
      {ado::adChar, 6, 6},
      {ado::adWChar, 5, 5},
      {ado::adVarWChar, 40, 40},
      {ado::adBinary, 8, 8},
      {ado::adVarBinary, 10, 10},
      {ado::adGUID, 16, 38},
      {ado::adInteger, 4, 0},
      {ado::adDouble, 8, 0},
      {ado::adLongVarChar, 2147483647, 0},
      {ado::adLongVarBinary, 2147483647, 0},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.adoType);
    EXPECT_EQ(makeFieldDef(described(c.adoType, c.definedSize), true)->Size, c.expected);
  }
}

struct AttributeCase {
  std::uint32_t attributes;
  bool identity;
  bool hidden;
  bool fixed;
  bool readOnly;
};

TEST(FieldDef, AttributesGiveHiddenFixedAndReadOnly) {
  const AttributeCase cases[] = {
      {ado::adFldUnknownUpdatable, false, false, false, false},
      {ado::adFldUpdatable, false, false, false, false},
      {0, false, false, false, true},
      {ado::adFldIsNullable | ado::adFldMayBeNull | ado::adFldLong, false, false, false, true},
      {ado::adFldRowID | ado::adFldUnknownUpdatable, false, true, false, false},
      {ado::adFldFixed | ado::adFldUnknownUpdatable, false, false, true, false},
      {ado::adFldFixed, false, false, true, true},
      {ado::adFldUnknownUpdatable, true, false, false, true},
  };
  for (const AttributeCase& c : cases) {
    SCOPED_TRACE(c.attributes);
    ColumnDescription column = described(ado::adInteger, 4, 10, 0, c.attributes);
    column.isAutoIncrement = c.identity;
    std::optional<TFieldDef> def = makeFieldDef(column, true);
    EXPECT_EQ(def->faHiddenCol, c.hidden);
    EXPECT_EQ(def->faFixed, c.fixed);
    EXPECT_EQ(def->faReadonly, c.readOnly);
  }
}

struct FieldSizeCase {
  TFieldType type;
  std::int32_t size;
  bool valid;
};

TEST(FieldDef, FieldSizeTestRejectsWhatNoFieldCanHold) {
  const FieldSizeCase cases[] = {
      {ftBCD, 33, true},         {ftBCD, 38, true},       {ftBCD, 0, true},
      {ftString, -1, false},     {ftString, 0, true},     {ftFixedChar, -5, false},
      {ftWideString, -1, false}, {ftWideString, 1, true}, {ftBytes, 0, false},
      {ftBytes, 1, true},        {ftVarBytes, 0, false},  {ftGuid, 38, true},
      {ftGuid, 16, false},       {ftInteger, -1, true},   {ftMemo, 0, true},
  };
  for (const FieldSizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " size " << c.size);
    TFieldDef def;
    def.DataType = c.type;
    def.Size = c.size;
    if (c.valid) {
      EXPECT_NO_THROW(checkFieldSize(def));
    } else {
      EXPECT_THROW(checkFieldSize(def), InvalidFieldSize);
    }
  }
  TFieldDef empty;
  empty.DataType = ftBytes;
  try {
    checkFieldSize(empty);
    FAIL();
  } catch (const InvalidFieldSize& error) {
    EXPECT_STREQ(error.what(), "Invalid field size");
  }
}

struct ServerTypeCase {
  const char* sqlType;
  TFieldType expected;
  std::int32_t size;
};

// The SQL Server types as the data access layer describes them, through the mapping.
TEST(FieldDef, SqlServerTypesGetTheirFieldTypes) {
  const ServerTypeCase cases[] = {
      {"bit", ftBoolean, 0},
      {"tinyint", ftWord, 0},
      {"smallint", ftSmallint, 0},
      {"int", ftInteger, 0},
      {"bigint", ftLargeint, 0},
      {"real", ftFloat, 0},
      {"float", ftFloat, 0},
      {"smallmoney", ftBCD, 4},
      {"money", ftBCD, 4},
      {"decimal(9,0)", ftInteger, 0},
      {"numeric(10,0)", ftBCD, 0},
      {"decimal(12,5)", ftBCD, 5},
      {"datetime", ftDateTime, 0},
      {"smalldatetime", ftDateTime, 0},
      {"date", ftWideString, 10},
      {"time(3)", ftWideString, 12},
      {"datetime2", ftWideString, 27},
      {"datetimeoffset(0)", ftWideString, 26},
      {"char(6)", ftFixedChar, 6},
      {"varchar(10)", ftString, 10},
      {"text", ftMemo, 0},
      {"varchar(max)", ftMemo, 0},
      {"nchar(5)", ftWideString, 5},
      {"nvarchar(40)", ftWideString, 40},
      {"ntext", ftMemo, 0},
      {"nvarchar(max)", ftMemo, 0},
      {"xml", ftMemo, 0},
      {"binary(3)", ftBytes, 3},
      {"varbinary(10)", ftVarBytes, 10},
      {"varbinary(max)", ftBlob, 0},
      {"image", ftBlob, 0},
      {"timestamp", ftBytes, 8},
      {"uniqueidentifier", ftGuid, 38},
      {"sql_variant", ftVariant, 0},
  };
  for (const ServerTypeCase& c : cases) {
    SCOPED_TRACE(c.sqlType);
    std::optional<TFieldDef> def = makeFieldDef(test::column(u"C", c.sqlType), true);
    ASSERT_TRUE(def);
    EXPECT_EQ(def->DataType, c.expected);
    EXPECT_EQ(def->Size, c.size);
    EXPECT_NO_THROW(checkFieldSize(*def));
  }
  EXPECT_EQ(makeFieldDef(test::column(u"ID", "int", {.identity = true}), true)->DataType,
            ftAutoInc);
}

}  // namespace
}  // namespace velmora::server
