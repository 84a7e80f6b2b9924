#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "server/data_access.h"

// Field types and column definitions: how a column described by the data access layer
// becomes a column of the table reader.
namespace velmora::server {

// The kind of a column of an opened table; the numbering is fixed.
enum TFieldType : int {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd
};

// One column of the opened table that has a field type other than ftUnknown.
struct TFieldDef {
  std::u16string name;
  TFieldType DataType = ftUnknown;
  std::int32_t Size = 0;  // bytes for the string and byte kinds, decimals for ftBCD, 38 for ftGuid
  std::int32_t Precision = 0;  // total digits for ftBCD
  bool faHiddenCol = false;
  bool faFixed = false;
  bool faReadonly = false;
};

// Raised when a field object cannot be made; what() is "Invalid field size".
class InvalidFieldSize : public std::runtime_error {
 public:
  InvalidFieldSize() : std::runtime_error("Invalid field size") {}
};

// The field type that an ADO type code maps to, before the rules for small numerics and
// identity columns; ftUnknown for a code without a field type.
TFieldType fieldTypeOfAdoType(int adoType);

// The column definition of `column` (its name left empty: the reader names columns), or
// nothing when the column has no field type. `autoIncrementOffered` tells whether column 0 of
// the table offers the "ISAUTOINCREMENT" property.
std::optional<TFieldDef> makeFieldDef(const ColumnDescription& column, bool autoIncrementOffered);

// The test made when a field object is made from `def`: a negative text size, an empty
// binary size or a GUID size other than 38. Throws InvalidFieldSize.
void checkFieldSize(const TFieldDef& def);

}  // namespace velmora::server
