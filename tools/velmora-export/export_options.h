#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "script/compressor.h"
#include "table_assignment.h"

namespace velmora::exporter {

// The command line of velmora-export, as typed (bytes in the locale's codeset).
struct ExportOptions {
  enum class Action { exportScript, showHelp, showVersion };

  Action action = Action::exportScript;
  std::string server;
  std::string database;
  std::string user = "sa";
  std::string password;
  // Entry texts from --tables and --table, in the order given. Empty: every table.
  std::vector<std::string> tables;
  bool withGo = true;
  // Where the script goes: empty for MakeInitData.txt in the current directory, "-" for
  // standard output, else a file path.
  std::string output;
  // Each table after the tables its foreign keys reference, instead of catalogue order.
  bool dependencyOrder = false;
  // Rows per insert statement, 1 to script::kMaxRowsPerInsert.
  int rowsPerInsert = 1;
  // No progress texts, only errors.
  bool quiet = false;
  // --encrypt mandatory: a server that does not encrypt the whole session is refused.
  bool encryptionRequired = false;
  // --ca-file: a PEM file of trusted CAs, or "system"; empty: no certificate check.
  std::string trustedCertificates;
  // --where TABLE=CONDITION: the rows of TABLE that meet CONDITION (T-SQL, passed on).
  std::vector<TableAssignment> rowConditions;
  // --exclude-table: entry texts of tables not exported.
  std::vector<std::string> excludedTables;
  // --exclude-column TABLE=COLUMN: columns left out of the statements.
  std::vector<TableAssignment> excludedColumns;
  // Every table read in one SNAPSHOT transaction.
  bool snapshot = false;
  // Constraints turned off around the rows, checked again after them.
  bool disableConstraints = false;
  // How the -o output is packed: --compress, else the ending of its name.
  script::Compression compression = script::Compression::none;
  // A UTF-8 byte-order mark at the start of the -o output.
  bool byteOrderMark = false;
};

// A command line that cannot be understood; what() says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads argv[1..]. `environmentPassword` is VELMORA_PASSWORD (null when unset); --password
// wins over it. Throws UsageError.
ExportOptions parseExportOptions(int argc, const char* const* argv,
                                 const char* environmentPassword);

// The --help text; its option lines come from the same table as the parser's.
std::string usageText();

}  // namespace velmora::exporter
