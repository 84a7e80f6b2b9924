#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "script/generation_run.h"
#include "server/data_access.h"

namespace velmora::session {

// velmora-export's options for a database that others keep writing to.
struct LiveOptions {
  // Cuts of some tables, by their index in the run input's tables.
  std::map<std::size_t, script::TableCut> cuts;
  // Every table read in one SNAPSHOT transaction, whose moment is fixed before the reset.
  bool snapshot = false;
  // Constraints turned off around the rows of the tables the script writes rows of.
  bool disableConstraints = false;
};

// A table a run is to read: its entry text, how statements name it, and its cut (null for
// none).
struct TableToRead {
  std::u16string entry;
  std::u16string nameAsSent;
  const script::TableCut* cut = nullptr;
};

// A cut the server cannot read: its row condition refused (`column` empty, `serverText` the
// server's message), or a column to leave out that the table lacks. what() is
// "Table '<entry>': the server refused its row condition: <server text>" or
// "Column '<column>' of table '<entry>' not found" (UTF-8).
class CutRefused : public std::runtime_error {
 public:
  CutRefused(std::u16string entry, std::u16string column, std::string serverText);
  const std::u16string& entry() const { return entry_; }
  const std::u16string& column() const { return column_; }
  const std::string& serverText() const { return serverText_; }

 private:
  std::u16string entry_;
  std::u16string column_;
  std::string serverText_;
};

// Has the server check each table's row condition and the columns to leave out, reading no
// row, so that a cut that cannot be read fails before the script is touched. Throws
// CutRefused, DataAccessError for other failures.
void checkCuts(server::Connection& connection, const std::vector<TableToRead>& tables);

// How statements name those of `tables` that have a row to write (under their row
// condition), in their order. Throws DataAccessError.
std::vector<std::u16string> tablesWithRows(server::Connection& connection,
                                           const std::vector<TableToRead>& tables);

}  // namespace velmora::session
