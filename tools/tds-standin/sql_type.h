#pragma once

#include <string>

namespace standin {

enum class BaseType {
  Bit,
  TinyInt,
  SmallInt,
  Int,
  BigInt,
  Real,
  Float,
  SmallMoney,
  Money,
  Decimal,
  Numeric,
  SmallDateTime,
  DateTime,
  Date,
  Time,
  DateTime2,
  DateTimeOffset,
  Char,
  VarChar,
  Text,
  NChar,
  NVarChar,
  NText,
  SysName,
  Xml,
  Binary,
  VarBinary,
  Image,
  Timestamp,
  UniqueIdentifier,
  SqlVariant,
  HierarchyId,
  Geometry,
  Geography,
};

// SQL Server's name of a base type as SQL_VARIANT_PROPERTY gives it: "int", "nvarchar" (also
// for sysname), "timestamp" (also for rowversion).
const char* baseTypeName(BaseType base);

// A column type as SQL Server spells it: `decimal(10,2)`, `nvarchar(max)`, `datetime2(3)`.
struct SqlType {
  static constexpr int kMax = -1;

  BaseType base = BaseType::Int;
  // Characters for char and nchar types, bytes for binary types, kMax for (max).
  int length = 0;
  int precision = 0;
  // Decimal places for decimal and numeric, fraction digits for the time types.
  int scale = 0;

  bool isMax() const { return length == kMax; }
  bool isAnsiText() const;     // char, varchar, text: code-page bytes
  bool isUnicodeText() const;  // nchar, nvarchar, ntext, sysname, xml: UTF-16
  bool isBinary() const;       // binary, varbinary, image, timestamp, the CLR types
  bool isTimeFamily() const;   // date, time, datetime2, datetimeoffset

  // Parses SQL Server's own spelling (case-insensitive). Throws std::invalid_argument with a
  // message that names the text when the type is unknown or its arguments are out of range.
  static SqlType parse(const std::string& spelling);
};

}  // namespace standin
