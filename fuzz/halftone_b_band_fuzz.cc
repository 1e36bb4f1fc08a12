// HalftoneThk on random runs of a ready engine B instance: random parameter
// set (and so kernel), then runs with a random first bit, count, x0, y and
// pixels.  Source and planes are allocated to the exact size a run may
// touch, so any read or write past them is caught.
//
// Loading the colour nodes re-samples the colour table (32 x 32 x 32
// interpolations), far more work than a few runs, so each parameter set is
// made once, with a colour table and matrix derived from the parameters,
// and kept for every later input.  The loading of fuzzed tables, nodes and
// matrices is the resources target's work.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "interface/memblock.h"
#include "interface/services.h"
#include "vantik/vantik.h"

namespace {

std::vector<uint8_t> Le16(std::initializer_list<int> values) {
  std::vector<uint8_t> v;
  for (int x : values) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
  }
  return v;
}

struct Lcg {
  uint32_t state;
  uint32_t Next() { return state = state * 1664525u + 1013904223u; }
  uint8_t Byte() { return static_cast<uint8_t>(Next() >> 17); }
};

struct Ready {
  HalftoneParams params{};
  CmLut lut{};
  std::vector<uint8_t> table;
  HalftoneHandle handle = nullptr;
  Ready() = default;
  Ready(const Ready&) = delete;
  Ready& operator=(const Ready&) = delete;
  ~Ready() {
    if (handle != nullptr) HalftoneDeleteThk(handle);
  }
};

// kind, variant, lutMode, renderMode, resolution, scale, line width
using Key = std::tuple<int, int, int, int, int, int, uint32_t>;

const Ready& InstanceFor(const Key& key) {
  static std::map<Key, std::unique_ptr<Ready>> cache;
  auto it = cache.find(key);
  if (it != cache.end()) return *it->second;
  if (cache.size() >= 2048) {
    // Each instance holds a re-sampled table (about 200 KB under the
    // sanitizers): keep the memory bounded, but drop one instance at a time
    // so that the instances of inputs near the current one stay.
    cache.erase(cache.begin());
  }
  // One resolution of each kernel class: square, 1440 x 720, tall dots.
  static const int32_t kResolutions[][2] = {{720, 720}, {1440, 720}, {720, 1440}};
  const auto [kind, variant, lutMode, renderMode, res, scale, width] = key;
  Lcg rng{static_cast<uint32_t>(kind * 31 + variant * 257 + lutMode * 4099 + renderMode * 65537 +
                                res * 999331 + scale * 7 + width)};
  auto r = std::make_unique<Ready>();
  HalftoneParams& p = r->params;
  p.kind = kind;
  p.variant = variant;
  p.lutMode = lutMode;
  p.renderMode = renderMode;
  p.xResolution = kResolutions[res][0];
  p.yResolution = kResolutions[res][1];
  p.horizontalScale = scale;
  p.lineWidth = width;

  // A CmLut with a 5-node grid.
  CmLut& lut = r->lut;
  lut.channels = 4;
  lut.gridCountA = lut.gridCountB = lut.gridCountC = 5;
  const uint8_t grid[5] = {0, 64, 128, 192, 255};
  for (int i = 0; i < 5; ++i) lut.gridA[i] = lut.gridB[i] = lut.gridC[i] = grid[i];
  const int32_t lights[] = {250, 350, 500};
  lut.weightLight = lights[rng.Next() % 3];
  lut.weightFull = 1 + static_cast<int32_t>(rng.Next() % 300);
  for (int i = 0; i < 256; ++i) lut.toneCurve[i] = rng.Byte();
  r->table.resize(125 * 4);
  for (uint8_t& b : r->table) b = rng.Byte();
  lut.table = r->table.data();
  lut.tableBlock = r->table.data();

  const uint32_t w = 1u << (rng.Next() % 8);
  const uint32_t h = 1 + rng.Next() % 255;
  std::vector<uint8_t> matrix = {static_cast<uint8_t>(w), static_cast<uint8_t>(h), 2, 0};
  const bool rawCells = (rng.Next() & 1) != 0;
  for (uint32_t i = 0; i < w * h; ++i) {
    const uint16_t c = rawCells ? static_cast<uint16_t>(rng.Next() >> 16)
                                : static_cast<uint16_t>((i * 97 + 13) % (w * h));
    matrix.push_back(static_cast<uint8_t>(c));
    matrix.push_back(static_cast<uint8_t>(c >> 8));
  }
  const std::vector<uint8_t> ids = Le16({600, 601, 602, -1});
  std::vector<uint8_t> nodes = {32, 0};
  for (int i = 0; i < 32; ++i) nodes.push_back(static_cast<uint8_t>(i * 255 / 31));

  int32_t next = 0;
  if (HalftoneNewThk(&p, nullptr, &lut, nullptr, &next, &r->handle) != 0) std::abort();
  if (HalftoneSetResourceWithLength(r->handle, ids.data(), ids.size(), &next) != 0 ||
      HalftoneSetResourceWithLength(r->handle, nodes.data(), nodes.size(), &next) != 0 ||
      HalftoneSetResourceWithLength(r->handle, matrix.data(), matrix.size(), &next) != 0) {
    std::abort();
  }
  return *cache.emplace(key, std::move(r)).first->second;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  // Kinds 0 and 3 have kernels of their own; 1 and -1 stand for the rest.
  const int kind = in.PickValueInArray({0, 1, 3, -1});
  const int variant = in.ConsumeIntegralInRange<int32_t>(0, 3);
  const int lutMode = in.PickValueInArray({0, 1, 2, 3});
  const int renderMode = lutMode == 0 ? 0 : in.PickValueInArray({1, 2, 4});
  const int res = in.ConsumeIntegralInRange<int>(0, 2);
  const int scale = in.ConsumeIntegralInRange<int32_t>(-1, 1);
  const uint32_t width = in.PickValueInArray({1u, 7u, 64u, 300u});
  const Ready& ready = InstanceFor(Key{kind, variant, lutMode, renderMode, res, scale, width});
  const HalftoneParams& p = ready.params;
  const HalftoneHandle handle = ready.handle;
  const bool colour = p.lutMode != 0;
  const long live = vantik::MemLiveBlocks();

  for (int run = 0; run < 16 && in.remaining_bytes() > 0; ++run) {
    int32_t firstBit = in.ConsumeIntegralInRange<int32_t>(0, 7);
    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) firstBit = in.ConsumeIntegral<int8_t>();
    const uint32_t x0 = in.ConsumeIntegralInRange<uint32_t>(0, p.lineWidth);
    uint32_t count = in.ConsumeIntegralInRange<uint32_t>(0, p.lineWidth - x0);
    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) count = in.ConsumeIntegral<uint32_t>();
    const uint32_t y = in.ConsumeIntegralInRange<uint32_t>(0, 3000);
    const int32_t flags = in.ConsumeIntegralInRange<int>(0, 63) == 0 ? 1 : 0;

    // Source and planes exactly as long as the engine says the run reads
    // and writes (planes back to back, each as long as the run from the
    // first bit), so the sizing the bridge checks callers against is
    // checked here against the kernels.
    const uint64_t sane = count <= p.lineWidth ? count : 0;
    const int32_t bit = firstBit >= 0 && firstBit <= 7 ? firstBit : 0;
    const auto planeBytes = static_cast<int32_t>((bit + sane + 7) / 8);
    const vantik::RunBytes need =
        vantik::halftone_b::EngineBRunBytes(handle, planeBytes, firstBit, count, x0, flags);
    std::unique_ptr<uint8_t[]> src(new uint8_t[need.source + 1]);
    for (size_t i = 0; i < need.source; ++i) {
      src[i] = in.remaining_bytes() > 0 ? in.ConsumeIntegral<uint8_t>() : static_cast<uint8_t>(i);
    }
    std::unique_ptr<uint8_t[]> planes(new uint8_t[need.destination + 1]());
    // The spare byte past each lies beyond the run: a run of nothing gets an
    // address, not memory.
    uint8_t* const srcAt = need.source == 0 ? src.get() + 1 : src.get();
    uint8_t* const dstAt = need.destination == 0 ? planes.get() + 1 : planes.get();

    const uint32_t code = HalftoneThk(handle, srcAt, dstAt, planeBytes, firstBit,
                                      count, x0, 0, y, flags, nullptr);
    // Refused runs must be refused.
    if (code == 0 && (firstBit < 0 || firstBit > 7 || flags != 0 ||
                      static_cast<uint64_t>(x0) + count > p.lineWidth)) {
      std::abort();
    }
  }
  if (vantik::MemLiveBlocks() != live) std::abort();
  return 0;
}
