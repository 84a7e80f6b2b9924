#pragma once

#include <stdexcept>
#include <string>

#include "script/codeset.h"
#include "script/date_text.h"
#include "script/locale_formats.h"
#include "server/table_reader.h"

namespace velmora::script {

// How a column's values go into a statement's value list, by its kind: the plain numbers
// bare (but for tinyint and identity int columns, quoted), bit as 1 or 0, binary columns as
// hex literals, since raw bytes between quotes cannot go into them, the values of a Unicode
// column (nchar, nvarchar, sysname, ntext, xml) as N'...' literals and all others quoted. A
// sql_variant value takes the form of its own kind. Fixed for a whole table because a
// column's kinds are.
enum class ValueForm { bare, flag, quoted, nationalQuoted, hex, variant };
ValueForm valueFormOf(const server::Field& field);

// A value that cannot be taken as the kind a statement needs: the value's kind and the kind
// wanted, by their variant names ("OleStr", "Double"...), and whether the value was of a
// fitting kind but too large. what() is "Could not convert variant of type (<from>) into type
// (<to>)", or "Overflow while converting variant of type (<from>) into type (<to>)".
class ConversionError : public std::runtime_error {
 public:
  ConversionError(std::string fromKind, std::string toKind, bool tooLarge);
  const std::string& fromKind() const { return fromKind_; }
  const std::string& toKind() const { return toKind_; }
  bool overflow() const { return overflow_; }

 private:
  std::string fromKind_;
  std::string toKind_;
  bool overflow_;
};

// The value text and boolean value of a field for the current row.
class ValueText {
 public:
  ValueText(const Codeset& codeset, const LocaleFormats& formats)
      : codeset_(codeset), formats_(formats), dates_(formats) {}

  // The value text in the process codeset (not trimmed). The binary kinds give their raw
  // bytes. Throws std::runtime_error where a value cannot be converted.
  std::string text(const server::Field& field) const;
  // The same text appended to `out`, which saves a string per value when building a line.
  void appendText(std::string& out, const server::Field& field) const;
  // True when the stored flag is not 0; false for NULL.
  bool booleanValue(const server::Field& field) const;
  // Appends the field's value as it stands in a value list: Null, else by `form` the trimmed
  // text bare, 1 or 0, the trimmed text as a string literal (appendStringLiteral), or the
  // bytes untrimmed as 0x and hex digits; a sql_variant's bytes as hex, its Unicode text as
  // an N'...' literal, anything else as a plain literal. `scratch` is the caller's text,
  // reused from value to value so that its memory is. Throws as appendText.
  void appendLiteral(std::string& line, const server::Field& field, ValueForm form,
                     std::string& scratch) const;

 private:
  // appendText and booleanValue for a value already looked up.
  void appendValueText(std::string& out, const server::Value& value,
                       const server::ColumnDescription& column) const;
  static bool flagOf(const server::Value& value);
  std::string variantText(const server::Value& value) const;

  const Codeset& codeset_;
  const LocaleFormats& formats_;
  DateTimeWriter dates_;
};

}  // namespace velmora::script
