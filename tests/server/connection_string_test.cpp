#include "server/connection_string.h"

#include <gtest/gtest.h>

#include "server/data_access.h"
#include "server/private_driver_configuration.h"

namespace velmora::server {
namespace {

std::string narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

struct DataSourceCase {
  std::u16string text;
  std::u16string host;
  std::optional<unsigned> port;
  std::u16string instance;
};

TEST(ParseDataSource, AcceptsTheServerForms) {
  const DataSourceCase cases[] = {
      {u"dbhost", u"dbhost", {}, u""},
      {u"dbhost,1444", u"dbhost", 1444, u""},
      {u"dbhost , 1444", u"dbhost", 1444, u""},
      {u"tcp:dbhost,1444", u"dbhost", 1444, u""},
      {u"TCP:10.0.0.5", u"10.0.0.5", {}, u""},
      {u"dbhost\\SQLEXPRESS", u"dbhost", {}, u"SQLEXPRESS"},
      {u".", u"localhost", {}, u""},
      {u"(local)", u"localhost", {}, u""},
      {u"(LOCAL)\\Inst", u"localhost", {}, u"Inst"},
      {u".,1500", u"localhost", 1500, u""},
      {u"127.0.0.1,65535", u"127.0.0.1", 65535, u""},
      {u"", u"", {}, u""},
  };
  for (const DataSourceCase& c : cases) {
    SCOPED_TRACE(narrow(c.text));
    const ServerAddress address = parseDataSource(c.text);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
    EXPECT_EQ(address.instance, c.instance);
  }
}

TEST(ParseDataSource, RejectsBadPorts) {
  for (const std::u16string text :
       {u"h,", u"h,0", u"h,65536", u"h,99999999999", u"h,12a", u"h,-1"}) {
    SCOPED_TRACE(narrow(text));
    EXPECT_THROW(parseDataSource(text), DataAccessError);
  }
}

TEST(OdbcAttributeValue, BracesValuesThatWouldBreakTheString) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"plain", u"plain"},     {u"", u""},         {u"with blank", u"with blank"},
      {u"a;b", u"{a;b}"},       {u"a=b", u"{a=b}"}, {u"{x}", u"{{x}}"},
      {u"a}b", u"{a}b}"},       {u"x}", u"{x}}"},   {u" lead", u"{ lead}"},
      {u"trail ", u"{trail }"}, {u"\"q'", u"\"q'"},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(narrow(value));
    EXPECT_EQ(odbcAttributeValue(value), expected);
  }
  // FreeTDS would end the value at "};" and read the rest as further keys.
  EXPECT_THROW(odbcAttributeValue(u"a};UID=other"), DataAccessError);
}

TEST(OdbcConnectionString, IsBuiltStraightFromTheInputs) {
  struct Case {
    std::u16string dataSource;
    std::u16string database;
    std::u16string password;
    std::optional<unsigned> browserPort;  // what the Browser gave for a named instance
    std::u16string odbc;
  };
  const std::u16string tail = u";TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request";
  const Case cases[] = {
      {u"127.0.0.1,1433",
       u"Master",
       u"pw",
       {},
       u"Driver=FreeTDS;Server=127.0.0.1;Port=1433;Database=Master;UID=sa;PWD=pw" + tail},
      // Neither port nor instance: the default instance's port, which FreeTDS would not add.
      {u"db1",
       u"Shop",
       u"pw",
       {},
       u"Driver=FreeTDS;Server=db1;Port=1433;Database=Shop;UID=sa;PWD=pw" + tail},
      {u"tcp:db1",
       u"Shop",
       u"pw",
       {},
       u"Driver=FreeTDS;Server=db1;Port=1433;Database=Shop;UID=sa;PWD=pw" + tail},
      {u"localhost",
       u"Shop",
       u"pw",
       {},
       u"Driver=FreeTDS;Server=localhost;Port=1433;Database=Shop;UID=sa;PWD=pw" + tail},
      {u".",
       u"Shop",
       u"pw",
       {},
       u"Driver=FreeTDS;Server=localhost;Port=1433;Database=Shop;UID=sa;PWD=pw" + tail},
      {u"(local)",
       u"Shop",
       u"pw",
       {},
       u"Driver=FreeTDS;Server=localhost;Port=1433;Database=Shop;UID=sa;PWD=pw" + tail},
      // Typed text stays one value: braced where it holds ';', '=', braces or outer blanks.
      {u"(local)",
       u"a;b",
       u"x;UID=other}",
       {},
       u"Driver=FreeTDS;Server=localhost;Port=1433;Database={a;b};UID=sa;PWD={x;UID=other}}" +
           tail},
      // The Browser's port goes beside the instance name, which FreeTDS passes on in PRELOGIN.
      {u"host\\INST", u"", u"", 49172,
       u"Driver=FreeTDS;Server=host\\INST;Port=49172;Database=;UID=sa;PWD=" + tail},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(narrow(c.dataSource));
    ServerAddress address = parseDataSource(c.dataSource);
    if (c.browserPort)
      address.port = c.browserPort;
    const ConnectionTarget target{
        .dataSource = c.dataSource, .database = c.database, .user = u"sa", .password = c.password};
    EXPECT_EQ(odbcConnectionString(target, address), c.odbc);
  }
  EXPECT_THROW(odbcConnectionString({.database = u"a};b"}, parseDataSource(u".")), DataAccessError);
}

// A certificate check needs the driver's configuration file; the string then names its server.
TEST(OdbcConnectionString, NamesThePrivateConfigurationForACertificateCheck) {
  const ConnectionTarget target{
      .dataSource = u"127.0.0.1",
      .database = u"Shop",
      .user = u"sa",
      .password = u"pw",
      .security = {.encryptionRequired = true, .trustedCertificates = "/etc/ca.pem"}};
  const ServerAddress address = parseDataSource(target.dataSource);
  EXPECT_EQ(odbcConnectionString(target, address),
            u"Driver=FreeTDS;Servername=velmora;Database=Shop;UID=sa;PWD=pw;ClientCharset=UTF-8");
  EXPECT_EQ(driverConfiguration(target, address, "/tmp/x/driver.log"),
            "[velmora]\n\thost = 127.0.0.1\n\tport = 1433\n\ttds version = 7.4\n"
            "\tencryption = require\n\tca file = /etc/ca.pem\n"
            "\tcheck certificate hostname = yes\n\tdump file = /tmp/x/driver.log\n"
            "\tdebug flags = 0x6\n");
  ConnectionTarget broken = target;
  broken.security.trustedCertificates = "a.pem\n[other]";
  EXPECT_THROW(driverConfiguration(broken, address, "log"), DataAccessError);
}

// The driver says only that the connection failed; the reason comes from its error log.
TEST(TlsRefusalReason, ReadsTheDriversErrorLog) {
  const std::string connect =
      "tds_setup_socket: connect(2) returned \"Operation now in progress\"\n";
  struct Case {
    std::string log;
    bool encryptionRequired;
    std::string reason;
  };
  const Case cases[] = {
      {connect + "Certificate status: 66\nhandshake failed: Error in the certificate.\n", false,
       "The server's certificate is not trusted: it is not signed by a trusted authority."},
      {connect + "Certificate hostname does not match\nhandshake failed: Error in the "
                 "certificate.\n",
       false, "The server's certificate does not name db1."},
      {"loading CA file failed: Error while reading file.\n", false,
       "The CA file cannot be used: Error while reading file."},
      {connect + "login packet rejected\n", true,
       "The server does not encrypt the connection, and encryption is required."},
      // Without encryption required, a refused login is no TLS matter.
      {connect + "login packet rejected\n", false, ""},
      {connect + "tds_process_info() reading message 18456 from server\nlogin packet accepted\n",
       true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    EXPECT_EQ(tlsRefusalReason(c.log, "db1", c.encryptionRequired), c.reason);
  }
}

}  // namespace
}  // namespace velmora::server
