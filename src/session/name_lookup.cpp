#include "session/name_lookup.h"

#include "server/name_case.h"
#include "server/trim.h"

namespace velmora::session {

int findByName(const std::vector<std::u16string>& names, std::u16string_view wanted) {
  // Names are whole: " lead" and "lead" may both be tables.
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == wanted)
      return static_cast<int>(i);
  }
  wanted = trimmed(wanted);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (trimmed(names[i]) == wanted)
      return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (server::sameNameIgnoringCase(trimmed(names[i]), wanted))
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace velmora::session
