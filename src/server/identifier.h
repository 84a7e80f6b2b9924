#pragma once

#include <string>
#include <string_view>

namespace velmora::server {

// A schema, table, column or database name as it goes into a statement, used whole (a name
// with blanks at its ends is another name): a regular identifier that is not a T-SQL
// reserved keyword stays bare, anything else goes between [ and ] with every ] doubled.
// "Order Details" -> "[Order Details]", "Order" -> "[Order]", "张三" -> "张三", " a" -> "[ a]".
std::u16string sqlIdentifier(std::u16string_view name);

// Appends `text` between `open` and `close`, every `close` inside doubled: how SQL string
// literals ('O''Brien'), bracketed names ([a]]b]) and quoted connection-string values are
// written. Works on UTF-16 units or on codeset bytes (no supported multi-byte codeset uses a
// quote byte inside a character).
template <typename Char>
void appendEnclosed(std::basic_string<Char>& out, std::basic_string_view<Char> text, Char open,
                    Char close) {
  out += open;
  for (std::size_t at; (at = text.find(close)) != std::basic_string_view<Char>::npos;) {
    out.append(text.substr(0, at + 1));
    out += close;
    text.remove_prefix(at + 1);
  }
  out.append(text);
  out += close;
}

// The same as a new text.
std::u16string enclosed(std::u16string_view text, char16_t open, char16_t close);

}  // namespace velmora::server
