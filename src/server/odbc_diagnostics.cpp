#include "server/odbc_diagnostics.h"

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "server/data_access.h"
#include "text/utf.h"

namespace velmora::server::odbc {
namespace {

// "[FreeTDS][SQL Server]Login failed for user 'sa'." -> "Login failed for user 'sa'."
std::u16string withoutVendorPrefixes(std::u16string message) {
  std::size_t start = 0;
  while (start < message.size() && message[start] == u'[') {
    const std::size_t close = message.find(u']', start);
    if (close == std::u16string::npos)
      break;
    start = close + 1;
  }
  return start < message.size() ? message.substr(start) : message;
}

}  // namespace

DataAccessError diagnosticError(HandleKind kind, void* handle, std::string_view call) {
  SQLWCHAR state[6] = {};
  SQLINTEGER nativeCode = 0;
  SQLSMALLINT length = 0;
  std::u16string message(1024, u'\0');
  SQLRETURN rc = SQL_ERROR;
  if (handle != nullptr) {
    rc = SQLGetDiagRecW(static_cast<SQLSMALLINT>(kind), handle, 1, state, &nativeCode,
                        reinterpret_cast<SQLWCHAR*>(message.data()),
                        static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.assign(static_cast<std::size_t>(length) + 1, u'\0');
      rc = SQLGetDiagRecW(static_cast<SQLSMALLINT>(kind), handle, 1, state, &nativeCode,
                          reinterpret_cast<SQLWCHAR*>(message.data()),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
  }
  if (!succeeded(rc))
    return DataAccessError("ODBC call " + std::string(call) + " failed without a diagnostic");
  message.resize(std::min<std::size_t>(static_cast<std::size_t>(length), message.size()));
  const std::u16string sqlState(reinterpret_cast<const char16_t*>(state), 5);
  return DataAccessError(text::utf8FromUtf16(withoutVendorPrefixes(std::move(message))),
                         text::utf8FromUtf16(sqlState), static_cast<long>(nativeCode));
}

void throwError(HandleKind kind, void* handle, std::string_view call) {
  throw diagnosticError(kind, handle, call);
}

}  // namespace velmora::server::odbc
