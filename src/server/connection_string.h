#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// The ADO-form connection string as a session builds it, and the ODBC connection string the
// FreeTDS driver is opened with.
namespace velmora::server {

// Keys folded to lower case, values UTF-16 as written (quotes removed).
using ConnectionProperties = std::map<std::u16string, std::u16string>;

// Parses "key=value;key=value" after the OLE DB rules: keys ignore case and surrounding blanks,
// "==" inside a key stands for '=', a value may be quoted with " or ' (a doubled quote inside
// stands for one), unquoted values lose surrounding blanks, the last of repeated keys wins.
// Throws DataAccessError for a string that breaks these rules (an unclosed quote, text after
// a closing quote, a pair without '=').
ConnectionProperties parseConnectionString(std::u16string_view text);

// Where a "Data Source" points: host name, port or instance.
struct ServerAddress {
  std::u16string host;
  std::optional<unsigned> port;
  std::u16string instance;  // empty: the default instance
};

// Accepts "host", "host,port", "host\instance", "tcp:host,port"; "." and "(local)" stand for
// this machine. Throws DataAccessError for a port that is not a number from 1 to 65535.
ServerAddress parseDataSource(std::u16string_view dataSource);

// The ODBC connection string for the FreeTDS driver: server, port, database, login, TDS 7.4,
// UTF-8 on the client side, and encryption when the server asks for it. `instancePort` is
// the port the SQL Server Browser gave for the data source's named instance.
std::u16string odbcConnectionString(const ConnectionProperties& properties,
                                    std::optional<unsigned> instancePort = std::nullopt);

// One ODBC attribute value as FreeTDS reads it: bare when plain, else between braces. Throws
// DataAccessError for a value the driver cannot take (see driverCanTake).
std::u16string odbcAttributeValue(std::u16string_view value);

// Whether FreeTDS can be given `value` as an attribute: not when it holds "};".
bool driverCanTake(std::u16string_view value);

}  // namespace velmora::server
