// Bit-plane writer shared by every engine B kernel: one accumulator byte and
// a mask per plane, most significant bit first.  With a first bit f > 0 the
// earlier bits of the first byte survive and its low 8 - f bits are cleared;
// a partly filled last byte is stored with its remaining bits 0.
#pragma once

#include <cstdint>

namespace vantik::halftone_b {

class PlaneWriter {
 public:
  PlaneWriter(uint8_t* out, int32_t firstBit) : out_(out) {
    if (firstBit != 0) {
      mask_ = static_cast<uint8_t>(0x80u >> firstBit);
      acc_ = static_cast<uint8_t>(*out_ & ~((1u << (8 - firstBit)) - 1u));
    }
  }

  // Sets (on != 0) or leaves clear the current dot, then moves to the next.
  inline void Put(bool on) {
    if (on) acc_ |= mask_;
    mask_ >>= 1;
    if (mask_ == 0) {
      *out_++ = acc_;
      acc_ = 0;
      mask_ = 0x80;
    }
  }

  // Stores a partly filled byte.  Call once at the end of the run.
  inline void Finish() {
    if (mask_ != 0x80) *out_ = acc_;
  }

 private:
  uint8_t* out_;
  uint8_t acc_ = 0;
  uint8_t mask_ = 0x80;
};

}  // namespace vantik::halftone_b
