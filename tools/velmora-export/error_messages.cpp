#include "error_messages.h"

#include "export_script.h"
#include "server/odbc_driver_check.h"
#include "session/session_texts.h"
#include "text/utf.h"

namespace velmora::exporter {
namespace {

std::string refusedInputText(const InputRefused& refused) {
  const char* const kCannotTake = " holds \"};\", which the ODBC driver cannot take.";
  switch (refused.input()) {
    case InputRefused::Input::serverName:
      return std::string("The server name") + kCannotTake;
    case InputRefused::Input::userName:
      return std::string("The user name") + kCannotTake;
    case InputRefused::Input::password:
      return std::string("The password") + kCannotTake;
    case InputRefused::Input::databaseName:
      break;
  }
  return "The name of database '" + text::utf8FromUtf16(refused.value()) + "'" + kCannotTake;
}

}  // namespace

FailureReport failureReport(const std::exception& error) {
  if (dynamic_cast<const server::DataComponentMissing*>(&error) != nullptr)
    return {{std::string("The ODBC driver ") + server::kOdbcDriverName +
             " is not installed (Debian package tdsodbc), so no server can be reached."},
            kExitConnectFailed};
  if (const auto* failure = dynamic_cast<const session::ConnectionFailure*>(&error)) {
    // The message the window shows, then why the connect was refused when that is known.
    FailureReport report{{failure->what()}, kExitConnectFailed};
    if (!failure->reason().empty())
      report.lines.push_back(failure->reason());
    return report;
  }
  if (const auto* refused = dynamic_cast<const InputRefused*>(&error))
    return {{refusedInputText(*refused)}, kExitConnectFailed};
  return {{session::errorBoxText(error)}, kExitError};
}

std::string usageErrorText(const std::string& why) {
  return "velmora-export: " + why + "\nTry 'velmora-export --help'.\n";
}

std::string cycleWarningText(const std::string& names) {
  return "velmora-export: warning: the foreign keys of " + names +
         " form a cycle; these tables keep catalogue order\n";
}

}  // namespace velmora::exporter
