#pragma once

#include <stdexcept>
#include <string>

namespace velmora::server {

// The ODBC driver the connections ask for, by its name in odbcinst.ini.
constexpr const char* kOdbcDriverName = "FreeTDS";

// The data access component cannot be used: the ODBC driver manager has no driver of the
// name the connections ask for.
class DataComponentMissing : public std::runtime_error {
 public:
  DataComponentMissing();
};

// Throws DataComponentMissing unless the ODBC driver manager lists a driver named
// `driverName` ("FreeTDS" for the program).
void requireOdbcDriver(const std::string& driverName);

}  // namespace velmora::server
