#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// How names (databases, tables, columns, connection-string keys) compare when their case is
// ignored: the letters of ASCII, Latin-1, Greek and Cyrillic match their other case; every
// other character matches only itself.
namespace velmora::text {

constexpr char16_t lowerCaseOf(char16_t c) {
  if (c < 0x80)
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F)
    return static_cast<char16_t>(c + 0x50);
  return c;
}

inline std::u16string lowerCaseOf(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower)
    c = lowerCaseOf(c);
  return lower;
}

inline bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return std::ranges::equal(
      a, b, [](char16_t x, char16_t y) { return x == y || lowerCaseOf(x) == lowerCaseOf(y); });
}

}  // namespace velmora::text
