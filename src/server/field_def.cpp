#include "server/field_def.h"

namespace velmora::server {

TFieldType fieldTypeOfAdoType(int adoType) {
  using namespace ado;
  switch (adoType) {
    case adSmallInt:
    case adTinyInt:
      return ftSmallint;
    case adInteger:
    case adError:
    case adUnsignedInt:
      return ftInteger;
    case adSingle:
    case adDouble:
      return ftFloat;
    case adCurrency:
    case adDecimal:
    case adNumeric:
    case adVarNumeric:
      return ftBCD;
    case adDate:
    case adFileTime:
    case adDBTimeStamp:
    case adDBFileTime:
      return ftDateTime;
    case adBSTR:
    case adWChar:
    case adVarWChar:
      return ftWideString;
    case adIDispatch:
      return ftIDispatch;
    case adBoolean:
      return ftBoolean;
    case adVariant:
    case adPropVariant:
      return ftVariant;
    case adIUnknown:
      return ftInterface;
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
      return ftWord;
    case adBigInt:
    case adUnsignedBigInt:
      return ftLargeint;
    case adGUID:
      return ftGuid;
    case adBinary:
      return ftBytes;
    case adChar:
      return ftFixedChar;
    case adDBDate:
      return ftDate;
    case adDBTime:
      return ftTime;
    case adChapter:
      return ftDataSet;
    case adVarChar:
      return ftString;
    case adLongVarChar:
    case adLongVarWChar:
      return ftMemo;
    case adVarBinary:
      return ftVarBytes;
    case adLongVarBinary:
      return ftBlob;
    default:
      return ftUnknown;
  }
}

std::optional<TFieldDef> makeFieldDef(const ColumnDescription& column, bool autoIncrementOffered) {
  TFieldDef def;
  def.DataType = fieldTypeOfAdoType(column.type);
  if (def.DataType == ftUnknown)
    return std::nullopt;
  // Small whole numbers of numeric type read as integers; decimal and varnumeric do not.
  if (column.type == ado::adNumeric && column.numericScale == 0 && column.precision < 10)
    def.DataType = ftInteger;

  switch (def.DataType) {
    case ftString:
    case ftBytes:
    case ftVarBytes:
    case ftFixedChar:
    case ftWideString:
      def.Size = column.definedSize;
      break;
    case ftInteger:
      if (autoIncrementOffered && column.isAutoIncrement.value_or(false))
        def.DataType = ftAutoInc;
      break;
    case ftBCD: {
      def.Precision = column.precision;
      auto scale = static_cast<std::int8_t>(column.numericScale);
      def.Size = scale < 0 ? 4 : scale;
      break;
    }
    case ftGuid:
      def.Size = 38;
      break;
    default:
      break;
  }

  def.faHiddenCol = (column.attributes & ado::adFldRowID) != 0;
  def.faFixed = (column.attributes & ado::adFldFixed) != 0;
  def.faReadonly = (column.attributes & (ado::adFldUpdatable | ado::adFldUnknownUpdatable)) == 0 ||
                   def.DataType == ftAutoInc;
  return def;
}

void checkFieldSize(const TFieldDef& def) {
  bool valid = true;
  // Exact decimals of every scale SQL Server allows (up to 38) are read whole, so ftBCD has
  // no size limit here.
  switch (def.DataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
      valid = def.Size >= 0;
      break;
    case ftBytes:
    case ftVarBytes:
      valid = def.Size != 0;
      break;
    case ftGuid:
      valid = def.Size == 38;
      break;
    default:
      break;
  }
  if (!valid)
    throw InvalidFieldSize();
}

}  // namespace velmora::server
