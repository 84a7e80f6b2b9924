#include "table_assignment.h"

namespace velmora::exporter {

std::size_t findOutsideBrackets(std::string_view text, char wanted, std::size_t from) {
  bool inBrackets = false;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (inBrackets) {
      if (c != ']')
        continue;
      if (i + 1 < text.size() && text[i + 1] == ']')
        ++i;
      else
        inBrackets = false;
    } else if (c == wanted) {
      return i;
    } else if (c == '[') {
      inBrackets = true;
    }
  }
  return std::string_view::npos;
}

std::optional<TableAssignment> splitTableAssignment(std::string_view text) {
  const std::size_t equals = findOutsideBrackets(text, '=');
  if (equals == std::string_view::npos || equals == 0 || equals + 1 == text.size())
    return std::nullopt;
  return TableAssignment{std::string(text.substr(0, equals)), std::string(text.substr(equals + 1))};
}

}  // namespace velmora::exporter
