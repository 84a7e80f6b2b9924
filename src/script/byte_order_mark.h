#pragma once

#include <string_view>

#include "script/codeset.h"

namespace velmora::script {

// The UTF-8 byte-order mark that starts an output when asked, for script runners that take
// a file without one for the system's code page and corrupt its N'...' values. Throws
// std::runtime_error when `codeset` is not UTF-8: the mark would announce an encoding the
// bytes after it are not in.
std::string_view utf8ByteOrderMark(const Codeset& codeset);

}  // namespace velmora::script
