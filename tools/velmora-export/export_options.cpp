#include "export_options.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "script/generation_run.h"

namespace velmora::exporter {
namespace {

// Splits the table list at its commas, except those inside a [bracketed] part of an entry
// text ("[my sales].[a,b]"), where "]]" stands for a "]".
std::vector<std::string> splitTables(std::string_view list) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start < list.size();) {
    const std::size_t comma = std::min(findOutsideBrackets(list, ',', start), list.size());
    if (comma > start)
      names.emplace_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return names;
}

TableAssignment tableAssignmentFrom(const std::string& text, std::string_view typed,
                                    std::string_view valueName) {
  std::optional<TableAssignment> parts = splitTableAssignment(text);
  if (!parts)
    throw UsageError("option " + std::string(typed) + " needs TABLE=" + std::string(valueName));
  return std::move(*parts);
}

// The -o output's packing, from --compress or else from its name, and the byte-order mark's
// place: both belong to an -o output alone, as MakeInitData.txt is never packed or marked.
void checkOutputForm(ExportOptions& options, bool compressGiven) {
  const script::Compression byName = script::compressionOfName(options.output);
  if (!compressGiven)
    options.compression = byName;
  else if (options.output.empty())
    throw UsageError("option --compress needs -o FILE; MakeInitData.txt is never compressed");
  else if (byName != script::Compression::none && byName != options.compression)
    throw UsageError("option --compress contradicts the ending of " + options.output);
  if (options.byteOrderMark && options.output.empty())
    throw UsageError("option --bom needs -o FILE or -o -");
}

int rowsPerInsertFrom(const std::string& text) {
  const std::string bounds = "1 to " + std::to_string(script::kMaxRowsPerInsert);
  int rows = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || rows > script::kMaxRowsPerInsert)
      throw UsageError("option --rows-per-insert needs a number from " + bounds);
    rows = rows * 10 + (c - '0');
  }
  if (rows < 1 || rows > script::kMaxRowsPerInsert)
    throw UsageError("option --rows-per-insert needs a number from " + bounds);
  return rows;
}

// One option of the command line: its names, the value it takes, its help, and what it sets.
struct OptionSpec {
  std::string_view name;       // "--server"
  std::string_view shortName;  // "-o", or empty
  std::string_view valueName;  // "S"; empty for an option without a value
  std::string_view help;       // lines for --help, '\n' between them
  // `typed` is the name as given ("-o" or "--output"), for error texts.
  void (*apply)(ExportOptions& options, const std::string& value, std::string_view typed);
  bool required = false;
};

// Every option, once. --help lists them in this order.
constexpr OptionSpec kOptions[] = {
    {"--server", "", "S",
     "the server: host, host,port, host\\instance, tcp:host, tcp:host,port,\n"
     ". or (local); without a port or an instance, port 1433",
     [](ExportOptions& o, const std::string& v, std::string_view) { o.server = v; }, true},
    {"--database", "", "D", "the database to export",
     [](ExportOptions& o, const std::string& v, std::string_view) { o.database = v; }, true},
    {"--user", "", "U", "the login (default sa)",
     [](ExportOptions& o, const std::string& v, std::string_view) { o.user = v; }},
    {"--password", "", "P", "the password (visible in the process list; prefer VELMORA_PASSWORD)",
     [](ExportOptions& o, const std::string& v, std::string_view) { o.password = v; }},
    {"--tables", "", "T,...",
     "only these tables, comma-separated, as the table list shows them\n"
     "(a table outside dbo as schema.name)",
     [](ExportOptions& o, const std::string& v, std::string_view) {
       const std::vector<std::string> names = splitTables(v);
       if (names.empty())
         throw UsageError("option --tables needs at least one table name");
       o.tables.insert(o.tables.end(), names.begin(), names.end());
     }},
    {"--table", "", "T",
     "only this table too; the whole text is one name, commas included\n"
     "(may be given more than once)",
     [](ExportOptions& o, const std::string& v, std::string_view) {
       // One entry text, whole: a name may hold a comma.
       if (v.empty())
         throw UsageError("option --table needs a table name");
       o.tables.push_back(v);
     }},
    {"--order", "", "dependencies",
     "each table after the tables its foreign keys reference (default:\n"
     "catalogue order); tables in a cycle keep catalogue order among\n"
     "themselves, and a warning names them",
     [](ExportOptions& o, const std::string& v, std::string_view) {
       if (v != "dependencies" && v != "catalogue")
         throw UsageError("option --order takes dependencies or catalogue");
       o.dependencyOrder = v == "dependencies";
     }},
    {"--no-go", "", "", "no GO line after each statement (the test script form)",
     [](ExportOptions& o, const std::string&, std::string_view) { o.withGo = false; }},
    {"--rows-per-insert", "", "N",
     "N rows (1 to 1000, default 1) in one insert statement:\n"
     "insert T (...) Values(...),(...); the last may hold fewer, and\n"
     "a statement that passes 1 MiB takes no more rows",
     [](ExportOptions& o, const std::string& v, std::string_view) {
       o.rowsPerInsert = rowsPerInsertFrom(v);
     }},
    {"--output", "-o", "FILE",
     "write the script to FILE (created, or emptied) instead of\n"
     "MakeInitData.txt; -o - writes it to standard output",
     [](ExportOptions& o, const std::string& v, std::string_view typed) {
       if (v.empty())
         throw UsageError("option " + std::string(typed) +
                          " needs a file name, or - for standard output");
       o.output = v;
     }},
    {"--where", "", "TABLE=CONDITION",
     "only the rows of TABLE that meet CONDITION, a T-SQL search condition\n"
     "passed on as typed: --where \"Log=At >= '20240101'\"; the first =\n"
     "outside brackets ends TABLE (may be given once per table)",
     [](ExportOptions& o, const std::string& v, std::string_view typed) {
       o.rowConditions.push_back(tableAssignmentFrom(v, typed, "CONDITION"));
     }},
    {"--exclude-table", "", "T", "leave table T out (may be given more than once)",
     [](ExportOptions& o, const std::string& v, std::string_view) {
       if (v.empty())
         throw UsageError("option --exclude-table needs a table name");
       o.excludedTables.push_back(v);
     }},
    {"--exclude-column", "", "TABLE=COLUMN",
     "leave COLUMN out of the statements of TABLE; an identity column left\n"
     "out takes no SET IDENTITY_INSERT lines (may be given more than once)",
     [](ExportOptions& o, const std::string& v, std::string_view typed) {
       o.excludedColumns.push_back(tableAssignmentFrom(v, typed, "COLUMN"));
     }},
    {"--snapshot", "", "",
     "read every table in one SNAPSHOT transaction, so the script shows\n"
     "the database at one moment while others write to it (the database\n"
     "must allow snapshot isolation)",
     [](ExportOptions& o, const std::string&, std::string_view) { o.snapshot = true; }},
    {"--disable-constraints", "", "",
     "ALTER TABLE ... NOCHECK CONSTRAINT ALL before the first table for\n"
     "every table with rows, and WITH CHECK CHECK CONSTRAINT ALL after the\n"
     "last, for foreign keys that form a cycle",
     [](ExportOptions& o, const std::string&, std::string_view) { o.disableConstraints = true; }},
    {"--compress", "", "gzip|zstd",
     "compress the -o output (an -o name ending in .gz or .zst does too);\n"
     "it stays readable up to the last whole table if the run fails",
     [](ExportOptions& o, const std::string& v, std::string_view) {
       if (v != "gzip" && v != "zstd")
         throw UsageError("option --compress takes gzip or zstd");
       o.compression = v == "gzip" ? script::Compression::gzip : script::Compression::zstd;
     }},
    {"--bom", "", "",
     "start the -o output with a UTF-8 byte-order mark (under a UTF-8\n"
     "locale only)",
     [](ExportOptions& o, const std::string&, std::string_view) { o.byteOrderMark = true; }},
    {"--encrypt", "", "optional|mandatory",
     "optional (the default): TLS when the server offers it; mandatory:\n"
     "a server that does not encrypt the whole session is refused",
     [](ExportOptions& o, const std::string& v, std::string_view) {
       if (v != "optional" && v != "mandatory")
         throw UsageError("option --encrypt takes optional or mandatory");
       o.encryptionRequired = v == "mandatory";
     }},
    {"--ca-file", "", "FILE|system",
     "the server's certificate must chain to a CA of FILE (PEM), or of the\n"
     "system's trust store, and name the host dialled; else the connection\n"
     "is refused. Without it no certificate is checked",
     [](ExportOptions& o, const std::string& v, std::string_view) {
       if (v.empty())
         throw UsageError("option --ca-file needs a file name, or system");
       o.trustedCertificates = v;
     }},
    {"--quiet", "-q", "", "print nothing but errors",
     [](ExportOptions& o, const std::string&, std::string_view) { o.quiet = true; }},
    {"--help", "-h", "", "show this text and exit",
     [](ExportOptions& o, const std::string&, std::string_view) {
       o.action = ExportOptions::Action::showHelp;
     }},
    {"--version", "", "", "show the version and exit",
     [](ExportOptions& o, const std::string&, std::string_view) {
       o.action = ExportOptions::Action::showVersion;
     }},
};

const OptionSpec* optionNamed(std::string_view name) {
  for (const OptionSpec& option : kOptions)
    if (name == option.name || (!option.shortName.empty() && name == option.shortName))
      return &option;
  return nullptr;
}

// "  --server S       the server: ...", continuation lines under the first.
std::string optionHelp(const OptionSpec& option) {
  constexpr std::size_t kHelpColumn = 19;
  std::string label = "  ";
  if (!option.shortName.empty())
    label += std::string(option.shortName) + ", ";
  label += option.name;
  if (!option.valueName.empty())
    label += " " + std::string(option.valueName);
  label += label.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - label.size(), ' ')
                                           : "\n" + std::string(kHelpColumn, ' ');
  std::string text = label;
  for (char c : option.help)
    text += c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, c);
  return text + "\n";
}

}  // namespace

ExportOptions parseExportOptions(int argc, const char* const* argv,
                                 const char* environmentPassword) {
  ExportOptions options;
  if (environmentPassword != nullptr)
    options.password = environmentPassword;
  std::vector<const OptionSpec*> given;

  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") {
      // The end of the options; this program takes no other arguments.
      if (i + 1 < argc)
        throw UsageError("unexpected argument " + std::string(argv[i + 1]));
      break;
    }
    // Both "--name value" and "--name=value".
    std::string_view name = argument;
    std::optional<std::string> value;
    if (const std::size_t equals = argument.find('=');
        argument.starts_with("--") && equals != std::string_view::npos) {
      name = argument.substr(0, equals);
      value = std::string(argument.substr(equals + 1));
    }
    const OptionSpec* option = optionNamed(name);
    if (option == nullptr)
      throw UsageError("unknown argument " + std::string(argument));
    if (option->valueName.empty() && value)
      throw UsageError("option " + std::string(name) + " takes no value");
    if (!option->valueName.empty() && !value) {
      if (i + 1 >= argc)
        throw UsageError("option " + std::string(name) + " needs a value");
      value = argv[++i];
    }
    option->apply(options, value.value_or(std::string()), name);
    if (options.action != ExportOptions::Action::exportScript)
      return options;
    given.push_back(option);
  }
  for (const OptionSpec& option : kOptions)
    if (option.required && std::find(given.begin(), given.end(), &option) == given.end())
      throw UsageError("option " + std::string(option.name) + " is required");
  checkOutputForm(options, std::any_of(given.begin(), given.end(), [](const OptionSpec* option) {
                    return option->name == "--compress";
                  }));
  return options;
}

std::string usageText() {
  std::string text = R"(Usage: velmora-export --server S --database D [OPTION]...

Writes MakeInitData.txt in the current directory: one INSERT statement for every row of
every table of database D on SQL Server S (or of the named tables only, in catalogue order),
followed by the USE master and ALTER DATABASE lines. Progress goes to standard error.
Tables are named as the table list shows them: a dbo table by its name, any other as
schema.name with brackets where a name needs them (Sales.Customer, [my sales].[Order]).
Database and table names match as typed, else ignoring the case of letters (ASCII, Latin-1,
Greek, Cyrillic).

Options (--name=value works too; -- ends the options):
)";
  for (const OptionSpec& option : kOptions)
    text += optionHelp(option);
  text += R"(
On a terminal, the progress line of the table being written is redrawn with the rows
written so far and their rate; elsewhere each progress text is one line.

Encryption: by default the connection is encrypted when the server offers TLS, but the
server's certificate is not checked, so a machine in the middle could pose as the server.
Across networks, give --ca-file (and --encrypt mandatory, so that a server offering no TLS
is refused too).

Environment:
  VELMORA_PASSWORD  the password when --password is not given; with neither, the
                    password is empty

Exit status:
  0  the script was written
  2  the connection to the server or the database failed (a second line gives the reason
     when one is known, such as a certificate that is not trusted), the ODBC driver is not
     installed, or the server name, database name, user name or password holds "};",
     which the ODBC driver cannot take
  1  any other error: a bad command line, an unknown database or table, another run
     writing the same script file (MakeInitData.txt in the same folder, or the -o FILE),
     a failure while reading the server or writing the file (the error's text is printed)
)";
  return text;
}

}  // namespace velmora::exporter
