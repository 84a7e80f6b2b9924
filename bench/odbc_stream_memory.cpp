// Streams every row of one table through the ODBC data access layer and prints the row count,
// the time taken and the process's peak resident memory. Run once per table (see
// bench/odbc_memory.sh): the peak must not grow with the row count.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>

#include "server/odbc_connection.h"
#include "server/server_session.h"

namespace {

std::u16string wide(const char* text) {
  return std::u16string(text, text + std::strlen(text));
}

// Touches every value so that nothing is skipped; returns a number that depends on them all.
std::size_t weigh(const velmora::server::Value& value) {
  return std::visit(
      [](const auto& v) -> std::size_t {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::u16string> ||
                      std::is_same_v<T, velmora::server::Bytes>)
          return v.size();
        else
          return 1;
      },
      value);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s SERVER PASSWORD DATABASE TABLE\n", argv[0]);
    return 2;
  }
  using namespace velmora::server;
  try {
    auto factory = makeOdbcConnectionFactory();
    auto connection = factory->createConnection();
    connection->open({.dataSource = wide(argv[1]),
                      .database = wide(argv[3]),
                      .user = u"sa",
                      .password = wide(argv[2])});

    const auto started = std::chrono::steady_clock::now();
    auto rows = connection->openTable(wide(argv[4]));
    std::size_t count = 0;
    std::size_t weight = 0;
    while (!rows->eof()) {
      for (std::size_t i = 0; i < rows->columns().size(); ++i)
        weight += weigh(rows->value(i));
      ++count;
      rows->moveNext();
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("table %s rows %zu seconds %.2f rows_per_second %.0f peak_rss_kb %ld weight %zu\n",
                argv[4], count, seconds.count(), count / seconds.count(), usage.ru_maxrss, weight);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "error: %s\n", error.what());
    return 1;
  }
}
