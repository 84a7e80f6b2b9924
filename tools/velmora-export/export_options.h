#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::exporter {

// The command line of velmora-export, as typed (bytes in the locale's codeset).
struct ExportOptions {
  enum class Action { exportScript, showHelp, showVersion };

  Action action = Action::exportScript;
  std::string server;
  std::string database;
  std::string user = "sa";
  std::string password;
  // Empty: every table of the database.
  std::vector<std::string> tables;
  bool withGo = true;
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

std::string usageText();

}  // namespace velmora::exporter
