#include "text/utf.h"

#include <cstdint>

namespace velmora::text {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string utf8FromUtf16(std::u16string_view text) {
  std::string out;
  appendUtf8FromUtf16(out, text);
  return out;
}

void appendUtf8FromUtf16(std::string& out, std::u16string_view text) {
  // A unit never takes more than three bytes; a surrogate pair takes four for two units.
  const std::size_t start = out.size();
  out.resize(start + text.size() * 3);
  char* p = out.data() + start;
  auto put = [&p](std::uint32_t byte) { *p++ = static_cast<char>(byte); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      put(unit);
    } else if (unit < 0x800) {
      put(0xC0 | (unit >> 6));
      put(0x80 | (unit & 0x3F));
    } else if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      const std::uint32_t code =
          0x10000 + ((std::uint32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
      put(0xF0 | (code >> 18));
      put(0x80 | ((code >> 12) & 0x3F));
      put(0x80 | ((code >> 6) & 0x3F));
      put(0x80 | (code & 0x3F));
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      put('?');
    } else {
      put(0xE0 | (unit >> 12));
      put(0x80 | ((unit >> 6) & 0x3F));
      put(0x80 | (unit & 0x3F));
    }
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}

// Overlong forms, encoded surrogates and codes above U+10FFFF are ill-formed: the second
// byte's range excludes them, so their maximal subpart is the lead byte alone.
std::u16string utf16FromUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    int following = 0;
    std::uint32_t code = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      following = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      following = 2;
      code = lead & 0x0F;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      following = 3;
      code = lead & 0x07;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    std::size_t next = i + 1;
    bool complete = following > 0;
    for (int k = 0; k < following; ++k) {
      const auto byte = next < bytes.size() ? static_cast<unsigned char>(bytes[next]) : 0;
      if (next >= bytes.size() || byte < low || byte > high) {
        complete = false;
        break;
      }
      code = (code << 6) | (byte & 0x3F);
      ++next;
      low = 0x80;
      high = 0xBF;
    }
    i = next;
    if (!complete) {
      out += kReplacementCharacter;
    } else if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

}  // namespace velmora::text
