#include "synthetic_rows.h"

#include <algorithm>

#include "calendar.h"

namespace standin {
namespace {

uint64_t mix(uint64_t x) {
  // splitmix64 finaliser
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

int64_t pow10(int n) {
  int64_t v = 1;
  while (n-- > 0)
    v *= 10;
  return v;
}

void letters(std::string& out, uint64_t h, std::size_t count, bool wide) {
  out.clear();
  for (std::size_t i = 0; i < count; ++i) {
    if (i % 12 == 0 && i > 0)
      h = mix(h);
    out.push_back(static_cast<char>('a' + (h >> ((i % 12) * 5)) % 26));
    if (wide)
      out.push_back('\0');
  }
}

void randomBytes(std::string& out, uint64_t h, std::size_t count) {
  out.clear();
  for (std::size_t i = 0; i < count; ++i) {
    if (i % 8 == 0 && i > 0)
      h = mix(h);
    out.push_back(static_cast<char>(h >> ((i % 8) * 8)));
  }
}

void fillCell(Cell& c, const Column& col, uint64_t row, uint64_t h) {
  const SqlType& t = col.type;
  c.variant.reset();
  if (col.identity) {
    c.kind = Cell::Kind::Integer;
    int64_t limit = t.base == BaseType::TinyInt ? 255 : t.base == BaseType::SmallInt ? 32767 : 0;
    c.integer = limit ? static_cast<int64_t>(row % limit) + 1 : static_cast<int64_t>(row) + 1;
    if (t.base == BaseType::Decimal || t.base == BaseType::Numeric) {
      c.kind = Cell::Kind::Decimal;
      c.scaled = c.integer;
    }
    return;
  }
  if (col.nullable && h % 13 == 0 && t.base != BaseType::Timestamp) {
    c.kind = Cell::Kind::Null;
    return;
  }
  uint64_t h2 = mix(h);
  switch (t.base) {
    case BaseType::Bit:
      c.kind = Cell::Kind::Integer, c.integer = static_cast<int64_t>(h2 & 1);
      return;
    case BaseType::TinyInt:
      c.kind = Cell::Kind::Integer, c.integer = static_cast<int64_t>(h2 % 256);
      return;
    case BaseType::SmallInt:
      c.kind = Cell::Kind::Integer, c.integer = static_cast<int16_t>(h2);
      return;
    case BaseType::Int:
      c.kind = Cell::Kind::Integer, c.integer = static_cast<int32_t>(h2);
      return;
    case BaseType::BigInt:
      c.kind = Cell::Kind::Integer, c.integer = static_cast<int64_t>(h2);
      return;
    case BaseType::Real:
      c.kind = Cell::Kind::Real, c.real = static_cast<double>(h2 % 2'000'000) / 8.0 - 100'000;
      return;
    case BaseType::Float:
      c.kind = Cell::Kind::Real,
      c.real =
          static_cast<double>(static_cast<int64_t>(h2 % 2'000'000'000) - 1'000'000'000) / 1024.0;
      return;
    case BaseType::SmallMoney:
      c.kind = Cell::Kind::Decimal,
      c.scaled = static_cast<int64_t>(h2 % 2'000'000'000) - 1'000'000'000;
      return;
    case BaseType::Money:
      c.kind = Cell::Kind::Decimal, c.scaled = static_cast<int64_t>(h2) / 4;
      return;
    case BaseType::Decimal:
    case BaseType::Numeric: {
      c.kind = Cell::Kind::Decimal;
      int64_t magnitude =
          static_cast<int64_t>(h2 % static_cast<uint64_t>(pow10(std::min(t.precision, 18))));
      c.scaled = (h2 >> 63) ? -magnitude : magnitude;
      return;
    }
    case BaseType::SmallDateTime:
      c.kind = Cell::Kind::Moment;
      c.days = kDaysTo1900 + static_cast<int32_t>(h2 % 60'000);
      c.ticks = static_cast<int64_t>((h2 >> 20) % 1440) * 60 * kTicksPerSecond;
      return;
    case BaseType::DateTime: {
      c.kind = Cell::Kind::Moment;
      c.days = kDaysTo1900 - 20'000 + static_cast<int32_t>(h2 % 80'000);
      auto t300 = static_cast<int64_t>((h2 >> 24) % (86'400 * 300));
      c.ticks = t300 * 100'000 / 3;
      return;
    }
    case BaseType::Date:
    case BaseType::Time:
    case BaseType::DateTime2:
    case BaseType::DateTimeOffset: {
      c.kind = Cell::Kind::Moment;
      c.days = 1 + static_cast<int32_t>(h2 % 3'652'056);
      int64_t unit = pow10(7 - t.scale);
      c.ticks =
          t.base == BaseType::Date
              ? 0
              : static_cast<int64_t>((h2 >> 22) % static_cast<uint64_t>(kTicksPerDay / unit)) *
                    unit;
      c.offsetMinutes = t.base == BaseType::DateTimeOffset
                            ? static_cast<int16_t>(static_cast<int>((h2 >> 8) % 1681) - 840)
                            : 0;
      return;
    }
    case BaseType::Char:
    case BaseType::VarChar:
    case BaseType::Text:
    case BaseType::NChar:
    case BaseType::NVarChar:
    case BaseType::NText:
    case BaseType::SysName: {
      c.kind = Cell::Kind::Bytes;
      std::size_t limit =
          t.length > 0 ? std::min<std::size_t>(static_cast<std::size_t>(t.length), 24) : 40;
      letters(c.bytes, h2, 1 + h2 % limit, t.isUnicodeText());
      return;
    }
    case BaseType::Xml: {
      c.kind = Cell::Kind::Bytes;
      std::string inner;
      letters(inner, h2, 1 + h2 % 16, false);
      std::string text = "<r>" + inner + "</r>";
      c.bytes.clear();
      for (char ch : text) {
        c.bytes.push_back(ch);
        c.bytes.push_back('\0');
      }
      return;
    }
    case BaseType::Timestamp:
      c.kind = Cell::Kind::Bytes;
      c.bytes.assign(8, '\0');
      for (int i = 0; i < 8; ++i)
        c.bytes[7 - i] = static_cast<char>((row + 1) >> (8 * i));
      return;
    case BaseType::Binary:
    case BaseType::VarBinary:
    case BaseType::Image:
    case BaseType::HierarchyId:
    case BaseType::Geometry:
    case BaseType::Geography: {
      c.kind = Cell::Kind::Bytes;
      std::size_t limit =
          t.length > 0 ? std::min<std::size_t>(static_cast<std::size_t>(t.length), 16) : 16;
      randomBytes(c.bytes, h2, 1 + h2 % limit);
      return;
    }
    case BaseType::UniqueIdentifier:
      c.kind = Cell::Kind::Bytes;
      randomBytes(c.bytes, h2, 16);
      return;
    case BaseType::SqlVariant: {
      auto inner = std::make_shared<TypedCell>();
      inner->type = (h2 & 1) ? SqlType{BaseType::Int} : SqlType{BaseType::NVarChar, 20};
      Column innerColumn{"", inner->type, false};
      fillCell(inner->cell, innerColumn, row, h2);
      c.kind = Cell::Kind::Variant;
      c.variant = std::move(inner);
      return;
    }
  }
}

}  // namespace

SyntheticRows::SyntheticRows(const Table& table)
    : table_(table), seed_(table.generate ? table.generate->seed : 0) {}

void SyntheticRows::fill(uint64_t row, std::vector<Cell>& cells) const {
  cells.resize(table_.columns.size());
  uint64_t rowHash = mix(seed_ ^ mix(row));
  for (std::size_t i = 0; i < cells.size(); ++i) {
    fillCell(cells[i], table_.columns[i], row, mix(rowHash + i));
  }
}

}  // namespace standin
