// velmora-export: the generation run of the window, for scripts and servers without a
// display.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "export_options.h"
#include "export_script.h"
#include "progress_display.h"
#include "script/codeset.h"
#include "script/locale_formats.h"
#include "server/odbc_connection.h"
#include "server/odbc_driver_check.h"
#include "session/host_streams.h"
#include "session/session_texts.h"

namespace {

using velmora::exporter::ExportOptions;
using velmora::script::Codeset;

constexpr int kExitError = 1;
constexpr int kExitConnectFailed = 2;

// Error texts are UTF-8; the terminal expects the locale's codeset. Names from the server in
// them are shown with their control characters escaped.
void printMessage(const std::string& utf8Text, const Codeset* codeset) {
  std::string text = utf8Text;
  if (codeset != nullptr && codeset->name() != "UTF-8") {
    try {
      text = codeset->fromUtf16(Codeset("UTF-8").toUtf16(utf8Text));
    } catch (const std::exception&) {
      // The text in UTF-8 is still better than none.
    }
  }
  text = velmora::exporter::withControlsEscaped(text) + '\n';
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

int run(const ExportOptions& options) {
  std::optional<Codeset> codeset;
  try {
    codeset.emplace(Codeset::processCodesetName());
    const velmora::script::LocaleFormats formats =
        velmora::script::localeFormatsFromSystem(*codeset);
    velmora::server::requireOdbcDriver(velmora::server::kOdbcDriverName);
    const auto factory = velmora::server::makeOdbcConnectionFactory();
    velmora::exporter::exportScript(options, *factory, *codeset, formats, stderr);
    return EXIT_SUCCESS;
  } catch (const velmora::server::DataComponentMissing&) {
    printMessage(std::string("The ODBC driver ") + velmora::server::kOdbcDriverName +
                     " is not installed (Debian package tdsodbc), so no server can be reached.",
                 codeset ? &*codeset : nullptr);
    return kExitConnectFailed;
  } catch (const velmora::session::ConnectionFailure& failure) {
    // The message the window shows, then why the connect was refused when that is known.
    printMessage(failure.what(), codeset ? &*codeset : nullptr);
    if (!failure.reason().empty())
      printMessage(failure.reason(), codeset ? &*codeset : nullptr);
    return kExitConnectFailed;
  } catch (const velmora::exporter::InputRefused& refused) {
    printMessage(refused.what(), codeset ? &*codeset : nullptr);
    return kExitConnectFailed;
  } catch (const std::exception& error) {
    printMessage(velmora::session::errorBoxText(error.what()), codeset ? &*codeset : nullptr);
    return kExitError;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const velmora::session::ClosedAtStart closed = velmora::session::guardStandardStreams();
  std::setlocale(LC_ALL, "");
  ExportOptions options;
  try {
    options = velmora::exporter::parseExportOptions(argc, argv, std::getenv("VELMORA_PASSWORD"));
  } catch (const velmora::exporter::UsageError& error) {
    std::fprintf(stderr, "velmora-export: %s\nTry 'velmora-export --help'.\n", error.what());
    return kExitError;
  }
  switch (options.action) {
    case ExportOptions::Action::showHelp:
      std::fputs(velmora::exporter::usageText().c_str(), stdout);
      return EXIT_SUCCESS;
    case ExportOptions::Action::showVersion:
      std::printf("velmora-export %s\n", VELMORA_VERSION);
      return EXIT_SUCCESS;
    case ExportOptions::Action::exportScript:
      break;
  }
  // Standard output was opened on /dev/null in place of the closed one; the script must not
  // vanish there.
  if (options.output == "-" && closed.output) {
    printMessage("Cannot write standard output: it is closed.", nullptr);
    return kExitError;
  }
  return run(options);
}
