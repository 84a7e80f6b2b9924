#include "session/name_lookup.h"

#include <algorithm>

#include "server/trim.h"

namespace velmora::session {
namespace {

char16_t asciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool equalIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return std::ranges::equal(a, b,
                            [](char16_t x, char16_t y) { return asciiLower(x) == asciiLower(y); });
}

}  // namespace

int findByName(const std::vector<std::u16string>& names, std::u16string_view wanted) {
  wanted = trimmed(wanted);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (trimmed(names[i]) == wanted)
      return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (equalIgnoringAsciiCase(trimmed(names[i]), wanted))
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace velmora::session
