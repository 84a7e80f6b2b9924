#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::exporter {

// The position of the first `wanted` at or after `from` that lies outside every [bracketed]
// part of an entry text ("[my sales].[a,b]", where "]]" inside stands for a "]"), or npos.
// `from` must lie outside brackets.
std::size_t findOutsideBrackets(std::string_view text, char wanted, std::size_t from = 0);

// "TABLE=VALUE", as the options that give something for one table take it: TABLE is an entry
// text as --table takes it, ended by the first '=' outside brackets, and VALUE the rest,
// whole.
struct TableAssignment {
  std::string table;
  std::string value;
};

// Empty when `text` has no '=' outside brackets, or nothing before or after it.
std::optional<TableAssignment> splitTableAssignment(std::string_view text);

}  // namespace velmora::exporter
