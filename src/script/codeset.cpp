#include "script/codeset.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace velmora::script {

namespace {

// char16_t text is handed to iconv as it lies in memory, so the byte order is the host's.
constexpr const char* kUtf16Name =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacementCharacter = 0xFFFD;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// "UTF-8", "utf8" and "UTF_8" name the same codeset; they take the hand-written path.
bool isUtf8Name(std::string_view name) {
  std::string folded;
  for (char c : name) {
    if (c == '-' || c == '_')
      continue;
    folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return folded == "utf8";
}

std::string encodeUtf8(std::u16string_view text) {
  // A unit never takes more than three bytes; a surrogate pair takes four for two units.
  std::string out(text.size() * 3, '\0');
  char* p = out.data();
  auto put = [&p](uint32_t byte) { *p++ = static_cast<char>(byte); };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      put(unit);
    } else if (unit < 0x800) {
      put(0xC0 | (unit >> 6));
      put(0x80 | (unit & 0x3F));
    } else if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      const uint32_t code = 0x10000 + ((uint32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
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
  out.resize(static_cast<size_t>(p - out.data()));
  return out;
}

// Each ill-formed sequence (its longest valid-looking start, at least one byte) becomes one
// U+FFFD; overlong forms, encoded surrogates and codes above U+10FFFF are ill-formed.
std::u16string decodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    int following = 0;
    uint32_t code = 0;
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
    size_t next = i + 1;
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

// Runs `converter` over all of `input` and returns the output bytes. A sequence the converter
// rejects is replaced by `replacement`; `rejectedLength` says how many input bytes it spans.
template <typename RejectedLength>
std::string convertAll(iconv_t converter, std::string_view input, std::string_view replacement,
                       size_t expectedSize, RejectedLength rejectedLength) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  std::string out(expectedSize + 16, '\0');
  size_t used = 0;
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  for (;;) {
    char* outPtr = out.data() + used;
    size_t outLeft = out.size() - used;
    // With no input left the call writes whatever a stateful codeset still holds back.
    const bool flushing = inLeft == 0;
    const size_t result = flushing ? iconv(converter, nullptr, nullptr, &outPtr, &outLeft)
                                   : iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    const int error = result == static_cast<size_t>(-1) ? errno : 0;
    used = static_cast<size_t>(outPtr - out.data());
    if (error == E2BIG) {
      out.resize(out.size() * 2);
    } else if (!flushing && (error == EILSEQ || error == EINVAL)) {
      // EINVAL: the input ends inside a sequence, which then is rejected whole.
      const size_t skip = error == EINVAL ? inLeft : std::min(inLeft, rejectedLength(in, inLeft));
      in += skip;
      inLeft -= skip;
      if (out.size() - used < replacement.size())
        out.resize(out.size() * 2 + replacement.size());
      std::memcpy(out.data() + used, replacement.data(), replacement.size());
      used += replacement.size();
    } else if (error != 0) {
      throw std::runtime_error(std::string("Text conversion failed: ") + std::strerror(error));
    } else if (flushing) {
      break;
    }
  }
  out.resize(used);
  return out;
}

}  // namespace

struct Codeset::Converters {
  iconv_t fromUtf16 = kNoConverter;
  iconv_t toUtf16 = kNoConverter;
  // An iconv descriptor keeps state between calls, so one call at a time.
  std::mutex mutex;

  ~Converters() {
    if (fromUtf16 != kNoConverter)
      iconv_close(fromUtf16);
    if (toUtf16 != kNoConverter)
      iconv_close(toUtf16);
  }
};

Codeset::Codeset(std::string name) : name_(std::move(name)), converters_(nullptr) {
  if (isUtf8Name(name_))
    return;
  auto converters = std::make_unique<Converters>();
  converters->fromUtf16 = iconv_open(name_.c_str(), kUtf16Name);
  converters->toUtf16 = iconv_open(kUtf16Name, name_.c_str());
  if (converters->fromUtf16 == kNoConverter || converters->toUtf16 == kNoConverter)
    throw std::runtime_error("Unknown codeset: " + name_);
  converters_ = converters.release();
}

Codeset::~Codeset() {
  delete converters_;
}

std::string Codeset::processCodesetName() {
  const std::string name = nl_langinfo(CODESET);
  if (name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII")
    return "UTF-8";
  return name;
}

std::string Codeset::fromUtf16(std::u16string_view text) const {
  if (converters_ == nullptr)
    return encodeUtf8(text);
  // A character is one unit or a surrogate pair; whatever is rejected becomes one '?'.
  auto rejectedLength = [](const char* at, size_t left) -> size_t {
    if (left < 4)
      return 2;
    char16_t units[2];
    std::memcpy(units, at, sizeof units);
    return isHighSurrogate(units[0]) && isLowSurrogate(units[1]) ? 4 : 2;
  };
  const std::string_view input(reinterpret_cast<const char*>(text.data()),
                               text.size() * sizeof(char16_t));
  std::lock_guard lock(converters_->mutex);
  return convertAll(converters_->fromUtf16, input, "?", text.size() * 2, rejectedLength);
}

std::u16string Codeset::toUtf16(std::string_view bytes) const {
  if (converters_ == nullptr)
    return decodeUtf8(bytes);
  const std::string_view replacement(reinterpret_cast<const char*>(&kReplacementCharacter),
                                     sizeof kReplacementCharacter);
  std::string wide;
  {
    std::lock_guard lock(converters_->mutex);
    wide = convertAll(converters_->toUtf16, bytes, replacement, bytes.size() * 2,
                      [](const char*, size_t) -> size_t { return 1; });
  }
  std::u16string out(wide.size() / sizeof(char16_t), u'\0');
  std::memcpy(out.data(), wide.data(), out.size() * sizeof(char16_t));
  return out;
}

}  // namespace velmora::script
