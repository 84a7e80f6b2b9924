#include "export_options.h"

#include <string_view>

#include "script/generation_run.h"

namespace velmora::exporter {
namespace {

// Splits the table list at its commas, except those inside a [bracketed] part of an entry
// text ("[my sales].[a,b]"), where "]]" stands for a "]".
std::vector<std::string> splitTables(std::string_view list) {
  std::vector<std::string> names;
  std::string name;
  bool inBrackets = false;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const char c = list[i];
    if (c == ',' && !inBrackets) {
      if (!name.empty())
        names.push_back(std::move(name));
      name.clear();
      continue;
    }
    name += c;
    if (c == '[' && !inBrackets) {
      inBrackets = true;
    } else if (c == ']' && inBrackets) {
      if (i + 1 < list.size() && list[i + 1] == ']')
        name += list[++i];
      else
        inBrackets = false;
    }
  }
  if (!name.empty())
    names.push_back(std::move(name));
  return names;
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

}  // namespace

ExportOptions parseExportOptions(int argc, const char* const* argv,
                                 const char* environmentPassword) {
  ExportOptions options;
  if (environmentPassword != nullptr)
    options.password = environmentPassword;
  bool haveServer = false;
  bool haveDatabase = false;

  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    // Both "--name value" and "--name=value".
    std::string_view name = argument;
    std::string_view inlineValue;
    bool hasInlineValue = false;
    if (const std::size_t equals = argument.find('=');
        argument.starts_with("--") && equals != std::string_view::npos) {
      name = argument.substr(0, equals);
      inlineValue = argument.substr(equals + 1);
      hasInlineValue = true;
    }
    auto value = [&]() -> std::string {
      if (hasInlineValue)
        return std::string(inlineValue);
      if (i + 1 >= argc)
        throw UsageError("option " + std::string(name) + " needs a value");
      return argv[++i];
    };
    auto noValue = [&] {
      if (hasInlineValue)
        throw UsageError("option " + std::string(name) + " takes no value");
    };

    if (name == "--help" || name == "-h") {
      noValue();
      options.action = ExportOptions::Action::showHelp;
      return options;
    }
    if (name == "--version") {
      noValue();
      options.action = ExportOptions::Action::showVersion;
      return options;
    }
    if (name == "--server") {
      options.server = value();
      haveServer = true;
    } else if (name == "--database") {
      options.database = value();
      haveDatabase = true;
    } else if (name == "--user") {
      options.user = value();
    } else if (name == "--password") {
      options.password = value();
    } else if (name == "--tables") {
      const std::vector<std::string> names = splitTables(value());
      if (names.empty())
        throw UsageError("option --tables needs at least one table name");
      options.tables.insert(options.tables.end(), names.begin(), names.end());
    } else if (name == "--table") {
      // One entry text, whole: a name may hold a comma.
      options.tables.push_back(value());
      if (options.tables.back().empty())
        throw UsageError("option --table needs a table name");
    } else if (name == "--no-go") {
      noValue();
      options.withGo = false;
    } else if (name == "--output" || name == "-o") {
      options.output = value();
      if (options.output.empty())
        throw UsageError("option " + std::string(name) +
                         " needs a file name, or - for standard output");
    } else if (name == "--order") {
      const std::string order = value();
      if (order != "dependencies" && order != "catalogue")
        throw UsageError("option --order takes dependencies or catalogue");
      options.dependencyOrder = order == "dependencies";
    } else if (name == "--rows-per-insert") {
      options.rowsPerInsert = rowsPerInsertFrom(value());
    } else if (name == "--quiet" || name == "-q") {
      noValue();
      options.quiet = true;
    } else {
      throw UsageError("unknown argument " + std::string(argument));
    }
  }
  if (!haveServer)
    throw UsageError("option --server is required");
  if (!haveDatabase)
    throw UsageError("option --database is required");
  return options;
}

std::string usageText() {
  return R"(Usage: velmora-export --server S --database D [--user sa] [--password P]
                      [--tables T1,T2,...] [--table T]... [--order dependencies]
                      [--no-go] [--rows-per-insert N] [-o FILE | -o -] [-q]

Writes MakeInitData.txt in the current directory: one INSERT statement for every row of
every table of database D on SQL Server S (or of the named tables only, in catalogue order),
followed by the USE master and ALTER DATABASE lines. Progress goes to standard error.
Tables are named as the table list shows them: a dbo table by its name, any other as
schema.name with brackets where a name needs them (Sales.Customer, [my sales].[Order]).
Database and table names match as typed, else ignoring the case of letters (ASCII, Latin-1,
Greek, Cyrillic).

Options:
  --server S       the server: host, host,port, host\instance, tcp:host,port, . or (local)
  --database D     the database to export
  --user U         the login (default sa)
  --password P     the password (visible in the process list; prefer VELMORA_PASSWORD)
  --tables T,...   only these tables, comma-separated, as the table list shows them
                   (a table outside dbo as schema.name)
  --table T        only this table too; the whole text is one name, commas included
                   (may be given more than once)
  --order dependencies
                   each table after the tables its foreign keys reference (default:
                   catalogue order); tables in a cycle keep catalogue order among
                   themselves, and a warning names them
  --no-go          no GO line after each statement (the test script form)
  --rows-per-insert N
                   N rows (1 to 1000, default 1) in one insert statement:
                   insert T (...) Values(...),(...); the last may hold fewer, and
                   a statement that passes 1 MiB takes no more rows
  -o, --output FILE
                   write the script to FILE (created, or emptied) instead of
                   MakeInitData.txt; -o - writes it to standard output
  -q, --quiet      print nothing but errors
  --help           show this text and exit
  --version        show the version and exit

On a terminal, the progress line of the table being written is redrawn with the rows
written so far and their rate; elsewhere each progress text is one line.

Environment:
  VELMORA_PASSWORD  the password when --password is not given; with neither, the
                    password is empty

Exit status:
  0  the script was written
  2  the connection to the server or the database failed, or the server name, user name
     or password holds "};", which the ODBC driver cannot take
  1  any other error: a bad command line, an unknown database or table, another run
     writing the same script file (MakeInitData.txt in the same folder, or the -o FILE),
     a failure while reading the server or writing the file (the error's text is printed)
)";
}

}  // namespace velmora::exporter
