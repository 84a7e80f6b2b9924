#pragma once

#include <string>
#include <string_view>

namespace velmora::text {

// Removes from both ends every character whose code is 0 to 32 (NUL, control characters,
// blank); characters inside stay. Works on bytes for narrow text, on code units for UTF-16.
template <typename Char>
std::basic_string_view<Char> trimmed(std::basic_string_view<Char> text) {
  auto isTrimmed = [](Char c) { return static_cast<unsigned>(c) <= 32; };
  while (!text.empty() && isTrimmed(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isTrimmed(text.back()))
    text.remove_suffix(1);
  return text;
}

inline std::string_view trimmed(const std::string& text) {
  return trimmed(std::string_view(text));
}
inline std::u16string_view trimmed(const std::u16string& text) {
  return trimmed(std::u16string_view(text));
}

}  // namespace velmora::text
