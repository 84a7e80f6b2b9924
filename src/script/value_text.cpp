#include "script/value_text.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

#include "script/date_text.h"
#include "script/number_text.h"
#include "script/string_literal.h"
#include "server/identifier.h"
#include "text/trim.h"

namespace velmora::script {

namespace {

using namespace server;  // Value, its kinds and ColumnKind

// The names the conversion errors give the kinds of a value, after the platform's variants.
const char* kindName(const Value& value) {
  static constexpr const char* names[] = {
      "Empty",    "Null",    "Boolean",  "ShortInt", "Byte",       "Smallint",
      "Word",     "Integer", "LongWord", "Int64",    "Single",     "Double",
      "Currency", "Date",    "Decimal",  "OleStr",   "Array Byte", "OleStr"};
  static_assert(std::size(names) == std::variant_size_v<Value>);
  return names[value.index()];
}

[[noreturn]] void cannotConvert(const Value& value, const char* target) {
  throw ConversionError(kindName(value), target, false);
}

[[noreturn]] void overflow(const Value& value, const char* target) {
  throw ConversionError(kindName(value), target, true);
}

unsigned __int128 powerOfTen(unsigned exponent) {
  unsigned __int128 power = 1;
  for (unsigned i = 0; i < exponent; ++i)
    power *= 10;
  return power;
}

// The whole number a value holds: any integer kind, or a decimal without fraction. Fails for
// other kinds and for values outside [minimum, maximum].
std::int64_t wholeNumber(const Value& value, std::int64_t minimum, std::int64_t maximum,
                         const char* target) {
  auto inRange = [&](auto number) {
    if (std::cmp_less(number, minimum) || std::cmp_greater(number, maximum))
      overflow(value, target);
    return static_cast<std::int64_t>(number);
  };
  return std::visit(
      [&](const auto& held) -> std::int64_t {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_integral_v<Held> && !std::is_same_v<Held, bool>) {
          return inRange(held);
        } else if constexpr (std::is_same_v<Held, Decimal>) {
          // 10^38 still fits in 128 bits; with a larger scale a nonzero value lies below one.
          if (held.scale > 38 && held.digits != 0)
            cannotConvert(value, target);
          unsigned __int128 unit = held.scale > 38 ? 1 : powerOfTen(held.scale);
          if (held.digits % unit != 0)
            cannotConvert(value, target);
          unsigned __int128 magnitude = held.digits / unit;
          if (magnitude > static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()) +
                              (held.negative ? 1 : 0))
            overflow(value, target);
          auto low = static_cast<std::uint64_t>(magnitude);
          std::int64_t number =
              held.negative ? static_cast<std::int64_t>(0 - low) : static_cast<std::int64_t>(low);
          return inRange(number);
        } else {
          cannotConvert(value, target);
        }
      },
      value);
}

void appendWholeNumberText(std::string& out, const Value& value, ColumnKind kind) {
  switch (kind) {
    case ColumnKind::smallInteger:
      return appendIntegerText(out, wholeNumber(value, INT16_MIN, INT16_MAX, "Smallint"));
    case ColumnKind::tinyInteger:
      return appendIntegerText(out, wholeNumber(value, 0, UINT16_MAX, "Word"));
    case ColumnKind::bigInteger:
      return appendIntegerText(out, wholeNumber(value, INT64_MIN, INT64_MAX, "Int64"));
    default:
      return appendIntegerText(out, wholeNumber(value, INT32_MIN, INT32_MAX, "Integer"));
  }
}

// The exact decimal a value holds; decimals and amounts keep every digit.
Decimal exactDecimal(const Value& value) {
  return std::visit(
      [&](const auto& held) -> Decimal {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, Decimal>) {
          return held;
        } else if constexpr (std::is_same_v<Held, Currency>) {
          auto magnitude = static_cast<std::uint64_t>(held.tenThousandths);
          if (held.tenThousandths < 0)
            magnitude = 0 - magnitude;
          return Decimal{held.tenThousandths < 0, magnitude, 4};
        } else if constexpr (std::is_integral_v<Held> && !std::is_same_v<Held, bool>) {
          auto magnitude = static_cast<std::uint64_t>(held);
          bool negative = false;
          if constexpr (std::is_signed_v<Held>)
            negative = held < 0;
          if (negative)
            magnitude = 0 - magnitude;
          return Decimal{negative, magnitude, 0};
        } else {
          cannotConvert(value, "Decimal");
        }
      },
      value);
}

double floatingNumber(const Value& value) {
  return std::visit(
      [&](const auto& held) -> double {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_floating_point_v<Held>) {
          return held;
        } else if constexpr (std::is_integral_v<Held> && !std::is_same_v<Held, bool>) {
          return static_cast<double>(held);
        } else if constexpr (std::is_same_v<Held, Currency> || std::is_same_v<Held, Decimal>) {
          // Through the exact text, so the double is the nearest to the exact value.
          std::string text = amountText(exactDecimal(value), ".");
          double number = 0;
          std::from_chars(text.data(), text.data() + text.size(), number);
          return number;
        } else {
          cannotConvert(value, "Double");
        }
      },
      value);
}

void appendHex(std::string& line, std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  line += "0x";
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    line += kDigits[byte >> 4];
    line += kDigits[byte & 0x0F];
  }
}

// Text values end at their first NUL, as the platform's strings do. Every supported codeset
// writes U+0000, and no other character, as a zero byte: the text is converted whole and cut
// at its first zero byte, which memchr finds faster than a scan of the UTF-16 units would.
void appendUpToNul(const Codeset& codeset, std::string& out, std::u16string_view text) {
  const std::size_t start = out.size();
  codeset.appendFromUtf16(out, text);
  if (const void* nul = std::memchr(out.data() + start, '\0', out.size() - start))
    out.resize(static_cast<std::size_t>(static_cast<const char*>(nul) - out.data()));
}

std::string textUpToNul(const Codeset& codeset, std::u16string_view text) {
  std::string out;
  appendUpToNul(codeset, out, text);
  return out;
}

}  // namespace

ConversionError::ConversionError(std::string fromKind, std::string toKind, bool tooLarge)
    : std::runtime_error((tooLarge ? "Overflow while converting variant of type ("
                                   : "Could not convert variant of type (") +
                         fromKind + ") into type (" + toKind + ")"),
      fromKind_(std::move(fromKind)),
      toKind_(std::move(toKind)),
      overflow_(tooLarge) {}

ValueForm valueFormOf(const Field& field) {
  switch (field.kind()) {
    case ColumnKind::integer:
      // Identity values are written quoted.
      return field.column().isAutoIncrement ? ValueForm::quoted : ValueForm::bare;
    case ColumnKind::smallInteger:
    case ColumnKind::bigInteger:
    case ColumnKind::real:
    case ColumnKind::doubleReal:
      return ValueForm::bare;
    case ColumnKind::flag:
      return ValueForm::flag;
    case ColumnKind::bytes:
      return ValueForm::hex;
    case ColumnKind::variant:
      return ValueForm::variant;
    case ColumnKind::nationalText:
      return ValueForm::nationalQuoted;
    default:
      return ValueForm::quoted;
  }
}

std::string ValueText::text(const Field& field) const {
  std::string text;
  appendText(text, field);
  return text;
}

void ValueText::appendText(std::string& out, const Field& field) const {
  appendValueText(out, field.value(), field.column());
}

void ValueText::appendValueText(std::string& out, const Value& value,
                                const ColumnDescription& column) const {
  if (isNullOrEmpty(value))
    return;

  auto appendTextOf = [&](const char* target) {
    const auto* text = std::get_if<std::u16string>(&value);
    if (!text)
      cannotConvert(value, target);
    appendUpToNul(codeset_, out, *text);
  };
  auto appendBytes = [&](const char* target) {
    const auto* bytes = std::get_if<Bytes>(&value);
    if (!bytes)
      cannotConvert(value, target);
    out.append(bytes->begin(), bytes->end());
  };
  // A long column's value is its bytes or its text, whichever the layer supplied.
  if (column.isLong && column.kind != ColumnKind::variant)
    return std::holds_alternative<Bytes>(value) ? appendBytes("Array Byte")
                                                : appendTextOf("String");

  switch (column.kind) {
    case ColumnKind::text:
    case ColumnKind::guid:
      return appendTextOf("String");
    case ColumnKind::nationalText:
    case ColumnKind::date:
    case ColumnKind::time:
    case ColumnKind::dateTime2:
    case ColumnKind::dateTimeOffset:
      return appendTextOf("OleStr");
    case ColumnKind::tinyInteger:
    case ColumnKind::smallInteger:
    case ColumnKind::integer:
    case ColumnKind::bigInteger:
      return appendWholeNumberText(out, value, column.kind);
    case ColumnKind::real:
    case ColumnKind::doubleReal:
      // A real value keeps the digits that read back as a real, not those of its widening.
      if (const auto* single = std::get_if<float>(&value))
        appendGeneralNumberText(out, *single, ".");
      else
        appendGeneralNumberText(out, floatingNumber(value), ".");
      return;
    case ColumnKind::decimal:
    case ColumnKind::money:
      return appendAmountText(out, exactDecimal(value), ".");
    case ColumnKind::flag:
      out += flagOf(value) ? "True" : "False";
      return;
    case ColumnKind::dateTime: {
      const auto* dateTime = std::get_if<DateTime>(&value);
      if (!dateTime)
        cannotConvert(value, "Date");
      dates_.append(out, dateTime->days, DateTimeUse::dateAndTime);
      return;
    }
    case ColumnKind::bytes:
      return appendBytes("Array Byte");
    case ColumnKind::variant:
      out += variantText(value);
      return;
    case ColumnKind::unknown:
      break;
  }
  throw std::logic_error("no value text for a column of unknown kind");
}

// The text of a tagged value by its own kind. Numbers use ".", like every number in the script.
std::string ValueText::variantText(const Value& value) const {
  return std::visit(
      [&](const auto& held) -> std::string {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, server::Empty> || std::is_same_v<Held, server::Null>) {
          return {};
        } else if constexpr (std::is_same_v<Held, bool>) {
          return held ? "True" : "False";
        } else if constexpr (std::is_integral_v<Held>) {
          return integerText(held);
        } else if constexpr (std::is_floating_point_v<Held>) {
          return generalNumberText(held, ".");
        } else if constexpr (std::is_same_v<Held, Currency> || std::is_same_v<Held, Decimal>) {
          return amountText(exactDecimal(value), ".");
        } else if constexpr (std::is_same_v<Held, DateTime>) {
          return dateTimeText(held.days, DateTimeUse::dateAndTime, formats_);
        } else if constexpr (std::is_same_v<Held, std::u16string>) {
          return textUpToNul(codeset_, held);
        } else if constexpr (std::is_same_v<Held, NationalText>) {
          return textUpToNul(codeset_, held.text);
        } else if constexpr (std::is_same_v<Held, Bytes>) {
          // A byte array as text is its bytes, as for a binary column.
          return std::string(held.begin(), held.end());
        } else {
          cannotConvert(value, "OleStr");
        }
      },
      value);
}

void ValueText::appendLiteral(std::string& line, const Field& field, ValueForm form,
                              std::string& scratch) const {
  const Value& value = field.value();
  if (isNullOrEmpty(value)) {
    line += "Null";
    return;
  }
  if (form == ValueForm::flag) {
    line += flagOf(value) ? '1' : '0';
    return;
  }
  if (form == ValueForm::bare) {
    // The texts of the numeric class (integers, general numbers) never have blanks or
    // control characters to trim: they go straight into the line.
    appendValueText(line, value, field.column());
    return;
  }
  // A tagged value is written as a value of its own kind.
  if (form == ValueForm::variant)
    form = std::holds_alternative<Bytes>(value)          ? ValueForm::hex
           : std::holds_alternative<NationalText>(value) ? ValueForm::nationalQuoted
                                                         : ValueForm::quoted;
  if (form == ValueForm::hex) {
    // Never trimmed: leading or trailing bytes 0..32 are part of the value.
    scratch.clear();
    appendValueText(scratch, value, field.column());
    appendHex(line, scratch);
    return;
  }
  // Quoted: the text goes straight into the line, between the quotes; only a text that needs
  // trimming, doubled quotes or pieces is taken out again and written as a literal.
  const bool national = form == ValueForm::nationalQuoted;
  const std::size_t literalStart = line.size();
  line += national ? "N'" : "'";
  const std::size_t textStart = line.size();
  appendValueText(line, value, field.column());
  const std::string_view text(line.data() + textStart, line.size() - textStart);
  if (isPlainLiteralText(text)) {
    line += '\'';
    return;
  }
  scratch.assign(text);
  line.resize(literalStart);
  // Quotes inside are doubled so that a value neither ends the literal early nor injects
  // SQL into whoever runs the script.
  appendStringLiteral(line, text::trimmed(scratch), national);
}

bool ValueText::booleanValue(const Field& field) const {
  return flagOf(field.value());
}

bool ValueText::flagOf(const Value& value) {
  if (isNullOrEmpty(value))
    return false;
  if (const bool* flag = std::get_if<bool>(&value))
    return *flag;
  return wholeNumber(value, INT64_MIN, INT64_MAX, "Boolean") != 0;
}

}  // namespace velmora::script
