#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "script/codeset.h"
#include "script/generation_run.h"
#include "server/server_session.h"

namespace velmora::exporter {

// The database list as the catalogue load fills it, without a window.
class PlainDatabaseList final : public server::DatabaseList {
 public:
  void clear() override { names_.clear(); }
  void add(const std::u16string& name) override { names_.push_back(name); }
  void selectFirstWithoutChange() override {}

  const std::vector<std::u16string>& names() const { return names_; }

 private:
  std::vector<std::u16string> names_;
};

// The table list with its ticks, without a window.
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

// The generation run's host for the exporter: plain lists, progress texts as lines on a
// stream in the locale's codeset.
class HeadlessHost final : public script::GenerationHost {
 public:
  HeadlessHost(const PlainTableList& tables, std::u16string databaseName,
               const script::Codeset& codeset, std::FILE* progress)
      : tables_(tables),
        databaseName_(std::move(databaseName)),
        codeset_(codeset),
        progress_(progress) {}

  int tableCount() const override { return static_cast<int>(tables_.names().size()); }
  std::u16string tableName(int index) const override;
  bool isTableTicked(int index) const override { return tables_.isTicked(index); }
  std::u16string databaseName() const override { return databaseName_; }
  void setColumnNames(const std::vector<std::u16string>& names) override { columns_ = names; }
  std::vector<std::u16string> columnNames() const override { return columns_; }
  void setProgressText(const std::u16string& text) override;
  void processPendingEvents() override {}

 private:
  const PlainTableList& tables_;
  std::u16string databaseName_;
  const script::Codeset& codeset_;
  std::FILE* progress_;
  std::vector<std::u16string> columns_;
};

// The index of the entry whose trimmed text is `wanted` (trimmed): an exact match first,
// else one that differs only in the case of ASCII letters, as SQL Server's usual collations
// compare names. -1 when there is none.
int findByName(const std::vector<std::u16string>& names, std::u16string_view wanted);

}  // namespace velmora::exporter
