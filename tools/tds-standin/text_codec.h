#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace standin {

// UTF-8 to UTF-16LE bytes. Malformed UTF-8 becomes U+FFFD.
void appendUtf16(std::string& out, std::string_view utf8);
std::string toUtf16(std::string_view utf8);
// UTF-16LE bytes to UTF-8; a lone surrogate becomes U+FFFD. Throws std::invalid_argument on
// an odd byte count.
std::string fromUtf16(std::string_view utf16);
// Number of UTF-16 code units of a UTF-8 string.
std::size_t utf16Length(std::string_view utf8);
// The code points of a UTF-8 string; malformed UTF-8 becomes U+FFFD.
std::u32string toCodePoints(std::string_view utf8);

// Converts UTF-8 into one single- or double-byte code page (iconv). Characters the code page
// lacks become '?', as a server stores them in a non-Unicode column.
class CodePageEncoder {
 public:
  explicit CodePageEncoder(const std::string& iconvName);
  ~CodePageEncoder();
  CodePageEncoder(const CodePageEncoder&) = delete;
  CodePageEncoder& operator=(const CodePageEncoder&) = delete;

  std::string encode(std::string_view utf8);

 private:
  iconv_t cd_;
};

// Converts text in one single- or double-byte code page back into UTF-8 (iconv). A byte
// sequence the code page does not define becomes U+FFFD.
class CodePageDecoder {
 public:
  explicit CodePageDecoder(const std::string& iconvName);
  ~CodePageDecoder();
  CodePageDecoder(const CodePageDecoder&) = delete;
  CodePageDecoder& operator=(const CodePageDecoder&) = delete;

  std::string decode(std::string_view bytes);

 private:
  iconv_t cd_;
};

}  // namespace standin
