#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "export_options.h"
#include "script/codeset.h"
#include "session/live_reading.h"
#include "session/plain_lists.h"

namespace velmora::exporter {

// A table option that names a table the run cannot cut: one not exported, or one given a
// second row condition. what() is "Table '<name>' of option <option> is not exported" or
// "Table '<name>' has two row conditions; join them with AND" (UTF-8).
class TableOptionRefused : public std::runtime_error {
 public:
  enum class Reason { notExported, twoConditions };
  TableOptionRefused(Reason reason, std::u16string table, std::string option);
  Reason reason() const { return reason_; }
  const std::u16string& table() const { return table_; }
  const std::string& option() const { return option_; }

 private:
  Reason reason_;
  std::u16string table_;
  std::string option_;
};

// Ticks the tables the options choose: those of --tables and --table (every table without
// them), less those of --exclude-table. A dbo table may be named in its statement form too
// ("[a=b]"). Throws session::NameNotListed.
void tickChosenTables(const ExportOptions& options, session::PlainTableList& tables,
                      const script::Codeset& codeset);

// The cuts of --where and --exclude-column, by the index of their table in `tables` as they
// stand for the run, and the reading options. Throws session::NameNotListed for a table that
// is not in the list, TableOptionRefused.
session::LiveOptions liveOptions(const ExportOptions& options,
                                 const session::PlainTableList& tables,
                                 const script::Codeset& codeset);

}  // namespace velmora::exporter
