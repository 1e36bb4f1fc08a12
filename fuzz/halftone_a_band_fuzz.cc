// HalftoneThk on random lines: a ready instance for a random method, pixel
// format, scale and line width, then bands with random start bit, dot
// count, x, y and pixels over buffers of exactly the size the line needs.
//
// Making an instance re-samples the colour table (thousands of
// interpolations), which would cost far more than the bands, so each
// combination of settings is made once, with matrices and a colour table
// derived from the settings, and kept for every later input.  The loading
// of fuzzed screens and matrices is the screen target's work.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "../tests/common/halftone_a_fixtures.h"
#include "halftone_a/instance_a.h"
#include "interface/memblock.h"
#include "interface/services.h"

using namespace vantik::testing;

namespace {

// A small deterministic generator, so that a key always gets the same
// instance.
struct Lcg {
  uint32_t state;
  uint32_t Next() { return state = state * 1664525u + 1013904223u; }
  int Pick(std::initializer_list<int> values) {
    return values.begin()[(Next() >> 8) % values.size()];
  }
};

std::vector<uint8_t> KeyMatrix(Lcg& rng) {
  const int w = rng.Pick({1, 2, 3, 8, 16, 17, 64, 255, 256});
  const int h = rng.Pick({1, 2, 3, 8, 16, 17, 40});
  std::vector<uint8_t> cells(size_t(w) * h);
  for (uint8_t& c : cells) c = static_cast<uint8_t>(rng.Next() >> 13);
  return MatrixBlock(w, h, cells);
}

struct Ready {
  std::unique_ptr<LutFixture> lut;
  std::unique_ptr<EngineA> engine;
};

using Key = std::tuple<int, int, int, int, uint32_t>;  // mode, lutMode, scale, method, width

Ready& InstanceFor(const Key& key) {
  static std::map<Key, Ready> cache;
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const auto [mode, lutMode, scale, method, width] = key;
  Lcg rng{static_cast<uint32_t>(mode * 7919 + lutMode * 104729 + (scale + 3) * 1299709 +
                                method * 15485863 + width)};
  Ready r;
  r.lut = std::make_unique<LutFixture>(2 + static_cast<int>(rng.Next() >> 8) % 8,
                                       LutFixture::Complement,
                                       1 + static_cast<int>(rng.Next() >> 8) % 1000,
                                       static_cast<int>(rng.Next() >> 8) % 1001, 1);
  r.engine = std::make_unique<EngineA>(ParamsA(mode, lutMode, scale, width), &r.lut->lut);
  if (r.engine->createCode != 0) std::abort();
  Blocks blocks;
  const int phase = static_cast<int>(rng.Next() % 80001) - 40000;
  blocks[300] = Bytes(ScreenText({ScreenRow(1, method, 301, 302, 303, phase)}));
  blocks[301] = KeyMatrix(rng);
  blocks[302] = KeyMatrix(rng);
  blocks[303] = KeyMatrix(rng);
  (void)r.engine->Load(blocks);  // 0x200 for A and B the level table cannot take
  return cache.emplace(key, std::move(r)).first->second;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static constexpr int kMethods[] = {0, 1, 2, 3, 5, 6, 7, 8, 9, 10};
  const int mode = in.ConsumeIntegralInRange<int>(0, 4);
  const int lutMode = in.ConsumeIntegralInRange<int>(0, 1);
  const int scale = in.ConsumeIntegralInRange<int>(-3, 4);
  const int method = in.PickValueInArray(kMethods);
  const uint32_t width = in.PickValueInArray({0u, 1u, 9u, 400u});
  EngineA& engine = *InstanceFor(Key{mode, lutMode, scale, method, width}).engine;

  const long live = vantik::MemLiveBlocks();
  for (int band = 0; band < 4 && in.remaining_bytes() > 0; ++band) {
    const uint32_t n = in.ConsumeIntegralInRange<uint32_t>(0, width);
    const int startBit = in.ConsumeIntegralInRange<int>(0, 7);
    // Source and planes exactly as long as the engine says the line reads
    // and writes (planes back to back, each as long as the line from the
    // start bit), so the sizing the bridge checks callers against is
    // checked here against the converters.
    const uint64_t dots =
        vantik::halftone_a::EntryCount(scale, n) * vantik::halftone_a::RepeatCount(scale);
    const auto stride = static_cast<int32_t>(std::max<uint64_t>(1, (startBit + dots + 7) / 8));
    const vantik::RunBytes need = vantik::EngineARunBytes(engine.handle, stride, startBit, n);
    std::unique_ptr<uint8_t[]> src(new uint8_t[need.source + 1]);
    for (size_t i = 0; i < need.source; ++i) src[i] = in.ConsumeIntegral<uint8_t>();
    std::unique_ptr<uint8_t[]> planes(new uint8_t[need.destination + 1]());
    // A line that takes nothing gets an address past its one spare byte.
    const uint8_t* srcAt = need.source == 0 ? src.get() + 1 : src.get();
    uint8_t* dstAt = need.destination == 0 ? planes.get() + 1 : planes.get();
    engine.Band(srcAt, dstAt, stride, startBit, n, in.ConsumeIntegral<uint32_t>(),
                in.ConsumeIntegral<uint32_t>());
  }
  if (vantik::MemLiveBlocks() != live) std::abort();
  return 0;
}
