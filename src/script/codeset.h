#pragma once

#include <string>
#include <string_view>

namespace velmora::script {

// Text conversion between UTF-16 and one narrow codeset (the "ANSI code page"): GBK under
// zh_CN.GBK, UTF-8 under *.UTF-8. Characters the codeset lacks become '?'.
class Codeset {
 public:
  // `name` is an iconv codeset name ("UTF-8", "GBK"). Throws std::runtime_error when iconv
  // does not know it.
  explicit Codeset(std::string name);
  ~Codeset();
  Codeset(const Codeset&) = delete;
  Codeset& operator=(const Codeset&) = delete;

  // The codeset of the process locale; setlocale(LC_ALL, "") must have run. An ASCII codeset
  // (the C/POSIX locale) is taken as UTF-8.
  static std::string processCodesetName();

  const std::string& name() const { return name_; }
  std::string fromUtf16(std::u16string_view text) const;
  // True when the codeset has every character of `text`, so that fromUtf16 puts no '?' in
  // place of one (a lone surrogate is no character of any codeset).
  bool holds(std::u16string_view text) const;
  // The same bytes appended to `out`.
  void appendFromUtf16(std::string& out, std::u16string_view text) const;
  // Bytes that are not valid in the codeset become U+FFFD.
  std::u16string toUtf16(std::string_view bytes) const;

 private:
  struct Converters;
  std::string name_;
  Converters* converters_;
};

}  // namespace velmora::script
