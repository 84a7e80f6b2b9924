#include "window/control_lists.h"

namespace velmora::window {

void ComboDatabaseList::add(const std::u16string& name) {
  box_.addItem(QString::fromStdU16String(name));
  // QComboBox selects the first item added; nothing is chosen until the whole list is in,
  // so a load that fails part-way leaves the names read so far with none selected.
  box_.setCurrentIndex(-1);
}

void CheckTableList::add(const std::u16string& name) {
  auto* item = new QListWidgetItem(QString::fromStdU16String(name), &list_);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
}

void CheckTableList::setTicked(int index, bool ticked) {
  list_.item(index)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void setAllTicked(QListWidget& list, bool ticked) {
  const int count = list.count();
  for (int i = 0; i < count; ++i)
    list.item(i)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

}  // namespace velmora::window
