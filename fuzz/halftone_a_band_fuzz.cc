// HalftoneThk on random lines: a random method, pixel format, scale and
// matrices, then bands with random start bit, dot count, x and y over
// buffers of exactly the size the line needs.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../tests/common/halftone_a_fixtures.h"
#include "halftone_a/instance_a.h"
#include "interface/memblock.h"

using namespace vantik::testing;

namespace {

std::vector<uint8_t> RandomMatrix(FuzzedDataProvider& in) {
  const int w = in.ConsumeIntegralInRange<int>(0, 256);
  const int h = in.ConsumeIntegralInRange<int>(0, 40);
  std::vector<uint8_t> cells = in.ConsumeBytes<uint8_t>(size_t(w) * h);
  cells.resize(size_t(w) * h, 77);
  return MatrixBlock(w, h, cells);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static constexpr int kMethods[] = {0, 1, 2, 3, 5, 6, 7, 8, 9, 10};
  const long live = vantik::MemLiveBlocks();
  {
    LutFixture lut(in.ConsumeIntegralInRange<int>(2, 9), LutFixture::Complement,
                   in.ConsumeIntegralInRange<int>(1, 1000), in.ConsumeIntegralInRange<int>(0, 1000),
                   1);
    const int mode = in.ConsumeIntegralInRange<int>(0, 4);
    const int scale = in.ConsumeIntegralInRange<int>(-3, 4);
    const uint32_t width = in.ConsumeIntegralInRange<uint32_t>(0, 400);
    EngineA engine(ParamsA(mode, in.ConsumeIntegralInRange<int>(0, 1), scale, width), &lut.lut);
    if (engine.createCode != 0) std::abort();
    Blocks blocks;
    const int method = in.PickValueInArray(kMethods);
    blocks[300] = Bytes(ScreenText({ScreenRow(1, method, 301, 302, 303,
                                              in.ConsumeIntegralInRange<int>(-40000, 40000))}));
    blocks[301] = RandomMatrix(in);
    blocks[302] = RandomMatrix(in);
    blocks[303] = RandomMatrix(in);
    const uint32_t loaded = engine.Load(blocks);
    (void)loaded;  // 0x200 for A and B the level table cannot take
    for (int band = 0; band < 4 && in.remaining_bytes() > 0; ++band) {
      const uint32_t n = in.ConsumeIntegralInRange<uint32_t>(0, width);
      const int startBit = in.ConsumeIntegralInRange<int>(0, 7);
      const uint64_t entries = vantik::halftone_a::EntryCount(scale, n);
      const bool converts = mode != 0 && mode != 4;
      const size_t bpp = mode == 0 ? 1 : (mode == 1 || mode == 2) ? 3 : 4;
      // Converted lines read bpp per pixel (two pixels per entry below 0);
      // direct lines read 4 bytes per entry (bpp for methods 0, 9, 10).
      const size_t perEntry = converts ? bpp * (scale < 0 ? 2 : 1)
                                       : ((method == 0 || method >= 9) ? bpp : 4);
      const size_t srcBytes = size_t(entries) * perEntry + 4;
      std::unique_ptr<uint8_t[]> src(new uint8_t[srcBytes]);
      for (size_t i = 0; i < srcBytes; ++i) src[i] = in.ConsumeIntegral<uint8_t>();
      const uint64_t dots = entries * vantik::halftone_a::RepeatCount(scale);
      const int32_t stride = static_cast<int32_t>((startBit + dots) / 8 + 1);
      std::unique_ptr<uint8_t[]> planes(new uint8_t[4 * size_t(stride)]());
      engine.Band(src.get(), planes.get(), stride, startBit, n,
                  in.ConsumeIntegral<uint32_t>(), in.ConsumeIntegral<uint32_t>());
    }
  }
  if (vantik::MemLiveBlocks() != live) std::abort();
  return 0;
}
