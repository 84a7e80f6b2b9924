#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "server/data_access.h"
#include "server/table_name.h"
#include "server/table_reader.h"

// Connecting to the server and to one database, the catalogue lists and the table reader.
namespace velmora::server {

// The three connection edits, read at the moment of each connect.
struct ConnectionInputs {
  std::u16string server;
  std::u16string user;
  std::u16string password;
};

// The database list as the catalogue load fills it.
class DatabaseList {
 public:
  virtual ~DatabaseList() = default;
  virtual void clear() = 0;
  virtual void add(const std::u16string& name) = 0;
  // Shows entry 0 as chosen without raising the list's change event.
  virtual void selectFirstWithoutChange() = 0;
};

// The table list, with a tick per entry, as the catalogue load fills it.
class TableList {
 public:
  virtual ~TableList() = default;
  virtual void clear() = 0;
  virtual void add(const std::u16string& name) = 0;
  virtual void setTicked(int index, bool ticked) = 0;
};

// The window's data-access objects: the two connections, the two queries and the reader.
class ServerSession {
 public:
  explicit ServerSession(ConnectionFactory& factory);
  ~ServerSession();

  Connection& catalogueConnection() { return *catalogueConnection_; }
  Connection& databaseConnection() { return *databaseConnection_; }
  TableReader& tableReader() { return *tableReader_; }
  // The tables behind the entries of the last table list load.
  TableCatalogue& catalogue() { return catalogue_; }

  // Every later connect asks this much of the server's TLS (the default: nothing checked).
  void setTransportSecurity(TransportSecurity security) { security_ = std::move(security); }

  // Reconnects `connection` to `catalog` with the inputs trimmed. True when it is open
  // afterwards, false when the open failed: the error is dropped, but for the reason of a
  // ConnectionRefused, kept in lastRefusal(). Errors while closing the previous connection
  // are not caught.
  bool connectToDatabase(const std::u16string& catalog, Connection& connection,
                         const ConnectionInputs& inputs);
  // Why the last failed connect was refused, when the user must learn it; else empty.
  const std::string& lastRefusal() const { return lastRefusal_; }
  // Refills the database list from the server connection. Throws DataAccessError.
  void loadDatabaseNames(DatabaseList& list);
  // Refills the table list from the database connection, every entry ticked: a dbo table by
  // its name, any other as "schema.name" (tableEntryText). Throws DataAccessError.
  void loadTableNames(TableList& list);
  // The foreign keys of the database connection's database, each as the table that holds it
  // and the table it references (a NULL schema counts as dbo). Throws DataAccessError.
  std::vector<std::pair<TableName, TableName>> loadForeignKeys();

 private:
  std::unique_ptr<Connection> catalogueConnection_;
  std::unique_ptr<Connection> databaseConnection_;
  std::unique_ptr<Recordset> databaseQuery_;
  std::unique_ptr<Recordset> tableQuery_;
  TableCatalogue catalogue_;  // the tables behind the table list's entries
  TransportSecurity security_;
  std::string lastRefusal_;
  std::unique_ptr<TableReader> tableReader_;
};

}  // namespace velmora::server
