#include "server/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>

#include <optional>

#include "server/connection_string.h"
#include "server/instance_lookup.h"
#include "server/odbc_diagnostics.h"
#include "server/odbc_statement.h"
#include "server/odbc_variant.h"
#include "server/private_driver_configuration.h"
#include "server/read_statements.h"
#include "text/utf.h"

namespace velmora::server {
namespace {

using odbc::check;
using odbc::HandleKind;

constexpr SQLULEN kLoginTimeoutSeconds = 15;
// The server's default cuts text and image values at 4 KB; values must arrive whole.
constexpr const char16_t* kWholeLongValues = u"SET TEXTSIZE 2147483647";

// The address to dial for `dataSource`, its port filled in: the one given, the default
// instance's, or the one the SQL Server Browser gives for a named instance. FreeTDS would ask
// the Browser itself, but gives up on an unknown instance only after 16 seconds, longer than
// the login may take. Throws ConnectionRefused when no Browser names the instance.
ServerAddress addressToDial(const std::u16string& dataSource) {
  ServerAddress address = parseDataSource(dataSource);
  address.port = portToDial(address);
  if (address.port)
    return address;
  const std::string host = text::utf8FromUtf16(address.host);
  const std::string instance = text::utf8FromUtf16(address.instance);
  const InstanceLookup lookup = lookUpInstancePort(host, instance);
  if (!lookup.port)
    throw ConnectionRefused(lookup.failure);
  address.port = lookup.port;
  return address;
}

// The ODBC environment, shared by every connection the factory makes.
class Environment {
 public:
  Environment() {
    SQLHENV environment = SQL_NULL_HENV;
    if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)))
      throw DataAccessError("The ODBC driver manager could not make an environment.");
    handle_ = environment;
    const SQLRETURN rc = SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                                       reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!odbc::succeeded(rc)) {
      SQLFreeHandle(SQL_HANDLE_ENV, environment);
      throw DataAccessError("The ODBC driver manager does not offer ODBC 3.");
    }
  }
  ~Environment() noexcept { SQLFreeHandle(SQL_HANDLE_ENV, handle_); }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  void* handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
};

class OdbcConnection final : public Connection {
 public:
  explicit OdbcConnection(std::shared_ptr<Environment> environment)
      : environment_(std::move(environment)) {}
  ~OdbcConnection() override { close(); }

  void open(const ConnectionTarget& target) override {
    close();
    const ServerAddress address = addressToDial(target.dataSource);
    std::u16string text = odbcConnectionString(target, address);
    // A security of the target's own is described to the driver in a configuration file,
    // which lives only until the connect is done.
    std::optional<PrivateDriverConfiguration> configuration;
    if (!target.security.isDefault()) {
      configuration.emplace();
      configuration->write(driverConfiguration(target, address, configuration->logFile()));
    }

    SQLHDBC connection = SQL_NULL_HDBC;
    check(SQLAllocHandle(SQL_HANDLE_DBC, environment_->handle(), &connection),
          HandleKind::environment, environment_->handle(), "SQLAllocHandle");
    handle_ = connection;
    connected_ = false;
    try {
      check(SQLSetConnectAttr(connection, SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0),
            HandleKind::connection, connection, "SQLSetConnectAttr");
      SQLSMALLINT outLength = 0;
      const SQLRETURN rc =
          SQLDriverConnectW(connection, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS,
                            nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT);
      if (!odbc::succeeded(rc)) {
        DataAccessError error =
            odbc::diagnosticError(HandleKind::connection, connection, "SQLDriverConnect");
        // The driver's own message says only that the connection failed; its log says why
        // the server's TLS was refused.
        if (configuration) {
          std::string reason = configuration->refusalReason(text::utf8FromUtf16(address.host),
                                                            target.security.encryptionRequired);
          throw ConnectionRefused(reason.empty() ? error.what() : reason);
        }
        throw error;
      }
      connected_ = true;
      run(kWholeLongValues);
    } catch (const DataAccessError&) {
      close();
      throw;
    }
  }

  void close() noexcept override {
    closeActiveStatement();
    if (handle_ == nullptr)
      return;
    // A connection whose link is already gone cannot say goodbye; it is closed all the same.
    if (connected_)
      SQLDisconnect(handle_);
    SQLFreeHandle(SQL_HANDLE_DBC, handle_);
    handle_ = nullptr;
    connected_ = false;
  }

  bool isOpen() const override { return connected_; }

  std::unique_ptr<Recordset> query(const std::u16string& statement) override {
    return odbc::openRecordset(execute(statement + u"\r\n"));
  }

  std::unique_ptr<Recordset> openTable(const std::u16string& nameAsSent,
                                       std::u16string_view rowCondition) override {
    std::shared_ptr<odbc::Statement> statement =
        execute(tableReadStatement(nameAsSent, rowCondition));
    std::size_t columnCount = 0;
    const std::vector<std::u16string> variants = odbc::variantColumnNames(*statement, columnCount);
    if (variants.empty())
      return odbc::openRecordset(std::move(statement));
    // The driver keeps each value's base type to itself: the server names it beside the
    // columns, in a read that replaces this one before any row is fetched.
    return odbc::openRecordset(
        execute(variantTypesRead(nameAsSent, variants) + whereClause(rowCondition)), columnCount);
  }

 private:
  std::shared_ptr<odbc::Statement> execute(const std::u16string& text) {
    if (!connected_)
      throw DataAccessError("Operation is not allowed when the object is closed.");
    // FreeTDS serves one result at a time per connection: the previous one goes first.
    closeActiveStatement();
    auto statement = std::make_shared<odbc::Statement>(handle_);
    statement->execute(text);
    active_ = statement;
    return statement;
  }

  void run(const std::u16string& text) {
    odbc::Statement statement(handle_);
    statement.execute(text);
  }

  void closeActiveStatement() noexcept {
    if (auto statement = active_.lock())
      statement->close();
    active_.reset();
  }

  std::shared_ptr<Environment> environment_;
  void* handle_ = nullptr;
  bool connected_ = false;
  std::weak_ptr<odbc::Statement> active_;
};

class OdbcConnectionFactory final : public ConnectionFactory {
 public:
  std::unique_ptr<Connection> createConnection() override {
    if (!environment_)
      environment_ = std::make_shared<Environment>();
    return std::make_unique<OdbcConnection>(environment_);
  }

 private:
  std::shared_ptr<Environment> environment_;
};

}  // namespace

std::unique_ptr<ConnectionFactory> makeOdbcConnectionFactory() {
  return std::make_unique<OdbcConnectionFactory>();
}

}  // namespace velmora::server
