#include "server/odbc_driver_check.h"

#include <sql.h>
#include <sqlext.h>

#include "server/odbc_diagnostics.h"

namespace velmora::server {

DataComponentMissing::DataComponentMissing()
    : std::runtime_error(
          "Error creating object.  Please verify that the Microsoft Data Access Components 2.1 "
          "(or later) have been properly installed") {}

void requireOdbcDriver(const std::string& driverName) {
  SQLHENV environment = SQL_NULL_HENV;
  if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)))
    throw DataComponentMissing();
  bool found = false;
  if (odbc::succeeded(SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                                    reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    SQLCHAR description[256];
    SQLCHAR attributes[1024];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (!found && odbc::succeeded(SQLDrivers(environment, direction, description,
                                                sizeof description, &descriptionLength, attributes,
                                                sizeof attributes, &attributesLength))) {
      found = driverName == reinterpret_cast<const char*>(description);
      direction = SQL_FETCH_NEXT;
    }
  }
  SQLFreeHandle(SQL_HANDLE_ENV, environment);
  if (!found)
    throw DataComponentMissing();
}

}  // namespace velmora::server
