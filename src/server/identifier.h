#pragma once

#include <string>
#include <string_view>

namespace velmora::server {

// A schema, table, column or database name as it goes into a statement, used whole (a name
// with blanks at its ends is another name): a regular identifier that is not a T-SQL
// reserved keyword stays bare, anything else goes between [ and ] with every ] doubled.
// "Order Details" -> "[Order Details]", "Order" -> "[Order]", "张三" -> "张三", " a" -> "[ a]".
std::u16string sqlIdentifier(std::u16string_view name);

// `text` between `open` and `close`, every `close` inside doubled: how SQL string literals
// ('O''Brien'), bracketed names ([a]]b]) and quoted connection-string values are written.
std::u16string enclosed(std::u16string_view text, char16_t open, char16_t close);

}  // namespace velmora::server
