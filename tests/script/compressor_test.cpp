#include "script/compressor.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

namespace velmora::script {
namespace {

// Everything a cut stream holds so far, as the libraries decode it (the command-line tools
// keep back the last part of a stream without its end).
std::string decodedSoFar(Compression compression, const std::string& packed) {
  std::string out;
  char buffer[65536];
  if (compression == Compression::gzip) {
    z_stream stream{};
    inflateInit2(&stream, 15 + 16);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    int result = Z_OK;
    while (result == Z_OK) {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      result = inflate(&stream, Z_NO_FLUSH);
      out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    return out;
  }
  const std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(),
                                                                     &ZSTD_freeDCtx);
  ZSTD_inBuffer in{packed.data(), packed.size(), 0};
  for (;;) {
    ZSTD_outBuffer chunk{buffer, sizeof buffer, 0};
    const std::size_t result = ZSTD_decompressStream(context.get(), &chunk, &in);
    out.append(buffer, chunk.pos);
    if (ZSTD_isError(result) || (in.pos == in.size && chunk.pos < chunk.size))
      return out;
  }
}

// What the format's own command-line tool makes of a whole stream; empty when it fails.
std::string decompressedByTool(const char* command, const std::string& packed) {
  char name[] = "/tmp/velmora-compressor-XXXXXX";
  ::close(::mkstemp(name));
  std::ofstream(name, std::ios::binary) << packed;
  std::string out;
  if (FILE* pipe = ::popen((std::string(command) + " " + name).c_str(), "r")) {
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.append(buffer, got);
    if (::pclose(pipe) != 0)
      out.clear();
  }
  std::filesystem::remove(name);
  return out;
}

struct Format {
  Compression compression;
  const char* decompressCommand;
};

void PrintTo(const Format& format, std::ostream* out) {
  *out << format.decompressCommand;
}

class CompressorTest : public ::testing::TestWithParam<Format> {};

TEST_P(CompressorTest, EachWholeFlushLeavesAStreamThatDecodesToEverythingSoFar) {
  std::string packed;
  const auto compressor =
      Compressor::create(GetParam().compression, [&](std::string_view bytes) { packed += bytes; });
  std::string plain;
  // Enough text to fill the compressors' output chunks several times over.
  for (int table = 0; table < 3; ++table) {
    for (int row = 0; row < 20000; ++row) {
      const std::string line = "insert T" + std::to_string(table) + " (ID,Name) Values(" +
                               std::to_string(row * 7919 % 100003) + ",N'张三')\r\n";
      compressor->write(line);
      plain += line;
    }
    compressor->flushWhole();
    EXPECT_TRUE(decodedSoFar(GetParam().compression, packed) == plain) << "after table " << table;
  }
  compressor->finish();
  EXPECT_TRUE(decompressedByTool(GetParam().decompressCommand, packed) == plain);
}

INSTANTIATE_TEST_SUITE_P(Formats, CompressorTest,
                         ::testing::Values(Format{Compression::gzip, "gzip -dc"},
                                           Format{Compression::zstd, "zstd -dcq"}),
                         [](const ::testing::TestParamInfo<Format>& format) {
                           return format.param.compression == Compression::gzip ? "gzip" : "zstd";
                         });

}  // namespace
}  // namespace velmora::script
