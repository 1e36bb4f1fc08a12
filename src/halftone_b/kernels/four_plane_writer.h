// Four bit planes written in step: the packing of PlaneWriter (most
// significant bit first, earlier bits of a first byte kept, a partly filled
// last byte stored with its remaining bits 0), with one shared mask and the
// four accumulators packed in one word (byte k = plane k).  The colour
// kernels' loops keep far fewer values alive this way than with four
// separate writers.  Plane 3 may be a scratch byte that is never advanced
// (three-plane mode).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantik::halftone_b {

class FourPlaneWriter {
 public:
  // Plane k at dst + k * stride.  With advancePlane3 false, plane 3's bytes
  // all go to *plane3.
  FourPlaneWriter(uint8_t* dst, int32_t stride, uint8_t* plane3,
                  bool advancePlane3, int32_t firstBit)
      : out_(dst), stride_(stride), plane3_(plane3),
        plane3Step_(advancePlane3 ? 1 : 0) {
    if (firstBit != 0) {
      mask_ = 0x80u >> firstBit;
      const uint32_t keep = ~((1u << (8 - firstBit)) - 1u) & 0xFFu;
      acc_ = (out_[0] & keep) | (out_[stride_] & keep) << 8 |
             (out_[2 * static_cast<ptrdiff_t>(stride_)] & keep) << 16 |
             (*plane3_ & keep) << 24;
    }
  }

  // dots: bit k set when plane k gets the current dot.  Moves to the next.
  inline void Put(uint32_t dots) {
    acc_ |= kExpand[dots & 15] & (mask_ * 0x01010101u);
    mask_ >>= 1;
    if (mask_ == 0) {
      Store();
      ++out_;
      plane3_ += plane3Step_;
      acc_ = 0;
      mask_ = 0x80;
    }
  }

  // Stores a partly filled byte.  Call once at the end of the run.
  inline void Finish() {
    if (mask_ != 0x80) Store();
  }

 private:
  static constexpr std::array<uint32_t, 16> kExpand = [] {
    std::array<uint32_t, 16> t{};
    for (uint32_t d = 0; d < 16; ++d) {
      for (int k = 0; k < 4; ++k) {
        if (d & (1u << k)) t[d] |= 0xFFu << (8 * k);
      }
    }
    return t;
  }();

  inline void Store() {
    out_[0] = static_cast<uint8_t>(acc_);
    out_[stride_] = static_cast<uint8_t>(acc_ >> 8);
    out_[2 * static_cast<ptrdiff_t>(stride_)] = static_cast<uint8_t>(acc_ >> 16);
    *plane3_ = static_cast<uint8_t>(acc_ >> 24);
  }

  uint8_t* out_;
  ptrdiff_t stride_;
  uint8_t* plane3_;
  ptrdiff_t plane3Step_;
  uint32_t acc_ = 0;
  uint32_t mask_ = 0x80;
};

}  // namespace vantik::halftone_b
