#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// Case folding of ASCII keywords (codeset names, format letters, type names): only A to Z
// fold, whatever the process locale says of other bytes.
namespace velmora::text {

constexpr char asciiLowerCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char asciiUpperCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool sameKeywordIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b,
                            [](char x, char y) { return asciiLowerCase(x) == asciiLowerCase(y); });
}

}  // namespace velmora::text
