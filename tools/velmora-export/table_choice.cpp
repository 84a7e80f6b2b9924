#include "table_choice.h"

#include <stdexcept>

#include "session/name_lookup.h"
#include "text/utf.h"

namespace velmora::exporter {
namespace {

// The table an option names, which must be one the run exports.
std::size_t exportedTableNamed(const session::PlainTableList& tables, const std::string& typed,
                               const char* option, const script::Codeset& codeset) {
  const int index = entryNamed(tables.names(), typed, "Table", codeset);
  if (!tables.isTicked(index))
    throw std::runtime_error("Table '" + text::utf8FromUtf16(codeset.toUtf16(typed)) +
                             "' of option " + option + " is not exported");
  return static_cast<std::size_t>(index);
}

}  // namespace

int entryNamed(const std::vector<std::u16string>& names, const std::string& typed, const char* kind,
               const script::Codeset& codeset) {
  const std::u16string wanted = codeset.toUtf16(typed);
  const int index = session::findByName(names, wanted);
  if (index < 0)
    throw std::runtime_error(std::string(kind) + " '" + text::utf8FromUtf16(wanted) +
                             "' not found");
  return index;
}

void tickChosenTables(const ExportOptions& options, session::PlainTableList& tables,
                      const script::Codeset& codeset) {
  if (!options.tables.empty()) {
    tables.untickAll();
    for (const std::string& name : options.tables)
      tables.setTicked(entryNamed(tables.names(), name, "Table", codeset), true);
  }
  for (const std::string& name : options.excludedTables)
    tables.setTicked(entryNamed(tables.names(), name, "Table", codeset), false);
}

session::LiveOptions liveOptions(const ExportOptions& options,
                                 const session::PlainTableList& tables,
                                 const script::Codeset& codeset) {
  session::LiveOptions live{
      .cuts = {}, .snapshot = options.snapshot, .disableConstraints = options.disableConstraints};
  for (const auto& [table, condition] : options.rowConditions) {
    script::TableCut& cut = live.cuts[exportedTableNamed(tables, table, "--where", codeset)];
    if (!cut.rowCondition.empty())
      throw std::runtime_error("Table '" + text::utf8FromUtf16(codeset.toUtf16(table)) +
                               "' has two row conditions; join them with AND");
    cut.rowCondition = codeset.toUtf16(condition);
  }
  for (const auto& [table, column] : options.excludedColumns)
    live.cuts[exportedTableNamed(tables, table, "--exclude-column", codeset)]
        .leftOutColumns.push_back(codeset.toUtf16(column));
  return live;
}

}  // namespace velmora::exporter
