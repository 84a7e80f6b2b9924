// What building the script's lines costs the thread that appends them: ROWS rows of the
// benchmark table's ten columns (int, bigint, nvarchar, varchar, decimal, money, float,
// datetime, bit, uniqueidentifier) read from memory, turned into statements with GO lines and
// handed to an output that only counts their bytes. No server, driver or file is involved, so
// the figure is the line building alone, on one thread. Prints nanoseconds per row, the fastest
// of three runs.
// Usage: line_building [ROWS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "script/generation_run.h"
#include "script/locale_formats.h"
#include "script/value_text.h"
#include "server/table_reader.h"
#include "support/memory_data_access.h"

namespace {

using namespace velmora;

// Counts the bytes of the lines it is given.
class CountingOutput : public script::ScriptOutput {
 public:
  const script::Codeset& codeset() const override { return codeset_; }
  void prepare() override {}
  std::optional<script::OutputLock> resetScript() override { return std::nullopt; }
  void appendLine(std::u16string_view line) override { appendConverted(codeset_.fromUtf16(line)); }
  void appendConverted(std::string_view bytes) override { bytes_ += bytes.size() + 2; }

  std::size_t bytes() const { return bytes_; }

 private:
  script::Codeset codeset_{"UTF-8"};
  std::size_t bytes_ = 0;
};

// Every table ticked; reports go nowhere.
class SilentObserver : public script::RunObserver {
 public:
  bool isTicked(std::size_t) override { return true; }
  void tableStarted(const std::u16string&) override {}
  void columnsChanged(const std::vector<std::u16string>&) override {}
  void finished(const std::u16string&) override {}
};

std::u16string letters(std::mt19937_64& random, std::size_t count) {
  std::u16string text;
  for (std::size_t i = 0; i < count; ++i)
    text += static_cast<char16_t>(u'a' + random() % 26);
  return text;
}

std::u16string guidText(std::mt19937_64& random) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string text = u"{";
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20)
      text += u'-';
    text += kHex[random() % 16];
  }
  return text + u"}";
}

// The rows of one table, read in place: nothing is copied when the table is opened.
class RowsRecordset : public server::Recordset {
 public:
  RowsRecordset(const std::vector<server::ColumnDescription>& columns,
                const std::vector<test::Row>& rows)
      : columns_(columns), rows_(rows) {}
  const std::vector<server::ColumnDescription>& columns() const override { return columns_; }
  void moveFirst() override { row_ = 0; }
  bool eof() const override { return row_ >= rows_.size(); }
  void moveNext() override { ++row_; }
  const server::Value& value(std::size_t column) const override { return rows_[row_][column]; }

 private:
  const std::vector<server::ColumnDescription>& columns_;
  const std::vector<test::Row>& rows_;
  std::size_t row_ = 0;
};

// The in-memory server for the catalogue's statements; the table's rows come from `rows`.
class RowsConnection : public server::Connection {
 public:
  RowsConnection(test::MemoryServer& server, const std::vector<server::ColumnDescription>& columns,
                 const std::vector<test::Row>& rows)
      : factory_(server), inner_(factory_.createConnection()), columns_(columns), rows_(rows) {}
  void open(const server::ConnectionTarget& target) override { inner_->open(target); }
  void close() override { inner_->close(); }
  bool isOpen() const override { return inner_->isOpen(); }
  std::unique_ptr<server::Recordset> query(const std::u16string& statement) override {
    return inner_->query(statement);
  }
  std::unique_ptr<server::Recordset> openTable(const std::u16string&,
                                               std::u16string_view) override {
    return std::make_unique<RowsRecordset>(columns_, rows_);
  }

 private:
  test::MemoryConnectionFactory factory_;
  std::unique_ptr<server::Connection> inner_;
  const std::vector<server::ColumnDescription>& columns_;
  const std::vector<test::Row>& rows_;
};

// Rows like the stand-in's generated ones: every kind, some values NULL.
std::vector<test::Row> benchRows(std::size_t count) {
  std::mt19937_64 random(1);
  std::vector<test::Row> rows;
  rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const bool negative = random() % 2 == 0;
    rows.push_back({static_cast<std::int32_t>(random()), static_cast<std::int64_t>(random()),
                    letters(random, 1 + random() % 30), letters(random, 2 + random() % 10),
                    server::Decimal{negative, random() % 1'000'000'000'000'000'000ULL, 4},
                    server::Decimal{!negative, random() % 1'000'000'000'000'000'000ULL, 4},
                    static_cast<double>(static_cast<std::int32_t>(random())) / 1024.0,
                    server::DateTime{-3000.0 + static_cast<double>(random() % 80'000'000) / 1000.0},
                    random() % 2 == 0, guidText(random)});
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1'000'000;
  if (rows <= 0) {
    std::fprintf(stderr, "usage: line_building [ROWS]\n");
    return 2;
  }
  const std::vector<server::ColumnDescription> columns = {
      test::column(u"ID", "int"),
      test::column(u"Serial", "bigint"),
      test::column(u"Name", "nvarchar(50)"),
      test::column(u"Code", "varchar(20)"),
      test::column(u"Price", "decimal(18,4)"),
      test::column(u"Cost", "money"),
      test::column(u"Ratio", "float"),
      test::column(u"Created", "datetime"),
      test::column(u"Active", "bit"),
      test::column(u"Guid", "uniqueidentifier")};
  const std::vector<test::Row> table = benchRows(static_cast<std::size_t>(rows));
  test::MemoryServer server;
  server.addTable(u"Bench", u"Big", columns);
  RowsConnection connection(server, columns, table);
  connection.open({.database = u"Bench"});

  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    server::TableReader reader(connection);
    SilentObserver observer;
    CountingOutput output;
    script::LocaleFormats formats;
    script::ValueText valueText(output.codeset(), formats);
    script::GenerationRun generation(reader, output, valueText, formats);
    const auto start = std::chrono::steady_clock::now();
    generation.writeScript({.tables = {u"Big"}, .database = u"Bench", .form = {}}, observer);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (output.bytes() == 0)
      return 1;
    best = std::min(best, took.count());
  }
  std::printf("%.0f ns a row\n", best * 1e9 / static_cast<double>(rows));
  return 0;
}
