#include "session/live_reading.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

#include "server/read_statements.h"
#include "text/name_case.h"
#include "text/utf.h"

namespace velmora::session {
namespace {

std::u16string conditionOf(const TableToRead& table) {
  return table.cut != nullptr ? table.cut->rowCondition : std::u16string();
}

}  // namespace

CutRefused::CutRefused(std::u16string entry, std::u16string column, std::string serverText)
    : std::runtime_error(column.empty()
                             ? "Table '" + text::utf8FromUtf16(entry) +
                                   "': the server refused its row condition: " + serverText
                             : "Column '" + text::utf8FromUtf16(column) + "' of table '" +
                                   text::utf8FromUtf16(entry) + "' not found"),
      entry_(std::move(entry)),
      column_(std::move(column)),
      serverText_(std::move(serverText)) {}

void checkCuts(server::Connection& connection, const std::vector<TableToRead>& tables) {
  for (const TableToRead& table : tables) {
    if (table.cut == nullptr)
      continue;
    const std::u16string condition = conditionOf(table);
    std::unique_ptr<server::Recordset> rows;
    try {
      rows = connection.query(server::tableCheckStatement(table.nameAsSent, condition));
    } catch (const server::DataAccessError& error) {
      if (condition.empty())
        throw;
      throw CutRefused(table.entry, {}, error.what());
    }
    const std::vector<server::ColumnDescription>& columns = rows->columns();
    for (const std::u16string& leftOut : table.cut->leftOutColumns) {
      const bool known =
          std::any_of(columns.begin(), columns.end(), [&](const server::ColumnDescription& c) {
            return text::sameNameIgnoringCase(c.name, leftOut);
          });
      if (!known)
        throw CutRefused(table.entry, leftOut, {});
    }
  }
}

std::vector<std::u16string> tablesWithRows(server::Connection& connection,
                                           const std::vector<TableToRead>& tables) {
  std::vector<std::u16string> names;
  for (const TableToRead& table : tables)
    if (!connection.query(server::firstRowStatement(table.nameAsSent, conditionOf(table)))->eof())
      names.push_back(table.nameAsSent);
  return names;
}

}  // namespace velmora::session
