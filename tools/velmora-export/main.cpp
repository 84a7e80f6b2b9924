// velmora-export: the generation run of the window, for scripts and servers without a
// display.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "error_messages.h"
#include "export_options.h"
#include "export_script.h"
#include "progress_display.h"
#include "script/codeset.h"
#include "script/locale_formats.h"
#include "server/odbc_connection.h"
#include "server/odbc_driver_check.h"
#include "session/host_streams.h"

namespace {

using velmora::exporter::ExportOptions;
using velmora::script::Codeset;

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
  } catch (const std::exception& error) {
    const velmora::exporter::FailureReport report = velmora::exporter::failureReport(error);
    for (const std::string& line : report.lines)
      printMessage(line, codeset ? &*codeset : nullptr);
    return report.exitStatus;
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
    std::fputs(velmora::exporter::usageErrorText(error.what()).c_str(), stderr);
    return velmora::exporter::kExitError;
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
    printMessage(velmora::exporter::kClosedOutputText, nullptr);
    return velmora::exporter::kExitError;
  }
  return run(options);
}
