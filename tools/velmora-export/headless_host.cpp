#include "headless_host.h"

#include <algorithm>

#include "server/trim.h"

namespace velmora::exporter {

void PlainTableList::clear() {
  names_.clear();
  ticked_.clear();
}

void PlainTableList::add(const std::u16string& name) {
  names_.push_back(name);
  ticked_.push_back(false);
}

void PlainTableList::setTicked(int index, bool ticked) {
  ticked_.at(static_cast<std::size_t>(index)) = ticked;
}

void PlainTableList::untickAll() {
  std::fill(ticked_.begin(), ticked_.end(), false);
}

std::u16string HeadlessHost::tableName(int index) const {
  return tables_.names().at(static_cast<std::size_t>(index));
}

void HeadlessHost::setProgressText(const std::u16string& text) {
  std::string line = codeset_.fromUtf16(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), progress_);
  std::fflush(progress_);
}

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

}  // namespace velmora::exporter
