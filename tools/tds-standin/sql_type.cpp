#include "sql_type.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

namespace standin {
namespace {

struct Known {
  const char* name;
  BaseType base;
  // What may follow the name: nothing, (n) or (max), (p[,s]), or an optional (scale).
  enum Args { None, Length, PrecisionScale, FractionScale } args;
  int defaultLength;
  int maxLength;  // largest n; 0 when (max) alone is not allowed either
  bool allowsMax;
};

constexpr Known kKnown[] = {
    {"bit", BaseType::Bit, Known::None, 0, 0, false},
    {"tinyint", BaseType::TinyInt, Known::None, 0, 0, false},
    {"smallint", BaseType::SmallInt, Known::None, 0, 0, false},
    {"int", BaseType::Int, Known::None, 0, 0, false},
    {"bigint", BaseType::BigInt, Known::None, 0, 0, false},
    {"real", BaseType::Real, Known::None, 0, 0, false},
    {"float", BaseType::Float, Known::None, 0, 0, false},
    {"smallmoney", BaseType::SmallMoney, Known::None, 0, 0, false},
    {"money", BaseType::Money, Known::None, 0, 0, false},
    {"decimal", BaseType::Decimal, Known::PrecisionScale, 0, 0, false},
    {"numeric", BaseType::Numeric, Known::PrecisionScale, 0, 0, false},
    {"smalldatetime", BaseType::SmallDateTime, Known::None, 0, 0, false},
    {"datetime", BaseType::DateTime, Known::None, 0, 0, false},
    {"date", BaseType::Date, Known::None, 0, 0, false},
    {"time", BaseType::Time, Known::FractionScale, 0, 0, false},
    {"datetime2", BaseType::DateTime2, Known::FractionScale, 0, 0, false},
    {"datetimeoffset", BaseType::DateTimeOffset, Known::FractionScale, 0, 0, false},
    {"char", BaseType::Char, Known::Length, 1, 8000, false},
    {"varchar", BaseType::VarChar, Known::Length, 1, 8000, true},
    {"text", BaseType::Text, Known::None, 0, 0, false},
    {"nchar", BaseType::NChar, Known::Length, 1, 4000, false},
    {"nvarchar", BaseType::NVarChar, Known::Length, 1, 4000, true},
    {"ntext", BaseType::NText, Known::None, 0, 0, false},
    {"sysname", BaseType::SysName, Known::None, 128, 0, false},
    {"xml", BaseType::Xml, Known::None, 0, 0, false},
    {"binary", BaseType::Binary, Known::Length, 1, 8000, false},
    {"varbinary", BaseType::VarBinary, Known::Length, 1, 8000, true},
    {"image", BaseType::Image, Known::None, 0, 0, false},
    {"timestamp", BaseType::Timestamp, Known::None, 8, 0, false},
    {"rowversion", BaseType::Timestamp, Known::None, 8, 0, false},
    {"uniqueidentifier", BaseType::UniqueIdentifier, Known::None, 0, 0, false},
    {"sql_variant", BaseType::SqlVariant, Known::None, 0, 0, false},
    {"hierarchyid", BaseType::HierarchyId, Known::None, 0, 0, false},
    {"geometry", BaseType::Geometry, Known::None, 0, 0, false},
    {"geography", BaseType::Geography, Known::None, 0, 0, false},
};

}  // namespace

const char* baseTypeName(BaseType base) {
  if (base == BaseType::SysName)
    return "nvarchar";
  for (const Known& known : kKnown) {
    if (known.base == base)
      return known.name;
  }
  return "";
}

namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string stripBlanks(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (!std::isspace(static_cast<unsigned char>(c))) {
      out.push_back(c);
    }
  }
  return out;
}

int parseNumber(const std::string& text, const std::string& spelling) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    throw std::invalid_argument("bad number in column type \"" + spelling + "\"");
  }
  return std::stoi(text);
}

}  // namespace

bool SqlType::isAnsiText() const {
  return base == BaseType::Char || base == BaseType::VarChar || base == BaseType::Text;
}

bool SqlType::isUnicodeText() const {
  return base == BaseType::NChar || base == BaseType::NVarChar || base == BaseType::NText ||
         base == BaseType::SysName || base == BaseType::Xml;
}

bool SqlType::isBinary() const {
  return base == BaseType::Binary || base == BaseType::VarBinary || base == BaseType::Image ||
         base == BaseType::Timestamp || base == BaseType::HierarchyId ||
         base == BaseType::Geometry || base == BaseType::Geography;
}

bool SqlType::isTimeFamily() const {
  return base == BaseType::Date || base == BaseType::Time || base == BaseType::DateTime2 ||
         base == BaseType::DateTimeOffset;
}

SqlType SqlType::parse(const std::string& spelling) {
  std::string text = lower(stripBlanks(spelling));
  std::string name = text;
  std::vector<std::string> args;
  if (auto open = text.find('('); open != std::string::npos) {
    if (text.back() != ')') {
      throw std::invalid_argument("unknown column type \"" + spelling + "\"");
    }
    name = text.substr(0, open);
    std::string inner = text.substr(open + 1, text.size() - open - 2);
    std::size_t start = 0;
    for (;;) {
      auto comma = inner.find(',', start);
      args.push_back(inner.substr(start, comma - start));
      if (comma == std::string::npos) {
        break;
      }
      start = comma + 1;
    }
  }
  const Known* known = nullptr;
  for (const auto& k : kKnown) {
    if (name == k.name) {
      known = &k;
    }
  }
  if (known == nullptr) {
    throw std::invalid_argument("unknown column type \"" + spelling + "\"");
  }
  SqlType type;
  type.base = known->base;
  type.length = known->defaultLength;
  auto bad = [&] {
    return std::invalid_argument("bad arguments in column type \"" + spelling + "\"");
  };
  switch (known->args) {
    case Known::None:
      if (!args.empty()) {
        throw bad();
      }
      break;
    case Known::Length:
      if (args.size() > 1) {
        throw bad();
      }
      if (args.size() == 1) {
        if (args[0] == "max") {
          if (!known->allowsMax) {
            throw bad();
          }
          type.length = kMax;
        } else {
          type.length = parseNumber(args[0], spelling);
          if (type.length < 1 || type.length > known->maxLength) {
            throw bad();
          }
        }
      }
      break;
    case Known::PrecisionScale:
      type.precision = 18;
      if (args.size() > 2) {
        throw bad();
      }
      if (!args.empty()) {
        type.precision = parseNumber(args[0], spelling);
      }
      if (args.size() == 2) {
        type.scale = parseNumber(args[1], spelling);
      }
      if (type.precision < 1 || type.precision > 38 || type.scale > type.precision) {
        throw bad();
      }
      break;
    case Known::FractionScale:
      type.scale = type.base == BaseType::Date ? 0 : 7;
      if (args.size() > 1) {
        throw bad();
      }
      if (args.size() == 1) {
        type.scale = parseNumber(args[0], spelling);
      }
      if (type.scale > 7) {
        throw bad();
      }
      break;
  }
  return type;
}

}  // namespace standin
