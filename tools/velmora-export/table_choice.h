#pragma once

#include <string>
#include <vector>

#include "export_options.h"
#include "script/codeset.h"
#include "session/live_reading.h"
#include "session/plain_lists.h"

namespace velmora::exporter {

// Ticks the tables the options choose: those of --tables and --table (every table without
// them), less those of --exclude-table. A dbo table may be named in its statement form too
// ("[a=b]"). Throws session::NameNotListed.
void tickChosenTables(const ExportOptions& options, session::PlainTableList& tables,
                      const script::Codeset& codeset);

// The cuts of --where and --exclude-column, by the index of their table in `tables` as they
// stand for the run, and the reading options. Throws session::NameNotListed for a table that
// is not in the list, std::runtime_error for one not exported or given two row conditions.
session::LiveOptions liveOptions(const ExportOptions& options,
                                 const session::PlainTableList& tables,
                                 const script::Codeset& codeset);

}  // namespace velmora::exporter
