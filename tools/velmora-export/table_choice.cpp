#include "table_choice.h"

#include <stdexcept>
#include <utility>

#include "server/identifier.h"
#include "session/name_lookup.h"
#include "text/utf.h"

namespace velmora::exporter {
namespace {

// The entry of the table `typed` names. A dbo table's entry is its bare name, but its
// statement form names it too ("[a=b]"), so that a name holding a comma or an equals sign can
// be given where those end the name. Throws session::NameNotListed.
int tableNamed(const std::vector<std::u16string>& names, const std::string& typed,
               const script::Codeset& codeset) {
  const std::u16string wanted = codeset.toUtf16(typed);
  if (const int index = session::findByName(names, wanted); index >= 0)
    return index;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (server::sqlIdentifier(names[i]) == wanted)
      return static_cast<int>(i);
  throw session::NameNotListed(session::NameNotListed::Kind::table, wanted);
}

// The table an option names, which must be one the run exports.
std::size_t exportedTableNamed(const session::PlainTableList& tables, const std::string& typed,
                               const char* option, const script::Codeset& codeset) {
  const int index = tableNamed(tables.names(), typed, codeset);
  if (!tables.isTicked(index))
    throw TableOptionRefused(TableOptionRefused::Reason::notExported, codeset.toUtf16(typed),
                             option);
  return static_cast<std::size_t>(index);
}

}  // namespace

TableOptionRefused::TableOptionRefused(Reason reason, std::u16string table, std::string option)
    : std::runtime_error("Table '" + text::utf8FromUtf16(table) +
                         (reason == Reason::notExported
                              ? "' of option " + option + " is not exported"
                              : std::string("' has two row conditions; join them with AND"))),
      reason_(reason),
      table_(std::move(table)),
      option_(std::move(option)) {}

void tickChosenTables(const ExportOptions& options, session::PlainTableList& tables,
                      const script::Codeset& codeset) {
  if (!options.tables.empty()) {
    tables.untickAll();
    for (const std::string& name : options.tables)
      tables.setTicked(tableNamed(tables.names(), name, codeset), true);
  }
  for (const std::string& name : options.excludedTables)
    tables.setTicked(tableNamed(tables.names(), name, codeset), false);
}

session::LiveOptions liveOptions(const ExportOptions& options,
                                 const session::PlainTableList& tables,
                                 const script::Codeset& codeset) {
  session::LiveOptions live{
      .cuts = {}, .snapshot = options.snapshot, .disableConstraints = options.disableConstraints};
  for (const auto& [table, condition] : options.rowConditions) {
    script::TableCut& cut = live.cuts[exportedTableNamed(tables, table, "--where", codeset)];
    if (!cut.rowCondition.empty())
      throw TableOptionRefused(TableOptionRefused::Reason::twoConditions, codeset.toUtf16(table),
                               "--where");
    cut.rowCondition = codeset.toUtf16(condition);
  }
  for (const auto& [table, column] : options.excludedColumns)
    live.cuts[exportedTableNamed(tables, table, "--exclude-column", codeset)]
        .leftOutColumns.push_back(codeset.toUtf16(column));
  return live;
}

}  // namespace velmora::exporter
