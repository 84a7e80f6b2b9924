#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "browser.h"
#include "encryption.h"
#include "fixture.h"
#include "server.h"
#include "statement_log.h"
#include "tls_stream.h"

namespace {

constexpr const char* kUsage =
    "usage: tds-standin --fixture FILE [--port N] [--statement-log FILE]\n"
    "                   [--encryption off|login|required] [--certificate FILE]\n"
    "                   [--instance NAME [--browser-port N]]\n"
    "Serves the databases of a JSON fixture as a SQL Server on 127.0.0.1 (TDS 7.1 to 7.4).\n"
    "  --port N            TCP port; 0 (the default) picks a free one\n"
    "  --statement-log F   append every SQL batch received to F, one JSON string a line\n"
    "  --encryption M      off: no TLS (the default); login: TLS for the login packet, or for\n"
    "                      the whole session when the client asks; required: TLS always\n"
    "  --certificate F     write the self-signed certificate made at start to F (PEM)\n"
    "  --instance NAME     be the named instance NAME and answer SQL Server Browser requests\n"
    "  --browser-port N    UDP port of the Browser; 1434 (the default), 0 picks a free one\n";

struct Options {
  std::string fixture;
  int port = 0;
  std::optional<std::string> statementLog;
  standin::EncryptionMode encryption = standin::EncryptionMode::Off;
  std::optional<std::string> certificate;
  std::string instance;
  std::optional<int> browserPort;
};

int portNumber(const std::string& text) {
  char* end = nullptr;
  long port = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || port < 0 || port > 65535) {
    throw std::invalid_argument("bad port \"" + text + "\"");
  }
  return static_cast<int>(port);
}

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
      options.port = portNumber(value());
    } else if (arg == "--statement-log") {
      options.statementLog = value();
    } else if (arg == "--encryption") {
      std::string text = value();
      auto mode = standin::encryptionModeNamed(text);
      if (!mode)
        throw std::invalid_argument("bad encryption \"" + text + "\"");
      options.encryption = *mode;
    } else if (arg == "--certificate") {
      options.certificate = value();
    } else if (arg == "--instance") {
      options.instance = value();
      // The Browser carries names of up to 32 bytes, and ';' separates its fields.
      if (options.instance.empty() || options.instance.size() > 32 ||
          options.instance.find_first_of(";\\") != std::string::npos) {
        throw std::invalid_argument("bad instance name \"" + options.instance + "\"");
      }
    } else if (arg == "--browser-port") {
      options.browserPort = portNumber(value());
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else {
      throw std::invalid_argument("unknown option " + arg);
    }
  }
  if (options.fixture.empty())
    throw std::invalid_argument("--fixture is required");
  if (options.browserPort && options.instance.empty())
    throw std::invalid_argument("--browser-port needs --instance");
  if (options.certificate && options.encryption == standin::EncryptionMode::Off)
    throw std::invalid_argument("--certificate needs --encryption login or required");
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
    std::unique_ptr<standin::TlsCredentials> tls;
    if (options.encryption != standin::EncryptionMode::Off) {
      tls = std::make_unique<standin::TlsCredentials>();
      if (options.certificate) {
        std::ofstream file(*options.certificate, std::ios::binary | std::ios::trunc);
        file << tls->certificatePem();
        if (!file.flush())
          throw std::runtime_error("cannot write the certificate to " + *options.certificate);
      }
    }
    const standin::ConnectionOptions connections{options.encryption, tls.get(), options.instance};
    standin::Server server(fixture, static_cast<uint16_t>(options.port), log.get(), connections);
    std::unique_ptr<standin::Browser> browser;
    if (!options.instance.empty()) {
      browser = std::make_unique<standin::Browser>(
          static_cast<uint16_t>(options.browserPort.value_or(1434)),
          standin::InstanceInfo{standin::machineName(), options.instance, server.port()});
    }
    std::printf("listening on 127.0.0.1:%u\n", server.port());
    if (browser) {
      std::printf("browser on 127.0.0.1:%u\n", browser->port());
      browser->start();
    }
    std::fflush(stdout);
    server.serveForever();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tds-standin: %s\n", e.what());
    return 1;
  }
}
