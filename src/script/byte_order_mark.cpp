#include "script/byte_order_mark.h"

#include <stdexcept>
#include <string>

namespace velmora::script {

std::string_view utf8ByteOrderMark(const Codeset& codeset) {
  if (codeset.name() != "UTF-8")
    throw std::runtime_error(
        "A byte-order mark is written only under a UTF-8 locale; this "
        "locale's codeset is " +
        codeset.name() + ".");
  return "\xEF\xBB\xBF";
}

}  // namespace velmora::script
