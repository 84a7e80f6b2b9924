#include "text_codec.h"

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace standin {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at pos and advances; malformed input yields U+FFFD.
char32_t nextCodePoint(std::string_view s, std::size_t& pos) {
  auto byte = [&](std::size_t i) { return static_cast<uint8_t>(s[i]); };
  uint8_t b = byte(pos);
  if (b < 0x80) {
    ++pos;
    return b;
  }
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
  if (extra < 0 || b >= 0xF8 || pos + static_cast<std::size_t>(extra) >= s.size()) {
    ++pos;
    return kReplacement;
  }
  char32_t cp = b & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    uint8_t c = byte(pos + i);
    if ((c & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  pos += extra + 1;
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return kReplacement;
  }
  return cp;
}

void appendUnit(std::string& out, uint16_t u) {
  out.push_back(static_cast<char>(u & 0xFF));
  out.push_back(static_cast<char>(u >> 8));
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

void appendUtf16(std::string& out, std::string_view utf8) {
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    if (static_cast<uint8_t>(utf8[pos]) < 0x80) {
      out.push_back(utf8[pos++]);
      out.push_back('\0');
      continue;
    }
    char32_t cp = nextCodePoint(utf8, pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      appendUnit(out, static_cast<uint16_t>(0xD800 | (cp >> 10)));
      appendUnit(out, static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
    } else {
      appendUnit(out, static_cast<uint16_t>(cp));
    }
  }
}

std::string toUtf16(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  appendUtf16(out, utf8);
  return out;
}

std::string fromUtf16(std::string_view utf16) {
  if (utf16.size() % 2 != 0) {
    throw std::invalid_argument("UTF-16 text with an odd number of bytes");
  }
  std::string out;
  out.reserve(utf16.size() / 2);
  auto unit = [&](std::size_t i) {
    return static_cast<uint16_t>(static_cast<uint8_t>(utf16[2 * i]) |
                                 (static_cast<uint8_t>(utf16[2 * i + 1]) << 8));
  };
  std::size_t n = utf16.size() / 2;
  for (std::size_t i = 0; i < n; ++i) {
    uint16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      char32_t cp = 0x10000 + ((char32_t{u} - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      appendUtf8(out, cp);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, u);
    }
  }
  return out;
}

std::size_t utf16Length(std::string_view utf8) {
  std::size_t pos = 0;
  std::size_t units = 0;
  while (pos < utf8.size()) {
    units += nextCodePoint(utf8, pos) >= 0x10000 ? 2 : 1;
  }
  return units;
}

std::u32string toCodePoints(std::string_view utf8) {
  std::u32string out;
  std::size_t pos = 0;
  while (pos < utf8.size())
    out.push_back(nextCodePoint(utf8, pos));
  return out;
}

CodePageEncoder::CodePageEncoder(const std::string& iconvName)
    : cd_(iconv_open(iconvName.c_str(), "UTF-8")) {
  if (cd_ == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error("code page " + iconvName + " is not available");
  }
}

CodePageEncoder::~CodePageEncoder() {
  iconv_close(cd_);
}

std::string CodePageEncoder::encode(std::string_view utf8) {
  bool ascii = true;
  for (char c : utf8) {
    if (static_cast<uint8_t>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    return std::string(utf8);
  }
  std::string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::size_t start = pos;
    nextCodePoint(utf8, pos);
    char inBuf[4];
    std::size_t inLen = pos - start;
    utf8.copy(inBuf, inLen, start);
    char outBuf[8];
    char* in = inBuf;
    char* outPtr = outBuf;
    std::size_t outLeft = sizeof outBuf;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd_, &in, &inLen, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      out.push_back('?');
    } else {
      out.append(outBuf, static_cast<std::size_t>(outPtr - outBuf));
    }
  }
  return out;
}

CodePageDecoder::CodePageDecoder(const std::string& iconvName)
    : cd_(iconv_open("UTF-8", iconvName.c_str())) {
  if (cd_ == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error("code page " + iconvName + " is not available");
  }
}

CodePageDecoder::~CodePageDecoder() {
  iconv_close(cd_);
}

std::string CodePageDecoder::decode(std::string_view bytes) {
  std::string out(bytes.size() * 3 + 4, '\0');
  std::string in(bytes);
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
      break;
    // A byte the code page does not define (or a lead byte without its trail): skip it.
    ++inPtr;
    --inLeft;
    for (char c : std::string("\xEF\xBF\xBD")) {
      *outPtr++ = c;
      --outLeft;
    }
  }
  out.resize(static_cast<std::size_t>(outPtr - out.data()));
  return out;
}

}  // namespace standin
