#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace velmora::script {

// How the bytes of a script output are packed on their way to the file.
enum class Compression { none, gzip, zstd };

// The compression a file name asks for by its ending: ".gz" gzip, ".zst" zstd, else none.
Compression compressionOfName(std::string_view path);

// Compresses a byte stream piece by piece into a sink (an output's write loop) with zlib or
// libzstd. Memory stays the same whatever the stream's length: each call's compressed bytes
// leave through the sink before it returns.
class Compressor {
 public:
  // Takes compressed bytes. What it throws (a failed write) passes through the compressor's
  // calls unchanged; the compressor is of no further use then.
  using Sink = std::function<void(std::string_view)>;

  // Throws std::invalid_argument for Compression::none, std::runtime_error when the library
  // cannot set up a stream (out of memory).
  static std::unique_ptr<Compressor> create(Compression compression, Sink sink);

  virtual ~Compressor() = default;
  // Throws what the sink throws, std::runtime_error when the library fails.
  virtual void write(std::string_view bytes) = 0;
  // Everything written so far reaches the sink in a form that decompresses whole, so that a
  // run failing later leaves a file readable up to this point. Throws as write().
  virtual void flushWhole() = 0;
  // Ends the stream with its trailer; nothing may be written after it. Throws as write().
  virtual void finish() = 0;
};

}  // namespace velmora::script
