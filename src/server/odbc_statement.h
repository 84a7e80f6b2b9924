#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "server/data_access.h"

// One ODBC statement handle and the recordset that reads its rows.
namespace velmora::server::odbc {

// A statement handle on a connection: forward-only, read-only, 30-second query time-out.
// Shared by the connection (which closes it before its next statement, since FreeTDS carries
// one active result per connection) and by the recordset reading it.
class Statement {
 public:
  // Throws DataAccessError.
  explicit Statement(void* connectionHandle);
  ~Statement() noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Runs `text` with SQLExecDirect. Throws DataAccessError.
  void execute(const std::u16string& text);
  // False when the statement returned nothing at all (SET, BEGIN TRANSACTION): ODBC then
  // has no result to describe, and asking for one is a function sequence error.
  bool hasResults() const { return hasResults_; }
  // Releases the handle, dropping whatever of the result is still unread. Idempotent.
  void close() noexcept;
  bool isClosed() const { return handle_ == nullptr; }
  void* handle() const { return handle_; }
  // The handle of a statement that is still open. Throws DataAccessError once a later
  // statement on the connection has closed it.
  void* liveHandle() const;
  // Calls `use` with the live handle from a thread that fetches rows while the statement's
  // owner does other work: close() waits until `use` is done. Throws as liveHandle.
  template <typename Use>
  decltype(auto) useFromOtherThread(Use&& use) {
    const std::lock_guard lock(useMutex_);
    return std::forward<Use>(use)(liveHandle());
  }

 private:
  void configure();

  void* handle_ = nullptr;
  bool hasResults_ = false;
  std::mutex useMutex_;
};

// Reads the rows of an executed statement. With `tableColumns` set, the result's columns
// after the first `tableColumns` name, in order, the base type of each sql_variant column's
// value (variantTypesRead) and are not columns of the recordset. Throws DataAccessError.
std::unique_ptr<Recordset> openRecordset(std::shared_ptr<Statement> statement,
                                         std::size_t tableColumns = 0);

// The names of the sql_variant columns of an executed statement's result, and in
// `columnCount` the number of all its columns. Throws DataAccessError.
std::vector<std::u16string> variantColumnNames(const Statement& statement,
                                               std::size_t& columnCount);

}  // namespace velmora::server::odbc
