#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "session/session_texts.h"

namespace velmora::session {

// The index of the entry whose text is `wanted`: the very text first, else an entry whose
// trimmed text equals `wanted` trimmed, else one that differs from it only in case
// (sameNameIgnoringCase), as SQL Server's usual collations compare names. -1 when there is none.
int findByName(const std::vector<std::u16string>& names, std::u16string_view wanted);
// The same, for a name the user typed: throws NameNotListed of `kind` when there is none.
int listedEntry(const std::vector<std::u16string>& names, std::u16string_view wanted,
                NameNotListed::Kind kind);

}  // namespace velmora::session
