#include "script/compressor.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velmora::script {
namespace {

// gzip through zlib's deflate with a gzip header and trailer.
class GzipCompressor final : public Compressor {
 public:
  explicit GzipCompressor(Sink sink) : sink_(std::move(sink)), out_(kChunkBytes) {
    // 15 window bits, plus 16 for the gzip wrapper instead of zlib's own.
    if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
      throw std::runtime_error("gzip compression could not start: out of memory");
  }
  ~GzipCompressor() override { deflateEnd(&stream_); }
  GzipCompressor(const GzipCompressor&) = delete;
  GzipCompressor& operator=(const GzipCompressor&) = delete;

  void write(std::string_view bytes) override {
    // zlib counts its input in 32 bits.
    constexpr std::size_t kMostAtOnce = 1u << 30;
    while (bytes.size() > kMostAtOnce) {
      deflateInput(bytes.substr(0, kMostAtOnce), Z_NO_FLUSH);
      bytes.remove_prefix(kMostAtOnce);
    }
    deflateInput(bytes, Z_NO_FLUSH);
  }
  // A sync flush ends the deflate block on a byte boundary: a reader gets every byte so far.
  void flushWhole() override { deflateInput({}, Z_SYNC_FLUSH); }
  void finish() override { deflateInput({}, Z_FINISH); }

 private:
  static constexpr std::size_t kChunkBytes = 64 * 1024;

  void deflateInput(std::string_view bytes, int flush) {
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream_.avail_in = static_cast<uInt>(bytes.size());
    // Until deflate leaves room in the output: all input taken, the flush or the end done.
    do {
      stream_.next_out = reinterpret_cast<Bytef*>(out_.data());
      stream_.avail_out = static_cast<uInt>(out_.size());
      const int result = deflate(&stream_, flush);
      if (result == Z_STREAM_ERROR)
        throw std::runtime_error("gzip compression failed");
      const std::size_t produced = out_.size() - stream_.avail_out;
      if (produced > 0)
        sink_(std::string_view(out_.data(), produced));
    } while (stream_.avail_out == 0);
  }

  Sink sink_;
  std::vector<char> out_;
  z_stream stream_{};
};

// zstd through libzstd's streaming compression, with a content checksum in the frame.
class ZstdCompressor final : public Compressor {
 public:
  explicit ZstdCompressor(Sink sink)
      : sink_(std::move(sink)),
        context_(ZSTD_createCCtx(), &ZSTD_freeCCtx),
        out_(ZSTD_CStreamOutSize()) {
    if (context_ == nullptr)
      throw std::runtime_error("zstd compression could not start: out of memory");
    check(ZSTD_CCtx_setParameter(context_.get(), ZSTD_c_checksumFlag, 1));
  }

  void write(std::string_view bytes) override { compress(bytes, ZSTD_e_continue); }
  // Ends the current block: a reader gets every byte so far.
  void flushWhole() override { compress({}, ZSTD_e_flush); }
  void finish() override { compress({}, ZSTD_e_end); }

 private:
  static std::size_t check(std::size_t result) {
    if (ZSTD_isError(result))
      throw std::runtime_error(std::string("zstd compression failed: ") +
                               ZSTD_getErrorName(result));
    return result;
  }

  void compress(std::string_view bytes, ZSTD_EndDirective mode) {
    ZSTD_inBuffer in{bytes.data(), bytes.size(), 0};
    // A continue is done once every input byte is taken; a flush or an end once nothing is
    // left to write (the call returns 0).
    for (bool done = false; !done;) {
      ZSTD_outBuffer out{out_.data(), out_.size(), 0};
      const std::size_t left = check(ZSTD_compressStream2(context_.get(), &out, &in, mode));
      if (out.pos > 0)
        sink_(std::string_view(out_.data(), out.pos));
      done = mode == ZSTD_e_continue ? in.pos == in.size : left == 0;
    }
  }

  Sink sink_;
  std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context_;
  std::vector<char> out_;
};

}  // namespace

Compression compressionOfName(std::string_view path) {
  if (path.ends_with(".gz"))
    return Compression::gzip;
  if (path.ends_with(".zst"))
    return Compression::zstd;
  return Compression::none;
}

std::unique_ptr<Compressor> Compressor::create(Compression compression, Sink sink) {
  switch (compression) {
    case Compression::gzip:
      return std::make_unique<GzipCompressor>(std::move(sink));
    case Compression::zstd:
      return std::make_unique<ZstdCompressor>(std::move(sink));
    case Compression::none:
      break;
  }
  throw std::invalid_argument("no compression to create");
}

}  // namespace velmora::script
