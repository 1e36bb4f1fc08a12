// Bounded reader over a resource block.  Every resource parser reads through
// it: a read past the end fails (and latches the failure) instead of reading
// beyond the block.  A block of the legacy, length-less form is read with
// kUnbounded as its length; the formats then delimit themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace vantik {

class ByteReader {
 public:
  static constexpr size_t kUnbounded = std::numeric_limits<size_t>::max();

  ByteReader(const void* data, size_t length)
      : data_(static_cast<const uint8_t*>(data)),
        length_(data == nullptr ? 0 : length) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t length() const { return length_; }
  const uint8_t* data() const { return data_; }
  bool bounded() const { return length_ != kUnbounded; }
  size_t remaining() const { return length_ - pos_; }

  // True when `count` bytes from `offset` lie inside the block.
  bool Has(size_t offset, size_t count) const {
    return data_ != nullptr && offset <= length_ && count <= length_ - offset;
  }
  bool HasMore(size_t count) const { return Has(pos_, count); }

  // Sequential reads; on a short block they return 0 and latch !ok().
  uint8_t U8() { return Need(1) ? data_[pos_++] : 0; }
  uint16_t U16LE() {
    if (!Need(2)) return 0;
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint16_t U16BE() {
    if (!Need(2)) return 0;
    uint16_t v = static_cast<uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
    pos_ += 2;
    return v;
  }
  int16_t S16LE() { return static_cast<int16_t>(U16LE()); }
  int16_t S16BE() { return static_cast<int16_t>(U16BE()); }
  uint32_t U32LE() {
    uint32_t lo = U16LE();
    uint32_t hi = U16LE();
    return lo | (hi << 16);
  }
  // Copies count bytes out; false (and nothing copied) on a short block.
  bool Bytes(void* out, size_t count) {
    if (!Need(count)) return false;
    for (size_t i = 0; i < count; ++i) static_cast<uint8_t*>(out)[i] = data_[pos_ + i];
    pos_ += count;
    return true;
  }
  bool Skip(size_t count) {
    if (!Need(count)) return false;
    pos_ += count;
    return true;
  }
  bool Seek(size_t offset) {
    if (!Has(offset, 0)) return Fail();
    pos_ = offset;
    return true;
  }

  // Random access without moving the cursor; 0 and !ok() when outside.
  uint8_t At(size_t offset) {
    if (!Has(offset, 1)) {
      Fail();
      return 0;
    }
    return data_[offset];
  }
  uint16_t U16BEAt(size_t offset) {
    if (!Has(offset, 2)) {
      Fail();
      return 0;
    }
    return static_cast<uint16_t>((data_[offset] << 8) | data_[offset + 1]);
  }
  uint16_t U16LEAt(size_t offset) {
    if (!Has(offset, 2)) {
      Fail();
      return 0;
    }
    return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }

  bool Fail() {
    ok_ = false;
    return false;
  }

 private:
  bool Need(size_t count) {
    if (!ok_ || !HasMore(count)) return Fail();
    return true;
  }

  const uint8_t* data_;
  size_t length_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace vantik
