// Packed one-bit output for the vector paths of the ordered kernels: dots
// arrive sixteen or thirty-two at a time and leave as whole bytes, with the
// same first-bit and last-byte handling as PlaneWriter.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace vantik::halftone_b {

// Bits of one plane, most significant first, in whole groups of 16 or 32
// dots and a last part group.  Pending bits wait at the top of a 64-bit
// accumulator; with a first bit f they start as the first byte's f earlier
// bits, and the last partly filled byte is stored with its later bits 0,
// as PlaneWriter does.
class BitStream {
 public:
  BitStream(uint8_t* out, int32_t firstBit) : out_(out), n_(static_cast<uint32_t>(firstBit)) {
    if (n_ != 0) acc_ = uint64_t{static_cast<uint8_t>(*out & ~((1u << (8 - n_)) - 1u))} << 56;
  }
  // Sixteen dots, the first at bit 15.
  void Put16(uint32_t bits) {
    acc_ |= uint64_t{bits} << (48 - n_);
    out_[0] = static_cast<uint8_t>(acc_ >> 56);
    out_[1] = static_cast<uint8_t>(acc_ >> 48);
    out_ += 2;
    acc_ <<= 16;
  }
  // Thirty-two dots, the first at bit 31.
  void Put32(uint32_t bits) {
    acc_ |= uint64_t{bits} << (32 - n_);
    const uint32_t top = static_cast<uint32_t>(acc_ >> 32);
    const uint8_t bytes[4] = {static_cast<uint8_t>(top >> 24), static_cast<uint8_t>(top >> 16),
                              static_cast<uint8_t>(top >> 8), static_cast<uint8_t>(top)};
    std::memcpy(out_, bytes, 4);
    out_ += 4;
    acc_ <<= 32;
  }
  // k < 32 dots at the top of bits, the bits below them 0.
  void PutPart(uint32_t bits, uint32_t k) {
    acc_ |= uint64_t{bits} << (32 - n_);
    n_ += k;
    while (n_ >= 8) {
      *out_++ = static_cast<uint8_t>(acc_ >> 56);
      acc_ <<= 8;
      n_ -= 8;
    }
  }
  void Finish() {
    if (n_ != 0) *out_ = static_cast<uint8_t>(acc_ >> 56);
  }

 private:
  uint8_t* out_;
  uint64_t acc_ = 0;
  uint32_t n_;
};

// Bit order reversed within a byte: movemask puts the first dot at bit 0.
inline constexpr std::array<uint8_t, 256> kReversed = [] {
  std::array<uint8_t, 256> r{};
  for (int v = 0; v < 256; ++v) {
    int x = 0;
    for (int b = 0; b < 8; ++b) x |= ((v >> b) & 1) << (7 - b);
    r[v] = static_cast<uint8_t>(x);
  }
  return r;
}();

}  // namespace vantik::halftone_b
