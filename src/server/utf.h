#pragma once

#include <string>
#include <string_view>

// UTF-16 and UTF-8 conversions (driver texts, error messages). Unpaired surrogates
// and broken UTF-8 sequences become U+FFFD.
namespace velmora::server {

std::string utf8FromUtf16(std::u16string_view text);
std::u16string utf16FromUtf8(std::string_view text);

}  // namespace velmora::server
