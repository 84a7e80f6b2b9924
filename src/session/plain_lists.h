#pragma once

#include <string>
#include <vector>

#include "server/server_session.h"

// The database and table lists as plain data, for hosts without widgets.
namespace velmora::session {

class PlainDatabaseList final : public server::DatabaseList {
 public:
  void clear() override { names_.clear(); }
  void add(const std::u16string& name) override { names_.push_back(name); }
  void selectFirstWithoutChange() override {}

  const std::vector<std::u16string>& names() const { return names_; }

 private:
  std::vector<std::u16string> names_;
};

class PlainTableList final : public server::TableList {
 public:
  void clear() override;
  void add(const std::u16string& name) override;
  void setTicked(int index, bool ticked) override;

  const std::vector<std::u16string>& names() const { return names_; }
  bool isTicked(int index) const { return ticked_.at(static_cast<std::size_t>(index)); }
  void untickAll();

 private:
  std::vector<std::u16string> names_;
  std::vector<bool> ticked_;
};

}  // namespace velmora::session
