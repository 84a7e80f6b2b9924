#include "server/server_session.h"

#include "server/identifier.h"
#include "text/name_case.h"
#include "text/trim.h"

namespace velmora::server {
namespace {

constexpr const char16_t* kDatabaseListStatement = u"Select Name from SysDataBases where DBid>6";
// The second column, without a name, is the table's schema; NULL counts as dbo.
constexpr const char16_t* kTableListStatement =
    u"select name, SCHEMA_NAME(uid) from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1";
constexpr std::u16string_view kNameColumn = u"Name";
// Four unnamed columns: schema and name of the referencing table, then of the referenced one.
constexpr const char16_t* kForeignKeyStatement =
    u"select OBJECT_SCHEMA_NAME(parent_object_id), OBJECT_NAME(parent_object_id), "
    u"OBJECT_SCHEMA_NAME(referenced_object_id), OBJECT_NAME(referenced_object_id) from "
    u"sys.foreign_keys";

std::size_t columnIndex(const Recordset& rows, std::u16string_view name) {
  const auto& columns = rows.columns();
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (text::sameNameIgnoringCase(columns[i].name, name))
      return i;
  throw DataAccessError(
      "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

// The text of a catalogue name; a NULL name reads as empty text.
std::u16string nameText(const Value& value) {
  if (const auto* text = std::get_if<std::u16string>(&value))
    return *text;
  if (isNullOrEmpty(value))
    return {};
  throw DataAccessError("The catalogue returned a name that is not text.");
}

// Runs a catalogue statement in `query`'s place (closing what it held) and hands every row
// to `add` with the position of its "Name" column, in the server's order. Throws
// DataAccessError; names handed on before a failure stay where `add` put them.
template <typename AddRow>
void readNames(std::unique_ptr<Recordset>& query, Connection& connection, const char16_t* statement,
               AddRow add) {
  query.reset();
  query = connection.query(statement);
  Recordset& rows = *query;
  const std::size_t name = columnIndex(rows, kNameColumn);
  rows.moveFirst();
  while (!rows.eof()) {
    add(rows, name);
    rows.moveNext();
  }
}

}  // namespace

ServerSession::ServerSession(ConnectionFactory& factory)
    : catalogueConnection_(factory.createConnection()),
      databaseConnection_(factory.createConnection()),
      tableReader_(std::make_unique<TableReader>(*databaseConnection_, &catalogue_)) {}

ServerSession::~ServerSession() = default;

bool ServerSession::connectToDatabase(const std::u16string& catalog, Connection& connection,
                                      const ConnectionInputs& inputs) {
  const ConnectionTarget target{.dataSource = std::u16string(text::trimmed(inputs.server)),
                                .database = catalog,
                                .user = std::u16string(text::trimmed(inputs.user)),
                                .password = std::u16string(text::trimmed(inputs.password)),
                                .security = security_};
  lastRefusal_.clear();
  if (connection.isOpen())
    connection.close();
  try {
    connection.open(target);
  } catch (const ConnectionRefused& refused) {
    lastRefusal_ = refused.what();
    return false;
  } catch (const DataAccessError&) {
    // Any failure to open is reported to the user as the one connection-failure message.
    return false;
  }
  return connection.isOpen();
}

void ServerSession::loadDatabaseNames(DatabaseList& list) {
  list.clear();
  readNames(databaseQuery_, *catalogueConnection_, kDatabaseListStatement,
            [&](const Recordset& rows, std::size_t name) { list.add(nameText(rows.value(name))); });
  list.selectFirstWithoutChange();
}

void ServerSession::loadTableNames(TableList& list) {
  list.clear();
  catalogue_.clear();
  int index = 0;
  readNames(tableQuery_, *databaseConnection_, kTableListStatement,
            [&](const Recordset& rows, std::size_t name) {
              TableName table{.name = nameText(rows.value(name))};
              if (rows.columns().size() > 1 && !isNullOrEmpty(rows.value(1)))
                table.schema = nameText(rows.value(1));
              list.add(tableEntryText(table));
              catalogue_.add(std::move(table));
              list.setTicked(index++, true);
            });
}

std::vector<std::pair<TableName, TableName>> ServerSession::loadForeignKeys() {
  const std::unique_ptr<Recordset> rows = databaseConnection_->query(kForeignKeyStatement);
  if (rows->columns().size() < 4)
    throw DataAccessError("The foreign-key list has fewer than four columns.");
  auto tableAt = [&](std::size_t column) {
    TableName table{.name = nameText(rows->value(column + 1))};
    if (!isNullOrEmpty(rows->value(column)))
      table.schema = nameText(rows->value(column));
    return table;
  };
  std::vector<std::pair<TableName, TableName>> keys;
  rows->moveFirst();
  while (!rows->eof()) {
    keys.emplace_back(tableAt(0), tableAt(2));
    rows->moveNext();
  }
  return keys;
}

}  // namespace velmora::server
