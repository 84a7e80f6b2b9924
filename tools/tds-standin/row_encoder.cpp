#include "row_encoder.h"

#include <cstring>
#include <stdexcept>

#include "calendar.h"
#include "text_codec.h"
#include "tokens.h"
#include "wire.h"

namespace standin {
namespace {

namespace tds {
constexpr uint8_t kImage = 0x22, kText = 0x23, kGuid = 0x24, kIntN = 0x26, kDateN = 0x28,
                  kTimeN = 0x29, kDateTime2N = 0x2A, kDateTimeOffsetN = 0x2B, kInt1 = 0x30,
                  kBit = 0x32, kInt2 = 0x34, kInt4 = 0x38, kDateTim4 = 0x3A, kFlt4 = 0x3B,
                  kMoney = 0x3C, kDateTime = 0x3D, kFlt8 = 0x3E, kVariant = 0x62, kNText = 0x63,
                  kBitN = 0x68, kDecimalN = 0x6A, kNumericN = 0x6C, kFltN = 0x6D, kMoneyN = 0x6E,
                  kDateTimN = 0x6F, kMoney4 = 0x7A, kInt8 = 0x7F, kBigVarBinary = 0xA5,
                  kBigVarChar = 0xA7, kBigBinary = 0xAD, kBigChar = 0xAF, kNVarChar = 0xE7,
                  kNChar = 0xEF, kUdt = 0xF0, kXml = 0xF1;
}  // namespace tds

constexpr uint16_t kFlagNullable = 0x0001;
constexpr uint16_t kFlagUpdatableUnknown = 0x0008;
constexpr uint16_t kFlagIdentity = 0x0010;
constexpr uint16_t kFlagComputed = 0x0020;
constexpr uint32_t kUserTypeTimestamp = 80;

int decimalBytes(int precision) {
  return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}

int timeBytes(int scale) {
  return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

int64_t pow10(int n) {
  int64_t v = 1;
  while (n-- > 0)
    v *= 10;
  return v;
}

// The characters of the ISO text a time type has when sent as nvarchar.
int textLength(const SqlType& t) {
  int fraction = t.scale > 0 ? t.scale + 1 : 0;
  switch (t.base) {
    case BaseType::Date:
      return 10;
    case BaseType::Time:
      return 8 + fraction;
    case BaseType::DateTime2:
      return 19 + fraction;
    default:
      return 26 + fraction;
  }
}

std::string momentText(const SqlType& t, const Cell& c) {
  switch (t.base) {
    case BaseType::Date:
      return formatDate(c.days);
    case BaseType::Time:
      return formatTime(c.ticks, t.scale);
    case BaseType::DateTime2:
      return formatDate(c.days) + " " + formatTime(c.ticks, t.scale);
    default:
      return formatDate(c.days) + " " + formatTime(c.ticks, t.scale) + " " +
             formatOffset(c.offsetMinutes);
  }
}

// Fixed-width bytes of the numeric and date types, shared by rows and sql_variant values.
void putFixedPayload(ByteWriter& w, const SqlType& t, const Cell& c) {
  switch (t.base) {
    case BaseType::Bit:
    case BaseType::TinyInt:
      w.u8(static_cast<uint8_t>(c.integer));
      return;
    case BaseType::SmallInt:
      w.u16(static_cast<uint16_t>(c.integer));
      return;
    case BaseType::Int:
      w.u32(static_cast<uint32_t>(c.integer));
      return;
    case BaseType::BigInt:
      w.u64(static_cast<uint64_t>(c.integer));
      return;
    case BaseType::Real: {
      float f = static_cast<float>(c.real);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      w.u32(bits);
      return;
    }
    case BaseType::Float: {
      uint64_t bits;
      std::memcpy(&bits, &c.real, 8);
      w.u64(bits);
      return;
    }
    case BaseType::SmallMoney:
      w.u32(static_cast<uint32_t>(static_cast<int32_t>(c.scaled)));
      return;
    case BaseType::Money: {
      auto v = static_cast<uint64_t>(static_cast<int64_t>(c.scaled));
      w.u32(static_cast<uint32_t>(v >> 32));
      w.u32(static_cast<uint32_t>(v));
      return;
    }
    case BaseType::SmallDateTime:
      w.u16(static_cast<uint16_t>(c.days - kDaysTo1900));
      w.u16(static_cast<uint16_t>(c.ticks / (60 * kTicksPerSecond)));
      return;
    case BaseType::DateTime:
      w.u32(static_cast<uint32_t>(c.days - kDaysTo1900));
      w.u32(static_cast<uint32_t>((c.ticks * 3 + 50'000) / 100'000));
      return;
    case BaseType::Decimal:
    case BaseType::Numeric: {
      int bytes = decimalBytes(t.precision);
      w.u8(c.scaled < 0 ? 0 : 1);
      unsigned __int128 magnitude =
          c.scaled < 0 ? -static_cast<unsigned __int128>(c.scaled) : c.scaled;
      for (int i = 0; i < bytes - 1; ++i) {
        w.u8(static_cast<uint8_t>(magnitude >> (8 * i)));
      }
      return;
    }
    case BaseType::UniqueIdentifier:
      w.bytes(c.bytes);
      return;
    case BaseType::Date:
      w.le(static_cast<uint32_t>(c.days), 3);
      return;
    case BaseType::Time:
      w.le(static_cast<uint64_t>(c.ticks / pow10(7 - t.scale)), timeBytes(t.scale));
      return;
    case BaseType::DateTime2:
      w.le(static_cast<uint64_t>(c.ticks / pow10(7 - t.scale)), timeBytes(t.scale));
      w.le(static_cast<uint32_t>(c.days), 3);
      return;
    case BaseType::DateTimeOffset: {
      // The wire holds the UTC moment and the offset beside it.
      int64_t utc = c.ticks - int64_t{c.offsetMinutes} * 60 * kTicksPerSecond;
      int32_t days = c.days;
      if (utc < 0) {
        utc += kTicksPerDay;
        --days;
      } else if (utc >= kTicksPerDay) {
        utc -= kTicksPerDay;
        ++days;
      }
      w.le(static_cast<uint64_t>(utc / pow10(7 - t.scale)), timeBytes(t.scale));
      w.le(static_cast<uint32_t>(days), 3);
      w.u16(static_cast<uint16_t>(c.offsetMinutes));
      return;
    }
    default:
      throw std::logic_error("not a fixed-width type");
  }
}

int fixedPayloadSize(const SqlType& t) {
  switch (t.base) {
    case BaseType::Bit:
    case BaseType::TinyInt:
      return 1;
    case BaseType::SmallInt:
      return 2;
    case BaseType::Int:
    case BaseType::Real:
    case BaseType::SmallMoney:
    case BaseType::SmallDateTime:
      return 4;
    case BaseType::BigInt:
    case BaseType::Float:
    case BaseType::Money:
    case BaseType::DateTime:
      return 8;
    case BaseType::Decimal:
    case BaseType::Numeric:
      return decimalBytes(t.precision);
    case BaseType::UniqueIdentifier:
      return 16;
    case BaseType::Date:
      return 3;
    case BaseType::Time:
      return timeBytes(t.scale);
    case BaseType::DateTime2:
      return timeBytes(t.scale) + 3;
    case BaseType::DateTimeOffset:
      return timeBytes(t.scale) + 5;
    default:
      return 0;
  }
}

// Pads fixed-length text and binary values to their declared length, as the server stores
// them.
void putPadded(ByteWriter& w, const SqlType& t, const std::string& bytes) {
  w.bytes(bytes);
  if (t.base == BaseType::Char || t.base == BaseType::Binary || t.base == BaseType::Timestamp) {
    char pad = t.base == BaseType::Char ? ' ' : '\0';
    for (std::size_t i = bytes.size(); i < static_cast<std::size_t>(t.length); ++i) {
      w.u8(static_cast<uint8_t>(pad));
    }
  } else if (t.base == BaseType::NChar) {
    for (std::size_t i = bytes.size() / 2; i < static_cast<std::size_t>(t.length); ++i) {
      w.u8(' ');
      w.u8(0);
    }
  }
}

std::size_t paddedSize(const SqlType& t, const std::string& bytes) {
  if (t.base == BaseType::Char || t.base == BaseType::Binary || t.base == BaseType::Timestamp) {
    return std::max(bytes.size(), static_cast<std::size_t>(t.length));
  }
  if (t.base == BaseType::NChar) {
    return std::max(bytes.size(), static_cast<std::size_t>(t.length) * 2);
  }
  return bytes.size();
}

// A sql_variant value: its base type, the count of property bytes, the properties, then the
// value. Character kinds carry the collation before the maximum length in bytes.
void putVariant(ByteWriter& w, const TypedCell& v, const EncodeContext& context) {
  const SqlType& t = v.type;
  const Cell& c = v.cell;
  auto putTextProperties = [&](uint8_t typeToken, int maxBytes) {
    w.u8(typeToken);
    w.u8(7);
    for (uint8_t b : context.database->collation.bytes)
      w.u8(b);
    w.u16(static_cast<uint16_t>(maxBytes));
  };
  if (t.isTimeFamily() && context.tdsVersion < kTds73A) {
    putTextProperties(tds::kNVarChar, textLength(t) * 2);
    w.bytes(toUtf16(momentText(t, c)));
    return;
  }
  switch (t.base) {
    case BaseType::Bit:
      w.u8(tds::kBit), w.u8(0);
      break;
    case BaseType::TinyInt:
      w.u8(tds::kInt1), w.u8(0);
      break;
    case BaseType::SmallInt:
      w.u8(tds::kInt2), w.u8(0);
      break;
    case BaseType::Int:
      w.u8(tds::kInt4), w.u8(0);
      break;
    case BaseType::BigInt:
      w.u8(tds::kInt8), w.u8(0);
      break;
    case BaseType::Real:
      w.u8(tds::kFlt4), w.u8(0);
      break;
    case BaseType::Float:
      w.u8(tds::kFlt8), w.u8(0);
      break;
    case BaseType::SmallMoney:
      w.u8(tds::kMoney4), w.u8(0);
      break;
    case BaseType::Money:
      w.u8(tds::kMoney), w.u8(0);
      break;
    case BaseType::SmallDateTime:
      w.u8(tds::kDateTim4), w.u8(0);
      break;
    case BaseType::DateTime:
      w.u8(tds::kDateTime), w.u8(0);
      break;
    case BaseType::UniqueIdentifier:
      w.u8(tds::kGuid), w.u8(0);
      break;
    case BaseType::Decimal:
    case BaseType::Numeric:
      w.u8(t.base == BaseType::Decimal ? tds::kDecimalN : tds::kNumericN);
      w.u8(2);
      w.u8(static_cast<uint8_t>(t.precision));
      w.u8(static_cast<uint8_t>(t.scale));
      break;
    case BaseType::Date:
      w.u8(tds::kDateN), w.u8(0);
      break;
    case BaseType::Time:
    case BaseType::DateTime2:
    case BaseType::DateTimeOffset:
      w.u8(t.base == BaseType::Time        ? tds::kTimeN
           : t.base == BaseType::DateTime2 ? tds::kDateTime2N
                                           : tds::kDateTimeOffsetN);
      w.u8(1);
      w.u8(static_cast<uint8_t>(t.scale));
      break;
    case BaseType::Char:
    case BaseType::VarChar:
    case BaseType::NChar:
    case BaseType::NVarChar:
    case BaseType::SysName: {
      bool wide = t.isUnicodeText();
      putTextProperties(t.base == BaseType::Char    ? tds::kBigChar
                        : t.base == BaseType::NChar ? tds::kNChar
                        : wide                      ? tds::kNVarChar
                                                    : tds::kBigVarChar,
                        t.length * (wide ? 2 : 1));
      putPadded(w, t, c.bytes);
      return;
    }
    case BaseType::Binary:
    case BaseType::VarBinary:
      w.u8(t.base == BaseType::Binary ? tds::kBigBinary : tds::kBigVarBinary);
      w.u8(2);
      w.u16(static_cast<uint16_t>(t.length));
      putPadded(w, t, c.bytes);
      return;
    default:
      throw std::logic_error("type not allowed in sql_variant");
  }
  putFixedPayload(w, t, c);
}

}  // namespace

RowEncoder::RowEncoder(const std::vector<Column>& columns, const std::string& tableName,
                       const EncodeContext& context)
    : tableName_(tableName), context_(context) {
  const uint32_t v = context.tdsVersion;
  for (const auto& column : columns) {
    Plan p;
    p.column = &column;
    p.type = column.type;
    SqlType& t = p.type;
    bool nullable = column.nullable;
    // Older clients get the types their TDS version knows, as a server sends them.
    if (t.isTimeFamily() && v < kTds73A) {
      p.asText = true;
      t = SqlType{BaseType::NVarChar, textLength(column.type), 0, column.type.scale};
    }
    if (v < kTds72) {
      if (t.base == BaseType::VarChar && t.isMax())
        t = SqlType{BaseType::Text};
      if ((t.base == BaseType::NVarChar && t.isMax()) || t.base == BaseType::Xml)
        t = SqlType{BaseType::NText};
      if ((t.base == BaseType::VarBinary && t.isMax()) || t.base == BaseType::HierarchyId ||
          t.base == BaseType::Geometry || t.base == BaseType::Geography)
        t = SqlType{BaseType::Image};
    }
    if (t.base == BaseType::SysName) {
      t = SqlType{BaseType::NVarChar, 128};
    }
    struct FixedForm {
      BaseType base;
      uint8_t fixedToken, nullableToken;
    };
    static constexpr FixedForm kFixed[] = {
        {BaseType::Bit, tds::kBit, tds::kBitN},
        {BaseType::TinyInt, tds::kInt1, tds::kIntN},
        {BaseType::SmallInt, tds::kInt2, tds::kIntN},
        {BaseType::Int, tds::kInt4, tds::kIntN},
        {BaseType::BigInt, tds::kInt8, tds::kIntN},
        {BaseType::Real, tds::kFlt4, tds::kFltN},
        {BaseType::Float, tds::kFlt8, tds::kFltN},
        {BaseType::SmallMoney, tds::kMoney4, tds::kMoneyN},
        {BaseType::Money, tds::kMoney, tds::kMoneyN},
        {BaseType::SmallDateTime, tds::kDateTim4, tds::kDateTimN},
        {BaseType::DateTime, tds::kDateTime, tds::kDateTimN},
    };
    bool planned = false;
    for (const auto& f : kFixed) {
      if (f.base == t.base) {
        p.typeToken = nullable ? f.nullableToken : f.fixedToken;
        p.frame = nullable ? Frame::ByteLen : Frame::Fixed;
        p.size = fixedPayloadSize(t);
        planned = true;
      }
    }
    if (!planned) {
      p.size = fixedPayloadSize(t);
      switch (t.base) {
        case BaseType::Decimal:
          p.typeToken = tds::kDecimalN, p.frame = Frame::ByteLen;
          break;
        case BaseType::Numeric:
          p.typeToken = tds::kNumericN, p.frame = Frame::ByteLen;
          break;
        case BaseType::UniqueIdentifier:
          p.typeToken = tds::kGuid, p.frame = Frame::ByteLen;
          break;
        case BaseType::Date:
          p.typeToken = tds::kDateN, p.frame = Frame::ByteLen;
          break;
        case BaseType::Time:
          p.typeToken = tds::kTimeN, p.frame = Frame::ByteLen;
          break;
        case BaseType::DateTime2:
          p.typeToken = tds::kDateTime2N, p.frame = Frame::ByteLen;
          break;
        case BaseType::DateTimeOffset:
          p.typeToken = tds::kDateTimeOffsetN, p.frame = Frame::ByteLen;
          break;
        case BaseType::Char:
          p.typeToken = tds::kBigChar, p.frame = Frame::UShortLen, p.size = t.length;
          break;
        case BaseType::NChar:
          p.typeToken = tds::kNChar, p.frame = Frame::UShortLen, p.size = t.length * 2;
          break;
        case BaseType::Binary:
        case BaseType::Timestamp:
          p.typeToken = tds::kBigBinary, p.frame = Frame::UShortLen, p.size = t.length;
          break;
        case BaseType::VarChar:
        case BaseType::NVarChar:
        case BaseType::VarBinary: {
          bool wide = t.base == BaseType::NVarChar;
          p.typeToken = wide                          ? tds::kNVarChar
                        : t.base == BaseType::VarChar ? tds::kBigVarChar
                                                      : tds::kBigVarBinary;
          if (t.isMax()) {
            p.frame = Frame::Plp;
            p.textSizeApplies = true;
          } else {
            p.frame = Frame::UShortLen;
            p.size = t.length * (wide ? 2 : 1);
          }
          break;
        }
        case BaseType::Xml:
          p.typeToken = tds::kXml, p.frame = Frame::Plp;
          break;
        case BaseType::HierarchyId:
        case BaseType::Geometry:
        case BaseType::Geography:
          p.typeToken = tds::kUdt, p.frame = Frame::Plp;
          break;
        case BaseType::Text:
          p.typeToken = tds::kText, p.frame = Frame::LongText, p.textSizeApplies = true;
          break;
        case BaseType::NText:
          p.typeToken = tds::kNText, p.frame = Frame::LongText, p.textSizeApplies = true;
          break;
        case BaseType::Image:
          p.typeToken = tds::kImage, p.frame = Frame::LongText, p.textSizeApplies = true;
          break;
        case BaseType::SqlVariant:
          p.typeToken = tds::kVariant, p.frame = Frame::Variant;
          break;
        default:
          throw std::logic_error("column type without a wire form");
      }
    }
    plans_.push_back(p);
  }
}

void RowEncoder::putTypeInfo(std::string& out, const Plan& p) const {
  ByteWriter w(out);
  const SqlType& t = p.type;
  const auto& collation = context_.database->collation.bytes;
  auto putCollation = [&] {
    for (uint8_t b : collation)
      w.u8(b);
  };
  w.u8(p.typeToken);
  switch (p.typeToken) {
    case tds::kIntN:
    case tds::kBitN:
    case tds::kFltN:
    case tds::kMoneyN:
    case tds::kDateTimN:
    case tds::kGuid:
      w.u8(static_cast<uint8_t>(p.size));
      return;
    case tds::kDecimalN:
    case tds::kNumericN:
      w.u8(static_cast<uint8_t>(p.size));
      w.u8(static_cast<uint8_t>(t.precision));
      w.u8(static_cast<uint8_t>(t.scale));
      return;
    case tds::kTimeN:
    case tds::kDateTime2N:
    case tds::kDateTimeOffsetN:
      w.u8(static_cast<uint8_t>(t.scale));
      return;
    case tds::kBigChar:
    case tds::kBigVarChar:
    case tds::kNChar:
    case tds::kNVarChar:
      w.u16(p.frame == Frame::Plp ? 0xFFFF : static_cast<uint16_t>(p.size));
      putCollation();
      return;
    case tds::kBigBinary:
    case tds::kBigVarBinary:
      w.u16(p.frame == Frame::Plp ? 0xFFFF : static_cast<uint16_t>(p.size));
      return;
    case tds::kXml:
      w.u8(0);  // no schema collection
      return;
    case tds::kUdt: {
      const char* name = t.base == BaseType::HierarchyId ? "hierarchyid"
                         : t.base == BaseType::Geometry  ? "geometry"
                                                         : "geography";
      const char* assembly = t.base == BaseType::HierarchyId ? "SqlHierarchyId"
                             : t.base == BaseType::Geometry  ? "SqlGeometry"
                                                             : "SqlGeography";
      w.u16(t.base == BaseType::HierarchyId ? 892 : 0xFFFF);
      w.bVarchar(context_.database->name);
      w.bVarchar("sys");
      w.bVarchar(name);
      w.usVarchar(std::string("Microsoft.SqlServer.Types.") + assembly +
                  ", Microsoft.SqlServer.Types, Version=11.0.0.0, Culture=neutral, "
                  "PublicKeyToken=89845dcd8080cc91");
      return;
    }
    case tds::kText:
    case tds::kNText:
    case tds::kImage:
      w.u32(p.typeToken == tds::kNText ? 0x7FFFFFFE : 0x7FFFFFFF);
      if (p.typeToken != tds::kImage) {
        putCollation();
      }
      if (context_.tdsVersion >= kTds72) {
        w.u8(2);
        w.usVarchar("dbo");
        w.usVarchar(tableName_);
      } else {
        w.usVarchar("dbo." + tableName_);
      }
      return;
    case tds::kVariant:
      w.u32(8016);
      return;
    default:
      return;  // fixed types carry no more
  }
}

void RowEncoder::putColMetadata(std::string& out) const {
  ByteWriter w(out);
  w.u8(token::kColMetadata);
  w.u16(static_cast<uint16_t>(plans_.size()));
  for (const auto& p : plans_) {
    const Column& c = *p.column;
    uint32_t userType = c.type.base == BaseType::Timestamp ? kUserTypeTimestamp : 0;
    if (context_.tdsVersion >= kTds72) {
      w.u32(userType);
    } else {
      w.u16(static_cast<uint16_t>(userType));
    }
    uint16_t flags = 0;
    if (c.nullable)
      flags |= kFlagNullable;
    if (c.identity)
      flags |= kFlagIdentity;
    if (c.computed)
      flags |= kFlagComputed;
    if (!c.identity && !c.computed && c.type.base != BaseType::Timestamp) {
      flags |= kFlagUpdatableUnknown;
    }
    w.u16(flags);
    putTypeInfo(out, p);
    w.bVarchar(c.name);
  }
}

void RowEncoder::putValue(std::string& out, const Plan& p, const Cell& cell) const {
  ByteWriter w(out);
  const SqlType& t = p.type;
  if (cell.isNull()) {
    switch (p.frame) {
      case Frame::Fixed:
        throw std::logic_error("NULL in a NOT NULL column");
      case Frame::ByteLen:
      case Frame::LongText:
        w.u8(0);
        return;
      case Frame::UShortLen:
        w.u16(0xFFFF);
        return;
      case Frame::Plp:
        w.u64(~uint64_t{0});
        return;
      case Frame::Variant:
        w.u32(0);
        return;
    }
  }
  switch (p.frame) {
    case Frame::Fixed:
      putFixedPayload(w, t, cell);
      return;
    case Frame::ByteLen:
      w.u8(static_cast<uint8_t>(p.size));
      putFixedPayload(w, t, cell);
      return;
    case Frame::UShortLen:
      if (p.asText) {
        std::string text = toUtf16(momentText(p.column->type, cell));
        w.u16(static_cast<uint16_t>(text.size()));
        w.bytes(text);
        return;
      }
      w.u16(static_cast<uint16_t>(paddedSize(t, cell.bytes)));
      putPadded(w, t, cell.bytes);
      return;
    case Frame::Plp:
    case Frame::LongText: {
      std::string_view data = cell.bytes;
      if (p.textSizeApplies && context_.textSize >= 0 &&
          data.size() > static_cast<uint64_t>(context_.textSize)) {
        std::size_t keep = static_cast<std::size_t>(context_.textSize);
        if (t.isUnicodeText())
          keep &= ~std::size_t{1};
        data = data.substr(0, keep);
      }
      if (p.frame == Frame::Plp) {
        w.u64(data.size());
        if (!data.empty()) {
          w.u32(static_cast<uint32_t>(data.size()));
          w.bytes(data);
        }
        w.u32(0);
      } else {
        w.u8(16);
        w.bytes(std::string_view("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10",
                                 16));
        w.bytes(std::string_view("\0\0\0\0\0\0\0\x01", 8));
        w.u32(static_cast<uint32_t>(data.size()));
        w.bytes(data);
      }
      return;
    }
    case Frame::Variant: {
      std::size_t lengthAt = out.size();
      w.u32(0);
      putVariant(w, *cell.variant, context_);
      uint32_t length = static_cast<uint32_t>(out.size() - lengthAt - 4);
      for (int i = 0; i < 4; ++i)
        out[lengthAt + i] = static_cast<char>(length >> (8 * i));
      return;
    }
  }
}

void RowEncoder::putRow(std::string& out, const std::vector<Cell>& cells) const {
  bool anyNull = false;
  for (const auto& c : cells)
    anyNull |= c.isNull();
  if (anyNull && context_.tdsVersion >= kTds73B) {
    out.push_back(static_cast<char>(token::kNbcRow));
    std::size_t bitmapAt = out.size();
    out.append((cells.size() + 7) / 8, '\0');
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (cells[i].isNull()) {
        out[bitmapAt + i / 8] = static_cast<char>(out[bitmapAt + i / 8] | (1 << (i % 8)));
      } else {
        putValue(out, plans_[i], cells[i]);
      }
    }
    return;
  }
  out.push_back(static_cast<char>(token::kRow));
  for (std::size_t i = 0; i < cells.size(); ++i) {
    putValue(out, plans_[i], cells[i]);
  }
}

}  // namespace standin
