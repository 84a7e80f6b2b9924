#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace standin {

// A request that breaks the protocol: the connection that sent it is closed.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Appends TDS fields to a byte string: integers little-endian unless the name says otherwise.
class ByteWriter {
 public:
  explicit ByteWriter(std::string& out) : out_(out) {}

  void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16(uint16_t v) { le(v, 2); }
  void u16be(uint16_t v) {
    u8(static_cast<uint8_t>(v >> 8));
    u8(static_cast<uint8_t>(v));
  }
  void u32(uint32_t v) { le(v, 4); }
  void u32be(uint32_t v) {
    u16be(static_cast<uint16_t>(v >> 16));
    u16be(static_cast<uint16_t>(v));
  }
  void u64(uint64_t v) { le(v, 8); }
  void le(uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      out_.push_back(static_cast<char>(v >> (8 * i)));
    }
  }
  void bytes(std::string_view b) { out_.append(b); }
  // UTF-16LE text of a UTF-8 string, without a length.
  void ucs2(std::string_view utf8);
  // B_VARCHAR: a one-byte character count, then UTF-16LE.
  void bVarchar(std::string_view utf8);
  // US_VARCHAR: a two-byte character count, then UTF-16LE.
  void usVarchar(std::string_view utf8);

  std::size_t size() const { return out_.size(); }
  // Writes a two-byte length at `at` covering everything appended after it.
  void patchU16(std::size_t at, uint16_t v) {
    out_[at] = static_cast<char>(v);
    out_[at + 1] = static_cast<char>(v >> 8);
  }

 private:
  std::string& out_;
};

// Reads TDS fields from a received message; every read past the end throws ProtocolError.
class ByteReader {
 public:
  explicit ByteReader(std::string_view data) : data_(data) {}

  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }
  void seek(std::size_t pos);
  uint8_t u8();
  uint16_t u16();
  uint16_t u16be();
  uint32_t u32();
  uint32_t u32be();
  std::string_view take(std::size_t n);
  // `chars` UTF-16LE code units, returned as UTF-8.
  std::string ucs2(std::size_t chars);

 private:
  void need(std::size_t n) const;

  std::string_view data_;
  std::size_t pos_ = 0;
};

}  // namespace standin
