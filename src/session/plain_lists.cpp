#include "session/plain_lists.h"

#include <algorithm>

namespace velmora::session {

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

}  // namespace velmora::session
