#include "script/value_text.h"

#include <gtest/gtest.h>

#include "support/memory_data_access.h"

namespace velmora::script {
namespace {

using server::Bytes;
using server::ColumnDescription;
using server::Currency;
using server::DateTime;
using server::Decimal;
using server::Value;
using test::column;

// One row of one column, opened through the table reader.
class OneValue {
 public:
  OneValue(ColumnDescription description, Value value) {
    description.name = u"C";
    server_.addTable(u"Db", u"T", {std::move(description)}, {{std::move(value)}});
    connection_->open({.database = u"Db"});
    reader_.setTableName(u"T");
    reader_.open();
  }
  const server::Field& field() const { return reader_.fieldByName(u"C"); }

 private:
  test::MemoryServer server_;
  test::MemoryConnectionFactory factory_{server_};
  std::unique_ptr<server::Connection> connection_ = factory_.createConnection();
  server::TableReader reader_{*connection_};
};

Decimal decimal(const char* digits, std::uint8_t scale, bool negative = false) {
  unsigned __int128 number = 0;
  for (const char* c = digits; *c; ++c)
    number = number * 10 + static_cast<unsigned>(*c - '0');
  return Decimal{negative, number, scale};
}

// Day number of a date and time, days since 30 December 1899.
double dayNumber(int daysSinceEpoch, int hour, int minute, int second, int millisecond = 0) {
  return daysSinceEpoch + (((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / 86400000.0;
}

struct TextCase {
  std::string label;
  ColumnDescription column;
  Value value;
  std::string expected;
};

class ValueTextTest : public testing::Test {
 protected:
  std::string textOf(const ColumnDescription& description, const Value& value) const {
    OneValue one(description, value);
    const std::string text = valueText.text(one.field());
    // Appending gives the same text after whatever the line already holds.
    std::string line = "x,";
    valueText.appendText(line, one.field());
    EXPECT_EQ(line, "x," + text);
    return text;
  }

  Codeset utf8{"UTF-8"};
  LocaleFormats formats;
  ValueText valueText{utf8, formats};
};

TEST_F(ValueTextTest, EachFieldTypeGivesItsText) {
  constexpr int kJan5th2023 = 44931;
  const TextCase cases[] = {
      {"int", column(u"C", "int"), std::int32_t{-42}, "-42"},
      {"int extreme", column(u"C", "int"), std::int32_t{INT32_MIN}, "-2147483648"},
      {"identity", column(u"C", "int", {.identity = true}), std::int32_t{5}, "5"},
      {"smallint", column(u"C", "smallint"), std::int16_t{-32768}, "-32768"},
      {"tinyint", column(u"C", "tinyint"), std::uint8_t{255}, "255"},
      {"bigint min", column(u"C", "bigint"), std::int64_t{INT64_MIN}, "-9223372036854775808"},
      {"bigint max", column(u"C", "bigint"), std::int64_t{INT64_MAX}, "9223372036854775807"},
      {"numeric(9,0) decimal", column(u"C", "decimal(9,0)"), decimal("12345", 0), "12345"},
      {"numeric(9,0) negative", column(u"C", "numeric(9,0)"), decimal("1", 0, true), "-1"},
      {"numeric(9,0) integer", column(u"C", "numeric(9,0)"), std::int32_t{999999999}, "999999999"},
      {"numeric(9,0) whole with scale", column(u"C", "numeric(9,0)"), decimal("1200", 2), "12"},
      {"bigint from decimal", column(u"C", "bigint"), decimal("9223372036854775808", 0, true),
       "-9223372036854775808"},
      {"real", column(u"C", "real"), 0.1f, "0.1"},
      {"real largest", column(u"C", "real"), 3.40282347e38f, "3.4028234E38"},
      {"float shortest", column(u"C", "float"), 0.1 + 0.2, "0.30000000000000004"},
      {"float 1E15", column(u"C", "float"), 1e15, "1E15"},
      {"float negative", column(u"C", "float"), -1.5, "-1.5"},
      {"float zero", column(u"C", "float"), -0.0, "0"},
      {"money", column(u"C", "money"), decimal("125000", 4), "12.5"},
      {"money as currency", column(u"C", "money"), Currency{-1}, "-0.0001"},
      {"decimal five places", column(u"C", "decimal(12,5)"), decimal("314159", 5), "3.14159"},
      {"decimal below four places", column(u"C", "decimal(12,5)"), decimal("1", 5), "0.00001"},
      {"decimal 38 digits", column(u"C", "decimal(38,0)"),
       decimal("99999999999999999999999999999999999999", 0),
       "99999999999999999999999999999999999999"},
      {"decimal 38 digits, 32 places", column(u"C", "decimal(38,32)"),
       decimal("12345678901234567890123456789012345678", 32, true),
       "-123456.78901234567890123456789012345678"},
      {"decimal 38 places", column(u"C", "decimal(38,38)"),
       decimal("10000000000000000000000000000000000001", 38),
       "0.10000000000000000000000000000000000001"},
      {"decimal trailing zeros", column(u"C", "decimal(10,2)"), decimal("1400", 2), "14"},
      {"bit", column(u"C", "bit"), true, "True"},
      {"datetime", column(u"C", "datetime"), DateTime{dayNumber(kJan5th2023, 9, 5, 7)},
       "1/5/2023 09:05:07"},
      {"datetime midnight", column(u"C", "datetime"), DateTime{0}, "12/30/1899"},
      {"date as text", column(u"C", "date"), std::u16string(u"1990-07-01"), "1990-07-01"},
      {"char keeps padding", column(u"C", "char(6)"), std::u16string(u"AB    "), "AB    "},
      {"varchar nothing cut", column(u"C", "varchar(10)"), std::u16string(u"一二三四五"),
       "一二三四五"},
      {"nvarchar", column(u"C", "nvarchar(20)"), std::u16string(u"张三"), "张三"},
      {"text cut at NUL", column(u"C", "varchar(10)"), std::u16string(u"ab\0cd", 5), "ab"},
      {"wide text cut at NUL", column(u"C", "nvarchar(10)"), std::u16string(u"\0x", 2), ""},
      {"memo text", column(u"C", "ntext"), std::u16string(u"line\r\nnext"), "line\r\nnext"},
      {"memo cut at NUL", column(u"C", "nvarchar(max)"), std::u16string(u"a\0b", 3), "a"},
      {"binary keeps NUL", column(u"C", "binary(3)"), Bytes{0x41, 0x00, 0x42},
       std::string("A\0B", 3)},
      {"varbinary empty", column(u"C", "varbinary(10)"), Bytes{}, ""},
      {"blob", column(u"C", "image"), Bytes{0x00, 0xFF}, std::string("\0\xFF", 2)},
      {"blob given text", column(u"C", "varbinary(max)"), std::u16string(u"x\0y", 3), "x"},
      {"guid", column(u"C", "uniqueidentifier"),
       std::u16string(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
       "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"},
      {"guid without braces", column(u"C", "uniqueidentifier"),
       std::u16string(u"6F9619FF-8B86-D011-B42D-00C04FC964FF"),
       "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
      {"guid too long", column(u"C", "uniqueidentifier"),
       std::u16string(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}xy"),
       "{6F9619FF-8B86-D011-B42D-00C04FC964FF}xy"},
      {"null int", column(u"C", "int"), server::Null{}, ""},
      {"empty text", column(u"C", "nvarchar(5)"), server::Empty{}, ""},
      {"null of the wrong kind", column(u"C", "datetime"), server::Null{}, ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(textOf(c.column, c.value), c.expected);
  }
}

TEST_F(ValueTextTest, DateFieldTypesShowTheirPartsAndMilliseconds) {
  const TextCase cases[] = {
      {"date and time", column(u"C", "datetime"), DateTime{dayNumber(44931, 13, 30, 0)},
       "1/5/2023 13:30:00"},
      {"milliseconds", column(u"C", "datetime"), DateTime{dayNumber(44931, 9, 5, 7, 250)},
       "1/5/2023 09:05:07.250"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(textOf(c.column, c.value), c.expected);
  }
}

TEST_F(ValueTextTest, VariantValuesAreWrittenByTheirKind) {
  const TextCase cases[] = {
      {"null", column(u"C", "sql_variant"), server::Null{}, ""},
      {"int8", column(u"C", "sql_variant"), std::int8_t{-5}, "-5"},
      {"uint8", column(u"C", "sql_variant"), std::uint8_t{200}, "200"},
      {"uint16", column(u"C", "sql_variant"), std::uint16_t{65535}, "65535"},
      {"uint32", column(u"C", "sql_variant"), std::uint32_t{4000000000u}, "4000000000"},
      {"int64", column(u"C", "sql_variant"), std::int64_t{INT64_MIN}, "-9223372036854775808"},
      {"single", column(u"C", "sql_variant"), 0.1f, "0.1"},
      {"double", column(u"C", "sql_variant"), 1e-5, "1E-5"},
      {"currency", column(u"C", "sql_variant"), Currency{125000}, "12.5"},
      {"decimal", column(u"C", "sql_variant"), decimal("100001", 5), "1.00001"},
      {"boolean", column(u"C", "sql_variant"), false, "False"},
      {"date", column(u"C", "sql_variant"), DateTime{dayNumber(44931, 0, 0, 1)},
       "1/5/2023 00:00:01"},
      {"text cut at NUL", column(u"C", "sql_variant"), std::u16string(u"ab\0c", 4), "ab"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(textOf(c.column, c.value), c.expected);
  }
}

struct ErrorCase {
  std::string label;
  ColumnDescription column;
  Value value;
  std::string message;
};

TEST_F(ValueTextTest, ValuesThatDoNotFitTheirColumnFailWithTheConversionText) {
  const ErrorCase cases[] = {
      {"text into int", column(u"C", "int"), std::u16string(u"5"),
       "Could not convert variant of type (OleStr) into type (Integer)"},
      {"double into int", column(u"C", "int"), 5.0,
       "Could not convert variant of type (Double) into type (Integer)"},
      {"bool into bigint", column(u"C", "bigint"), true,
       "Could not convert variant of type (Boolean) into type (Int64)"},
      {"fraction into numeric(9,0)", column(u"C", "numeric(9,0)"), decimal("1250", 2),
       "Could not convert variant of type (Decimal) into type (Integer)"},
      {"int above smallint", column(u"C", "smallint"), std::int32_t{32768},
       "Overflow while converting variant of type (Integer) into type (Smallint)"},
      {"negative into word", column(u"C", "tinyint"), std::int16_t{-1},
       "Overflow while converting variant of type (Smallint) into type (Word)"},
      {"int64 above int", column(u"C", "int"), std::int64_t{2147483648},
       "Overflow while converting variant of type (Int64) into type (Integer)"},
      {"uint32 above int", column(u"C", "int"), std::uint32_t{4000000000u},
       "Overflow while converting variant of type (LongWord) into type (Integer)"},
      {"decimal above int64", column(u"C", "bigint"), decimal("9223372036854775808", 0),
       "Overflow while converting variant of type (Decimal) into type (Int64)"},
      {"38 digits into int", column(u"C", "numeric(9,0)"),
       decimal("99999999999999999999999999999999999999", 0),
       "Overflow while converting variant of type (Decimal) into type (Integer)"},
      {"text into money", column(u"C", "money"), std::u16string(u"1.5"),
       "Could not convert variant of type (OleStr) into type (Decimal)"},
      {"double into decimal", column(u"C", "decimal(10,2)"), 1.5,
       "Could not convert variant of type (Double) into type (Decimal)"},
      {"text into float", column(u"C", "float"), std::u16string(u"1"),
       "Could not convert variant of type (OleStr) into type (Double)"},
      {"text into datetime", column(u"C", "datetime"), std::u16string(u"2023-01-05"),
       "Could not convert variant of type (OleStr) into type (Date)"},
      {"int into nvarchar", column(u"C", "nvarchar(10)"), std::int32_t{1},
       "Could not convert variant of type (Integer) into type (OleStr)"},
      {"bytes into varchar", column(u"C", "varchar(10)"), Bytes{1},
       "Could not convert variant of type (Array Byte) into type (String)"},
      {"text into binary", column(u"C", "binary(3)"), std::u16string(u"AB"),
       "Could not convert variant of type (OleStr) into type (Array Byte)"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.label);
    OneValue one(c.column, c.value);
    try {
      valueText.text(one.field());
      ADD_FAILURE() << "no error";
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.what(), c.message);
      EXPECT_EQ(error.overflow(), c.message.starts_with("Overflow"));
      EXPECT_TRUE(
          c.message.ends_with("(" + error.fromKind() + ") into type (" + error.toKind() + ")"));
    }
    EXPECT_FALSE(one.field().isNull());
  }
}

struct BooleanCase {
  Value value;
  bool expected;
};

TEST_F(ValueTextTest, BooleanValueIsTheFlagAndFalseForNull) {
  const BooleanCase cases[] = {
      {true, true},
      {false, false},
      {server::Null{}, false},
      {server::Empty{}, false},
      {std::int16_t{2}, true},
      {std::int16_t{0}, false},
  };
  for (const BooleanCase& c : cases) {
    SCOPED_TRACE(c.value.index());
    OneValue one(column(u"C", "bit"), c.value);
    EXPECT_EQ(valueText.booleanValue(one.field()), c.expected);
  }
  OneValue text(column(u"C", "bit"), std::u16string(u"1"));
  EXPECT_THROW(valueText.booleanValue(text.field()), std::runtime_error);
}

TEST_F(ValueTextTest, CharactersOutsideTheCodesetBecomeQuestionMarks) {
  Codeset gbk("GBK");
  ValueText gbkText(gbk, formats);
  OneValue one(column(u"C", "nvarchar(10)"), std::u16string(u"张한三"));
  EXPECT_EQ(gbkText.text(one.field()), "\xD5\xC5?\xC8\xFD");
}

struct FormCase {
  ColumnDescription column;
  ValueForm expected;
};

TEST(ValueForm, PlainNumbersAreBareAndUnicodeColumnsNational) {
  const FormCase cases[] = {
      {column(u"C", "smallint"), ValueForm::bare},
      {column(u"C", "int"), ValueForm::bare},
      {column(u"C", "bigint"), ValueForm::bare},
      {column(u"C", "real"), ValueForm::bare},
      {column(u"C", "float"), ValueForm::bare},
      {column(u"C", "decimal(9,0)"), ValueForm::bare},
      {column(u"C", "int", {.identity = true}), ValueForm::quoted},
      {column(u"C", "bigint", {.identity = true}), ValueForm::bare},
      {column(u"C", "tinyint"), ValueForm::quoted},
      {column(u"C", "decimal(10,0)"), ValueForm::quoted},
      {column(u"C", "money"), ValueForm::quoted},
      {column(u"C", "datetime"), ValueForm::quoted},
      {column(u"C", "date"), ValueForm::quoted},
      {column(u"C", "uniqueidentifier"), ValueForm::quoted},
      {column(u"C", "varchar(max)"), ValueForm::quoted},
      {column(u"C", "bit"), ValueForm::flag},
      {column(u"C", "nchar(2)"), ValueForm::nationalQuoted},
      {column(u"C", "sysname"), ValueForm::nationalQuoted},
      {column(u"C", "ntext"), ValueForm::nationalQuoted},
      {column(u"C", "xml"), ValueForm::nationalQuoted},
      {column(u"C", "binary(8)"), ValueForm::hex},
      {column(u"C", "image"), ValueForm::hex},
      {column(u"C", "sql_variant"), ValueForm::variant},
  };
  for (const FormCase& c : cases) {
    SCOPED_TRACE(c.column.serverTypeName);
    OneValue one(c.column, server::Null{});
    EXPECT_EQ(valueFormOf(one.field()), c.expected);
  }
}

}  // namespace
}  // namespace velmora::script
