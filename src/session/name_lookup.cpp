#include "session/name_lookup.h"

#include "text/name_case.h"
#include "text/trim.h"

namespace velmora::session {

int findByName(const std::vector<std::u16string>& names, std::u16string_view wanted) {
  // Names are whole: " lead" and "lead" may both be tables.
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == wanted)
      return static_cast<int>(i);
  }
  wanted = text::trimmed(wanted);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (text::trimmed(names[i]) == wanted)
      return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (text::sameNameIgnoringCase(text::trimmed(names[i]), wanted))
      return static_cast<int>(i);
  }
  return -1;
}

int listedEntry(const std::vector<std::u16string>& names, std::u16string_view wanted,
                NameNotListed::Kind kind) {
  const int index = findByName(names, wanted);
  if (index < 0)
    throw NameNotListed(kind, std::u16string(wanted));
  return index;
}

}  // namespace velmora::session
