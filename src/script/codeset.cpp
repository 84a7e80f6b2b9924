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
#include <vector>

#include "text/ascii_case.h"
#include "text/utf.h"

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
    folded += text::asciiLowerCase(c);
  }
  return folded == "utf8";
}

// Converts as much of the input as the converter takes, appending to `out` from `used` on
// and growing it as needed; with no input (`in` null), writes what a stateful codeset still
// holds back. Returns 0, or EILSEQ or EINVAL with `in` at the sequence refused (EINVAL: the
// input ends inside it).
int convertInto(iconv_t converter, const char*& in, size_t& inLeft, std::string& out,
                size_t& used) {
  for (;;) {
    char* inPtr = const_cast<char*>(in);
    char* outPtr = out.data() + used;
    size_t outLeft = out.size() - used;
    const size_t result = in == nullptr ? iconv(converter, nullptr, nullptr, &outPtr, &outLeft)
                                        : iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    const int error = result == static_cast<size_t>(-1) ? errno : 0;
    used = static_cast<size_t>(outPtr - out.data());
    if (in != nullptr)
      in = inPtr;
    if (error == E2BIG) {
      out.resize(out.size() * 2 + 16);
      continue;
    }
    if (error == 0 || error == EILSEQ || error == EINVAL)
      return error;
    throw std::runtime_error(std::string("Text conversion failed: ") + std::strerror(error));
  }
}

void appendAt(std::string& out, size_t& used, std::string_view bytes) {
  if (out.size() - used < bytes.size())
    out.resize(out.size() * 2 + bytes.size());
  std::memcpy(out.data() + used, bytes.data(), bytes.size());
  used += bytes.size();
}

// Runs `converter` over all of `input` and returns the output bytes. Each byte the converter
// rejects is replaced by `replacement`.
std::string convertAll(iconv_t converter, std::string_view input, std::string_view replacement,
                       size_t expectedSize) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  std::string out(expectedSize + 16, '\0');
  size_t used = 0;
  const char* in = input.data();
  size_t inLeft = input.size();
  int error;
  while ((error = convertInto(converter, in, inLeft, out, used)) != 0) {
    // EINVAL: the input ends inside a sequence, which then is rejected whole.
    const size_t skip = error == EINVAL ? inLeft : 1;
    in += skip;
    inLeft -= skip;
    appendAt(out, used, replacement);
  }
  const char* flush = nullptr;
  size_t none = 0;
  convertInto(converter, flush, none, out, used);
  out.resize(used);
  return out;
}

// The character that starts at `text[at]` and its length in units: a surrogate pair is one
// character, a lone surrogate stands for itself (no codeset holds it).
char32_t characterAt(std::u16string_view text, size_t at, size_t& units) {
  const char16_t unit = text[at];
  if (isHighSurrogate(unit) && at + 1 < text.size() && isLowSurrogate(text[at + 1])) {
    units = 2;
    return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[at + 1] - 0xDC00);
  }
  units = 1;
  return unit;
}

// The characters the target codeset lacks, learned from the converter's refusals. glibc's
// iconv pays dearly for every refusal: it first converts up to some thousand characters
// ahead into its intermediate form, so a text of many such characters took about 10 us per
// character (1,000,000 emoji under GBK: 10 s). A character once refused becomes '?' without
// asking iconv again, and the text goes to iconv in runs between such characters.
class RefusedCharacters {
 public:
  bool contains(char32_t code) const {
    return !bits_.empty() && ((bits_[code >> 6] >> (code & 63)) & 1) != 0;
  }
  void add(char32_t code) {
    if (bits_.empty())
      bits_.resize(0x110000 / 64);
    bits_[code >> 6] |= uint64_t{1} << (code & 63);
  }

 private:
  std::vector<uint64_t> bits_;
};

// UTF-16 text to the converter's codeset, each character it lacks becoming '?'.
std::string encodeInRuns(iconv_t converter, RefusedCharacters& refused, std::u16string_view text) {
  // After a refusal the runs start short, so that a character not met before costs little,
  // and double with every run converted whole, so that ordinary text soon goes in one call.
  constexpr size_t kShortRun = 16;
  constexpr size_t kNoLimit = SIZE_MAX / 2;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  std::string out(text.size() * 2 + 16, '\0');
  size_t used = 0;
  size_t runLimit = kNoLimit;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = at;
    size_t units = 0;
    while (end < text.size() && end - at < runLimit) {
      if (refused.contains(characterAt(text, end, units)))
        break;
      end += units;
    }
    if (end == at) {
      appendAt(out, used, "?");
      at += units;
      continue;
    }
    const char* in = reinterpret_cast<const char*>(text.data() + at);
    size_t inLeft = (end - at) * sizeof(char16_t);
    if (convertInto(converter, in, inLeft, out, used) == 0) {
      at = end;
      runLimit = std::min(runLimit * 2, kNoLimit);
      continue;
    }
    at = static_cast<size_t>(reinterpret_cast<const char16_t*>(in) - text.data());
    refused.add(characterAt(text, at, units));
    appendAt(out, used, "?");
    at += units;
    runLimit = kShortRun;
  }
  const char* flush = nullptr;
  size_t none = 0;
  convertInto(converter, flush, none, out, used);
  out.resize(used);
  return out;
}

}  // namespace

struct Codeset::Converters {
  iconv_t fromUtf16 = kNoConverter;
  iconv_t toUtf16 = kNoConverter;
  RefusedCharacters refused;
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
    return text::utf8FromUtf16(text);
  std::lock_guard lock(converters_->mutex);
  return encodeInRuns(converters_->fromUtf16, converters_->refused, text);
}

bool Codeset::holds(std::u16string_view text) const {
  if (converters_ == nullptr) {
    for (size_t at = 0, units = 0; at < text.size(); at += units)
      if (const char32_t code = characterAt(text, at, units); code >= 0xD800 && code <= 0xDFFF)
        return false;
    return true;
  }
  std::lock_guard lock(converters_->mutex);
  iconv(converters_->fromUtf16, nullptr, nullptr, nullptr, nullptr);
  std::string out(text.size() * 2 + 16, '\0');
  size_t used = 0;
  const char* in = reinterpret_cast<const char*>(text.data());
  size_t inLeft = text.size() * sizeof(char16_t);
  return convertInto(converters_->fromUtf16, in, inLeft, out, used) == 0;
}

void Codeset::appendFromUtf16(std::string& out, std::u16string_view text) const {
  if (converters_ == nullptr)
    text::appendUtf8FromUtf16(out, text);
  else
    out += fromUtf16(text);
}

std::u16string Codeset::toUtf16(std::string_view bytes) const {
  if (converters_ == nullptr)
    return text::utf16FromUtf8(bytes);
  const std::string_view replacement(reinterpret_cast<const char*>(&kReplacementCharacter),
                                     sizeof kReplacementCharacter);
  std::string wide;
  {
    std::lock_guard lock(converters_->mutex);
    wide = convertAll(converters_->toUtf16, bytes, replacement, bytes.size() * 2);
  }
  std::u16string out(wide.size() / sizeof(char16_t), u'\0');
  std::memcpy(out.data(), wide.data(), out.size() * sizeof(char16_t));
  return out;
}

}  // namespace velmora::script
