#include "wire.h"

#include "text_codec.h"

namespace standin {

void ByteWriter::ucs2(std::string_view utf8) {
  appendUtf16(out_, utf8);
}

void ByteWriter::bVarchar(std::string_view utf8) {
  std::size_t units = utf16Length(utf8);
  if (units > 0xFF) {
    throw std::length_error("text too long for a one-byte length");
  }
  u8(static_cast<uint8_t>(units));
  ucs2(utf8);
}

void ByteWriter::usVarchar(std::string_view utf8) {
  std::size_t units = utf16Length(utf8);
  if (units > 0xFFFF) {
    throw std::length_error("text too long for a two-byte length");
  }
  u16(static_cast<uint16_t>(units));
  ucs2(utf8);
}

void ByteReader::need(std::size_t n) const {
  if (n > remaining()) {
    throw ProtocolError("field of " + std::to_string(n) + " bytes at offset " +
                        std::to_string(pos_) + " runs past the end of the " +
                        std::to_string(data_.size()) + "-byte message");
  }
}

void ByteReader::seek(std::size_t pos) {
  if (pos > data_.size()) {
    throw ProtocolError("offset " + std::to_string(pos) + " points past the end of the " +
                        std::to_string(data_.size()) + "-byte message");
  }
  pos_ = pos;
}

uint8_t ByteReader::u8() {
  need(1);
  return static_cast<uint8_t>(data_[pos_++]);
}

uint16_t ByteReader::u16() {
  uint16_t lo = u8();
  return static_cast<uint16_t>(lo | (u8() << 8));
}

uint16_t ByteReader::u16be() {
  uint16_t hi = u8();
  return static_cast<uint16_t>((hi << 8) | u8());
}

uint32_t ByteReader::u32() {
  uint32_t lo = u16();
  return lo | (uint32_t{u16()} << 16);
}

uint32_t ByteReader::u32be() {
  uint32_t hi = u16be();
  return (hi << 16) | u16be();
}

std::string_view ByteReader::take(std::size_t n) {
  need(n);
  auto part = data_.substr(pos_, n);
  pos_ += n;
  return part;
}

std::string ByteReader::ucs2(std::size_t chars) {
  return fromUtf16(take(chars * 2));
}

}  // namespace standin
