#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "fixture.h"
#include "server.h"
#include "statement_log.h"

namespace {

constexpr const char* kUsage =
    "usage: tds-standin --fixture FILE [--port N] [--statement-log FILE]\n"
    "Serves the databases of a JSON fixture as a SQL Server on 127.0.0.1 (TDS 7.1 to 7.4).\n"
    "  --port N            TCP port; 0 (the default) picks a free one\n"
    "  --statement-log F   append every SQL batch received to F, one JSON string a line\n";

struct Options {
  std::string fixture;
  int port = 0;
  std::optional<std::string> statementLog;
};

Options parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc)
        throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--fixture") {
      options.fixture = value();
    } else if (arg == "--port") {
      std::string text = value();
      char* end = nullptr;
      long port = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || port < 0 || port > 65535) {
        throw std::invalid_argument("bad port \"" + text + "\"");
      }
      options.port = static_cast<int>(port);
    } else if (arg == "--statement-log") {
      options.statementLog = value();
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else {
      throw std::invalid_argument("unknown option " + arg);
    }
  }
  if (options.fixture.empty())
    throw std::invalid_argument("--fixture is required");
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  Options options;
  try {
    options = parseOptions(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tds-standin: %s\n%s", e.what(), kUsage);
    return 2;
  }
  try {
    auto fixture = standin::Fixture::load(options.fixture);
    std::unique_ptr<standin::StatementLog> log;
    if (options.statementLog) {
      log = std::make_unique<standin::StatementLog>(*options.statementLog);
    }
    standin::Server server(fixture, static_cast<uint16_t>(options.port), log.get());
    std::printf("listening on 127.0.0.1:%u\n", server.port());
    std::fflush(stdout);
    server.serveForever();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tds-standin: %s\n", e.what());
    return 1;
  }
}
