// Helpers for the bridge tests: 16-bit caller memory behind a selector,
// 16-bit records, and argument frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "interface/memblock.h"
#include "vantik/bridge16.h"
#include "vantik/vantik.h"

namespace vantik::test {

// A block of 16-bit caller memory reachable through one selector; Put
// copies bytes in and gives back their far address.
class Memory16 {
 public:
  explicit Memory16(uint16_t selector, uint32_t size = 0xFFF0)
      : selector_(selector), bytes_(size, 0xCC) {
    EXPECT_EQ(Bridge16MapSelector(selector, bytes_.data(), size), RC_OK);
  }
  ~Memory16() { Bridge16UnmapSelector(selector_); }
  Memory16(const Memory16&) = delete;
  Memory16& operator=(const Memory16&) = delete;

  FarPtr16 Put(const void* data, size_t n) {
    const FarPtr16 far = Reserve(n);
    std::memcpy(Flat(far), data, n);
    return far;
  }
  FarPtr16 Put(const std::vector<uint8_t>& v) { return Put(v.data(), v.size()); }
  FarPtr16 Reserve(size_t n) {
    // Offset 0 of selector 0 would be null; every far here has a selector.
    const uint32_t at = used_;
    used_ += static_cast<uint32_t>((n + 3) & ~size_t{3});
    EXPECT_LE(used_, bytes_.size());
    return VANTIK_FAR16(selector_, at);
  }
  uint8_t* Flat(FarPtr16 far) { return bytes_.data() + (far & 0xFFFF); }
  uint32_t U32At(FarPtr16 far) {
    uint32_t v;
    std::memcpy(&v, Flat(far), 4);
    return v;
  }
  uint16_t U16At(FarPtr16 far) {
    uint16_t v;
    std::memcpy(&v, Flat(far), 2);
    return v;
  }

 private:
  uint16_t selector_;
  std::vector<uint8_t> bytes_;
  uint32_t used_ = 0;
};

// Little-endian byte builder for records and frames.
struct Bytes16 {
  std::vector<uint8_t> b;
  Bytes16& U16(uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Bytes16& Short(int16_t v) { return U16(static_cast<uint16_t>(v)); }
  Bytes16& Word(uint16_t v) { return U16(v); }
  Bytes16& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
  Bytes16& Far(FarPtr16 v) { return U32(v); }
  uint32_t Call(uint32_t index) const {
    return Bridge16Call(index, b.data(), static_cast<uint32_t>(b.size()));
  }
};

// 36-byte ColorAdjustRecord: twelve shorts, three far addresses.
inline std::vector<uint8_t> Adjust16(const int16_t (&fields)[12], FarPtr16 list = 0) {
  Bytes16 r;
  for (int16_t f : fields) r.Short(f);
  r.Far(0).Far(0).Far(list);
  return r.b;
}

// 6-byte PreviewOptions.
inline std::vector<uint8_t> Options16(int16_t mode) { return Bytes16{}.Short(mode).Far(0).b; }

// 24-byte HalftoneParams: nine shorts, a word, a far address.
inline std::vector<uint8_t> Params16(const HalftoneParams& p) {
  Bytes16 r;
  r.Short(static_cast<int16_t>(p.kind)).Short(static_cast<int16_t>(p.variant));
  r.Short(static_cast<int16_t>(p.renderMode)).Short(static_cast<int16_t>(p.lutMode));
  r.Short(static_cast<int16_t>(p.xResolution)).Short(static_cast<int16_t>(p.yResolution));
  r.Short(static_cast<int16_t>(p.engineField7)).Short(static_cast<int16_t>(p.horizontalScale));
  r.Short(static_cast<int16_t>(p.engineField9)).Word(static_cast<uint16_t>(p.lineWidth));
  return r.Far(0).b;
}

// Connects the bridge, and checks that no mapping stays fixed after a call
// and no block leaks.
class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    live_ = MemLiveBlocks();
    ASSERT_EQ(Bridge16Connect("VANTIK16.DLL", "VANTIK32.DLL"), 1);
  }
  void TearDown() override {
    EXPECT_EQ(Bridge16FixedMappings(), 0u);
    Bridge16Disconnect();
    MemResetFaults();
    EXPECT_EQ(MemLiveBlocks(), live_) << "a block leaked";
  }
  long live_ = 0;
};

}  // namespace vantik::test
