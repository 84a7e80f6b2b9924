#pragma once

#include <string>
#include <string_view>

// The one conversion between UTF-16 and UTF-8, for driver texts, error messages and script
// text under a UTF-8 codeset. Ill-formed input: each maximal subpart of a broken UTF-8
// sequence (its longest start that could still have become a character, at least one byte)
// becomes one U+FFFD, as Unicode recommends; an unpaired surrogate, which no codeset holds,
// becomes '?' like any other character a codeset lacks.
namespace velmora::text {

std::string utf8FromUtf16(std::u16string_view text);
// The same text appended to `out`.
void appendUtf8FromUtf16(std::string& out, std::u16string_view text);
std::u16string utf16FromUtf8(std::string_view text);

}  // namespace velmora::text
