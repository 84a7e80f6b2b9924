// What characters the output codeset lacks cost: 1,000,000 emoji (GBK has none; each becomes
// '?') against 1,000,000 Chinese characters that GBK holds, converted from UTF-16 to GBK as
// the script file converts its lines, once as lines of 100 characters and once as one text.
// Prints one line per shape: the shape, the milliseconds for each text and their ratio.
// Usage: codeset_lacking [CHARACTERS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "script/codeset.h"

namespace {

// The fastest of three conversions of `count` characters `character` in pieces of `piece`.
double secondsFor(const std::u16string& character, size_t count, size_t piece) {
  velmora::script::Codeset gbk("GBK");
  std::u16string line;
  for (size_t i = 0; i < piece; ++i)
    line += character;
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t done = 0; done < count; done += piece)
      bytes += gbk.fromUtf16(line).size();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (bytes == 0)
      std::abort();
    best = std::min(best, took.count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  for (const size_t piece : {size_t{100}, count}) {
    const double lacking = secondsFor(u"\U0001F600", count, piece);
    const double held = secondsFor(u"中", count, piece);
    std::printf("%s %.1f %.1f %.2f\n", piece == count ? "one-text" : "lines-of-100", lacking * 1e3,
                held * 1e3, lacking / held);
  }
  return 0;
}
