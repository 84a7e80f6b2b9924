#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/connection_target.h"

// The ODBC connection string the FreeTDS driver is opened with, built straight from the
// connection inputs, and the private driver configuration a certificate check needs.
namespace velmora::server {

// The port of a SQL Server default instance, which every client dials when the data source
// names neither port nor instance.
constexpr unsigned kDefaultPort = 1433;

// Where a "Data Source" points: host name, port or instance.
struct ServerAddress {
  std::u16string host;
  std::optional<unsigned> port;
  std::u16string instance;  // empty: the default instance
};

// Accepts "host", "host,port", "host\instance", "tcp:host", "tcp:host,port"; "." and
// "(local)" stand for this machine. Throws DataAccessError for a port that is not a number
// from 1 to 65535.
ServerAddress parseDataSource(std::u16string_view dataSource);

// The port to dial: the one given, else the default instance's; none for a named instance
// given without one (its port comes from the SQL Server Browser).
std::optional<unsigned> portToDial(const ServerAddress& address);

// The name under which the private driver configuration describes the server.
constexpr std::u16string_view kConfiguredServerName = u"velmora";

// The ODBC connection string for `target`, `address` being its data source with the port
// to dial filled in: server, port, database, login, TDS 7.4, UTF-8 on the client side, and
// encryption when the server asks for it. A target with a security of its own names the
// server of the private configuration instead (see driverConfiguration). Throws
// DataAccessError for a value the driver cannot take.
std::u16string odbcConnectionString(const ConnectionTarget& target, const ServerAddress& address);

// The freetds.conf text that describes the server for a target with a security of its own:
// FreeTDS takes a CA file and the host-name check only from there. The driver logs its
// errors to `logFile`, which is how a refused certificate's reason is learnt. Throws
// DataAccessError for a value that would break the file's lines.
std::string driverConfiguration(const ConnectionTarget& target, const ServerAddress& address,
                                const std::string& logFile);

// One ODBC attribute value as FreeTDS reads it: bare when plain, else between braces. Throws
// DataAccessError for a value the driver cannot take (see driverCanTake).
std::u16string odbcAttributeValue(std::u16string_view value);

// Whether FreeTDS can be given `value` as an attribute: not when it holds "};".
bool driverCanTake(std::u16string_view value);

}  // namespace velmora::server
