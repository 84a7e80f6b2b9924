// How velmora-export reaches a server: the Data Source forms, certificates, inputs the driver
// cannot take, a missing driver, and the options the manual page must describe.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "e2e/export_runner.h"
#include "support/standin_process.h"

namespace velmora::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kPassword = "Velmora#2026";
const std::string kConnectFailure =
    "无法连接数据库，可能是用户名、密码错或计算机上未安装SQL SERVER\n";
const std::string kFixture = std::string(VELMORA_TEST_DATA_DIR) + "/e2e/connect.json";

class ConnectTest : public ::testing::Test {
 protected:
  ConnectTest() {
    char pattern[] = "/tmp/velmora-connect-e2e-XXXXXX";
    directory_ = ::mkdtemp(pattern);
  }
  ~ConnectTest() override { fs::remove_all(directory_); }

  ExportResult exportFrom(const std::string& server, std::vector<std::string> arguments,
                          EnvironmentChanges changes = {}) {
    std::vector<std::string> all{"--server", server, "--no-go", "-q"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    EnvironmentChanges environment{{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kPassword}};
    for (auto& [name, value] : changes)
      environment[name] = value;
    return runExport(directory_, all, environment);
  }

  fs::path directory_;
};

// A server named with neither port nor instance is the default instance, on port 1433.
TEST_F(ConnectTest, ServerNamedAloneIsReachedOnPort1433) {
  if (!loopbackPortFree(SOCK_STREAM, 1433))
    GTEST_SKIP() << "TCP port 127.0.0.1:1433 is in use, so the stand-in cannot listen there";
  const StandinProcess server(kFixture, {"--port", "1433"});
  for (const char* name : {"127.0.0.1", "localhost", ".", "(local)", "tcp:127.0.0.1"}) {
    SCOPED_TRACE(name);
    const ExportResult result = exportFrom(name, {"--database", "Shop"});
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(readFile(directory_ / "MakeInitData.txt").substr(0, 50),
              "SET DATEFORMAT mdy\r\ninsert Dept (ID) Values(1)\r\nUS");
  }
}

// --ca-file checks the server's certificate against the CA given and the host dialled;
// --encrypt mandatory refuses a server without TLS. Each refusal says why on a second line.
TEST_F(ConnectTest, CertificatesAreCheckedWhenAsked) {
  const std::string trusted = (directory_ / "server.pem").string();
  const std::string other = (directory_ / "other.pem").string();
  const StandinProcess server(kFixture, {"--encryption", "required", "--certificate", trusted});
  // Another server's certificate: the same name, another key.
  const StandinProcess stranger(kFixture, {"--encryption", "required", "--certificate", other});
  const StandinProcess plain(kFixture);

  struct Case {
    const char* what;
    std::string server;
    std::vector<std::string> arguments;
    int exitCode;
    std::string errorStart;
  };
  const Case cases[] = {
      {"the server's own CA", server.serverText(), {"--ca-file", trusted}, 0, ""},
      {"by host name",
       "localhost," + std::to_string(server.port()),
       {"--ca-file", trusted, "--encrypt", "mandatory"},
       0,
       ""},
      {"another CA",
       server.serverText(),
       {"--ca-file", other},
       2,
       kConnectFailure + "The server's certificate is not trusted: "},
      {"mandatory against a server without TLS",
       plain.serverText(),
       {"--encrypt", "mandatory"},
       2,
       kConnectFailure},
      {"default against a server without TLS", plain.serverText(), {}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> arguments{"--database", "Shop"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const ExportResult result = exportFrom(c.server, arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.standardError;
    EXPECT_TRUE(result.standardError.starts_with(c.errorStart)) << result.standardError;
    if (c.exitCode != 0) {
      EXPECT_GT(result.standardError.size(), kConnectFailure.size()) << "no reason given";
    }
  }
  // The private driver configuration is gone once the connect is done.
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
    EXPECT_FALSE(entry.path().filename().string().starts_with("velmora-tds-")) << entry.path();
}

TEST_F(ConnectTest, InputsTheDriverCannotTakeAndAMissingDriverExit2) {
  const StandinProcess server(kFixture);
  const fs::path noDrivers = directory_ / "no-drivers";
  fs::create_directory(noDrivers);
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    EnvironmentChanges environment;
    std::string error;
  };
  const Case cases[] = {
      {"database a};b",
       {"--database", "a};b"},
       {},
       "The name of database 'a};b' holds \"};\", which the ODBC driver cannot take.\n"},
      {"no ODBC driver",
       {"--database", "Shop"},
       {{"ODBCSYSINI", noDrivers.string()}, {"HOME", noDrivers.string()}},
       "The ODBC driver FreeTDS is not installed (Debian package tdsodbc), so no server can be "
       "reached.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ExportResult result = exportFrom(server.serverText(), c.arguments, c.environment);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.standardError, c.error);
  }
}

// Every option --help lists is described in the manual page.
TEST(ExporterManual, DescribesEveryOption) {
  const ExportResult help = runExport(fs::temp_directory_path(), {"--help"}, {});
  ASSERT_EQ(help.exitCode, 0);
  const std::string manual = readFile(fs::path(VELMORA_DATA_DIR) / "../packaging/velmora-export.1");
  std::istringstream lines(help.standardOutput);
  int options = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t start = line.find("--");
    if (!line.starts_with("  -") || start == std::string::npos)
      continue;
    const std::string name = line.substr(start + 2, line.find_first_of(" =", start) - start - 2);
    ++options;
    // The page writes "--ca-file" as "\-\-ca\-file".
    std::string roff = "\\-\\-";
    for (char c : name)
      roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manual.find(roff), std::string::npos) << "the manual page misses --" << name;
  }
  EXPECT_GE(options, 15);
}

}  // namespace
}  // namespace velmora::e2e
