#pragma once

#include <QComboBox>
#include <QListWidget>

#include "server/server_session.h"

namespace velmora::window {

// The database list as the catalogue load fills it. Selecting from here raises no change.
class ComboDatabaseList : public server::DatabaseList {
 public:
  explicit ComboDatabaseList(QComboBox& box) : box_(box) {}
  void clear() override { box_.clear(); }
  void add(const std::u16string& name) override;
  void selectFirstWithoutChange() override { box_.setCurrentIndex(box_.count() > 0 ? 0 : -1); }

 private:
  QComboBox& box_;
};

// The table check list as the catalogue load fills it: entries with two-state tick boxes.
class CheckTableList : public server::TableList {
 public:
  explicit CheckTableList(QListWidget& list) : list_(list) {}
  void clear() override { list_.clear(); }
  void add(const std::u16string& name) override;
  void setTicked(int index, bool ticked) override;

 private:
  QListWidget& list_;
};

// Ticks or unticks every entry, first to last.
void setAllTicked(QListWidget& list, bool ticked);

}  // namespace velmora::window
