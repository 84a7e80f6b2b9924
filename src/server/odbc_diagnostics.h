#pragma once

#include <string_view>

#include "server/data_access.h"

// Checking ODBC return codes. Handles and codes travel as plain types so that the ODBC headers
// stay inside the .cpp files.
namespace velmora::server::odbc {

// The handle kinds of SQLGetDiagRec.
enum class HandleKind : short { environment = 1, connection = 2, statement = 3 };

// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool succeeded(short returnCode) {
  return returnCode == 0 || returnCode == 1;
}

// The driver's first diagnostic record for `handle` as a DataAccessError: its message (without
// the "[vendor][component]" prefixes), SQLSTATE and native error code. `call` names the failed
// call for the rare case that the driver left no record. Read it before the next call on the
// handle, which clears the records.
DataAccessError diagnosticError(HandleKind kind, void* handle, std::string_view call);

// Throws diagnosticError(kind, handle, call).
[[noreturn]] void throwError(HandleKind kind, void* handle, std::string_view call);

// Throws as throwError when `returnCode` is not a success.
inline void check(short returnCode, HandleKind kind, void* handle, std::string_view call) {
  if (!succeeded(returnCode))
    throwError(kind, handle, call);
}

}  // namespace velmora::server::odbc
