#pragma once

#include <string>

#include "script/codeset.h"
#include "script/locale_formats.h"
#include "server/field_def.h"
#include "server/table_reader.h"

namespace velmora::script {

// How the generator writes a column's values.
enum class TypeClass { numeric, boolean, quoted };
TypeClass typeClassOf(server::TFieldType fieldType);

// The value text and boolean value of a field for the current row.
class ValueText {
 public:
  ValueText(const Codeset& codeset, const LocaleFormats& formats)
      : codeset_(codeset), formats_(formats) {}

  // The value text in the process codeset (not trimmed). The binary kinds give their raw
  // bytes. Throws std::runtime_error where a value cannot be converted.
  std::string text(const server::Field& field) const;
  // The same text appended to `out`, which saves a string per value when building a line.
  void appendText(std::string& out, const server::Field& field) const;
  // True when the stored flag is not 0; false for NULL.
  bool booleanValue(const server::Field& field) const;

 private:
  std::string variantText(const server::Value& value) const;

  const Codeset& codeset_;
  const LocaleFormats& formats_;
};

}  // namespace velmora::script
