#include "server/odbc_statement.h"

#include <sql.h>
#include <sqlext.h>

#include "server/odbc_diagnostics.h"

namespace velmora::server::odbc {
namespace {

constexpr SQLULEN kQueryTimeoutSeconds = 30;

}  // namespace

Statement::Statement(void* connectionHandle) {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  check(SQLAllocHandle(SQL_HANDLE_STMT, connectionHandle, &statement), HandleKind::connection,
        connectionHandle, "SQLAllocHandle");
  handle_ = statement;
  try {
    configure();
  } catch (...) {
    close();
    throw;
  }
}

void Statement::configure() {
  SQLHSTMT statement = handle_;
  // A forward-only, read-only cursor keeps FreeTDS on plain language batches, streamed rows.
  check(SQLSetStmtAttr(statement, SQL_ATTR_CURSOR_TYPE,
                       reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0),
        HandleKind::statement, statement, "SQLSetStmtAttr");
  check(SQLSetStmtAttr(statement, SQL_ATTR_CONCURRENCY,
                       reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0),
        HandleKind::statement, statement, "SQLSetStmtAttr");
  // Statements go to the server as written: no ODBC escape clauses like {fn ...} in names.
  check(SQLSetStmtAttr(statement, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0),
        HandleKind::statement, statement, "SQLSetStmtAttr");
  check(SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0),
        HandleKind::statement, statement, "SQLSetStmtAttr");
}

Statement::~Statement() noexcept {
  close();
}

void Statement::execute(const std::u16string& text) {
  std::u16string buffer = text;
  const SQLRETURN rc = SQLExecDirectW(handle_, reinterpret_cast<SQLWCHAR*>(buffer.data()),
                                      static_cast<SQLINTEGER>(buffer.size()));
  // SQL_NO_DATA: a statement that touched no rows and returned none.
  hasResults_ = rc != SQL_NO_DATA;
  if (hasResults_)
    check(rc, HandleKind::statement, handle_, "SQLExecDirect");
}

void Statement::close() noexcept {
  const std::lock_guard lock(useMutex_);
  if (handle_ == nullptr)
    return;
  SQLFreeHandle(SQL_HANDLE_STMT, handle_);
  handle_ = nullptr;
}

void* Statement::liveHandle() const {
  if (isClosed())
    throw DataAccessError(
        "The rows can no longer be read: a later statement on the connection closed them.");
  return handle_;
}

}  // namespace velmora::server::odbc
