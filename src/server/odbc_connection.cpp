#include "server/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>

#include "server/connection_string.h"
#include "server/instance_lookup.h"
#include "server/odbc_diagnostics.h"
#include "server/odbc_statement.h"
#include "server/odbc_variant.h"
#include "text/utf.h"

namespace velmora::server {
namespace {

using odbc::check;
using odbc::HandleKind;

constexpr SQLULEN kLoginTimeoutSeconds = 15;
// The server's default cuts text and image values at 4 KB; values must arrive whole.
constexpr const char16_t* kWholeLongValues = u"SET TEXTSIZE 2147483647";

// The port of a named instance given without one, from the SQL Server Browser of its host.
// FreeTDS would ask the Browser itself, but gives up on an unknown instance only after 16
// seconds, longer than the login may take.
std::optional<unsigned> instancePortOf(const ConnectionProperties& properties) {
  const auto dataSource = properties.find(u"data source");
  if (dataSource == properties.end())
    return std::nullopt;
  const ServerAddress address = parseDataSource(dataSource->second);
  if (address.instance.empty() || address.port)
    return std::nullopt;
  const std::string host = text::utf8FromUtf16(address.host);
  const std::string instance = text::utf8FromUtf16(address.instance);
  if (auto port = lookUpInstancePort(host, instance))
    return port;
  throw DataAccessError("The SQL Server Browser on " + host + " did not name instance " + instance +
                        ".");
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

  void open(const std::u16string& connectionString) override {
    close();
    const ConnectionProperties properties = parseConnectionString(connectionString);
    const std::u16string odbcText = odbcConnectionString(properties, instancePortOf(properties));

    SQLHDBC connection = SQL_NULL_HDBC;
    check(SQLAllocHandle(SQL_HANDLE_DBC, environment_->handle(), &connection),
          HandleKind::environment, environment_->handle(), "SQLAllocHandle");
    handle_ = connection;
    connected_ = false;
    try {
      check(SQLSetConnectAttr(connection, SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0),
            HandleKind::connection, connection, "SQLSetConnectAttr");
      std::u16string text = odbcText;
      SQLSMALLINT outLength = 0;
      check(SQLDriverConnectW(connection, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                              SQL_NTS, nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT),
            HandleKind::connection, connection, "SQLDriverConnect");
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

  std::unique_ptr<Recordset> openTable(const std::u16string& nameAsSent) override {
    std::shared_ptr<odbc::Statement> statement = execute(u"select * from " + nameAsSent);
    std::size_t columnCount = 0;
    const std::vector<std::u16string> variants = odbc::variantColumnNames(*statement, columnCount);
    if (variants.empty())
      return odbc::openRecordset(std::move(statement));
    // The driver keeps each value's base type to itself: the server names it beside the
    // columns, in a read that replaces this one before any row is fetched.
    return odbc::openRecordset(execute(variantTypesRead(nameAsSent, variants)), columnCount);
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
