#pragma once

#include <functional>
#include <string>
#include <vector>

#include "script/generation_run.h"
#include "server/server_session.h"

// The lists and the run's state as plain data, for hosts without widgets.
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

// A generation host over `tables` and the chosen database's text; progress texts and the
// chance to handle pending work and each row written go to the callbacks (any may be empty).
class PlainHost final : public script::GenerationHost {
 public:
  explicit PlainHost(const PlainTableList& tables) : tables_(tables) {}

  int tableCount() const override { return static_cast<int>(tables_.names().size()); }
  std::u16string tableName(int index) const override;
  bool isTableTicked(int index) const override { return tables_.isTicked(index); }
  std::u16string databaseName() const override { return database; }
  void setColumnNames(const std::vector<std::u16string>& names) override { columns_ = names; }
  std::vector<std::u16string> columnNames() const override { return columns_; }
  void setProgressText(const std::u16string& text) override;
  void processPendingEvents() override;
  void rowWritten() override {
    if (onRowWritten)
      onRowWritten();
  }

  std::u16string database;
  std::function<void(const std::u16string&)> onProgress;
  std::function<void()> onPendingEvents;
  std::function<void()> onRowWritten;

 private:
  const PlainTableList& tables_;
  std::vector<std::u16string> columns_;
};

}  // namespace velmora::session
