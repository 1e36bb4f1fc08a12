// Engine B creation and its three resource blocks from fuzzed parameters, a
// fuzzed CmLut and fuzzed blocks of exact length: every block is read
// through its length, nothing may be read past it, and nothing may leak.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "interface/memblock.h"
#include "vantik/vantik.h"

namespace {

// A block in memory of exactly its length, so that the sanitizer sees any
// read past it.
struct Block {
  std::unique_ptr<uint8_t[]> bytes;
  size_t length = 0;
  explicit Block(const std::vector<uint8_t>& v)
      : bytes(new uint8_t[v.empty() ? 1 : v.size()]), length(v.size()) {
    for (size_t i = 0; i < v.size(); ++i) bytes[i] = v[i];
  }
};

HalftoneParams FuzzParams(FuzzedDataProvider& in) {
  static const int32_t kResolutions[][2] = {{720, 720},  {1440, 720}, {720, 1440}, {720, 360},
                                            {360, 720},  {360, 360},  {720, 500},  {1440, 1440}};
  HalftoneParams p{};
  p.kind = in.PickValueInArray({0, 1, 3, 4, -1});
  p.variant = in.ConsumeIntegralInRange<int32_t>(-1, 3);
  p.lutMode = in.PickValueInArray({0, 1, 2, 3});
  p.renderMode = in.ConsumeBool() ? (p.lutMode == 0 ? 0 : in.PickValueInArray({1, 4}))
                                  : in.ConsumeIntegralInRange<int32_t>(0, 4);
  const auto& r = kResolutions[in.ConsumeIntegralInRange<size_t>(0, 7)];
  p.xResolution = r[0];
  p.yResolution = r[1];
  p.horizontalScale = in.ConsumeIntegralInRange<int32_t>(-1, 1);
  p.lineWidth = in.ConsumeIntegralInRange<uint32_t>(0, 9000);
  return p;
}

// Positions: usually a valid rising list, sometimes raw bytes.
void FuzzPositions(FuzzedDataProvider& in, uint8_t* out, int count) {
  if (in.ConsumeBool() && count >= 2) {
    for (int i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(i * 255 / (count - 1));
  } else {
    for (int i = 0; i < 32; ++i) out[i] = in.ConsumeIntegral<uint8_t>();
  }
}

std::vector<uint8_t> FuzzIds(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) {
    std::vector<uint8_t> v;
    const int n = in.ConsumeIntegralInRange<int>(0, 17);
    for (int i = 0; i < n; ++i) {
      const uint16_t id = in.ConsumeIntegralInRange<uint16_t>(0, 900);
      v.push_back(static_cast<uint8_t>(id));
      v.push_back(static_cast<uint8_t>(id >> 8));
    }
    if (in.ConsumeBool()) {
      v.push_back(0xFF);
      v.push_back(0xFF);
    }
    return v;
  }
  return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
}

std::vector<uint8_t> FuzzNodes(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) {
    std::vector<uint8_t> v = {32, 0};
    uint8_t p[32];
    FuzzPositions(in, p, 32);
    v.insert(v.end(), p, p + 32);
    if (in.ConsumeBool()) v.resize(in.ConsumeIntegralInRange<size_t>(0, v.size()));
    return v;
  }
  return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
}

std::vector<uint8_t> FuzzMatrix(FuzzedDataProvider& in) {
  std::vector<uint8_t> v;
  const uint8_t w = in.ConsumeBool() ? static_cast<uint8_t>(1u << in.ConsumeIntegralInRange(0, 7))
                                     : in.ConsumeIntegral<uint8_t>();
  const uint8_t h = in.ConsumeIntegral<uint8_t>();
  v = {w, h, in.PickValueInArray<uint8_t>({2, 2, 0, 1, 3, 255}), 0};
  size_t cells = static_cast<size_t>(w) * h;
  if (in.ConsumeBool() && cells > 0) cells = in.ConsumeIntegralInRange<size_t>(0, cells);
  for (size_t i = 0; i < cells; ++i) {
    const uint16_t c = in.ConsumeBool() ? static_cast<uint16_t>(i) : in.ConsumeIntegral<uint16_t>();
    v.push_back(static_cast<uint8_t>(c));
    v.push_back(static_cast<uint8_t>(c >> 8));
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const long live = vantik::MemLiveBlocks();
  const HalftoneParams params = FuzzParams(in);

  CmLut lut{};
  const int32_t count = in.ConsumeIntegralInRange<int32_t>(0, 34);
  lut.gridCountA = count;
  lut.gridCountB = in.ConsumeIntegralInRange<int>(0, 9) == 0 ? count + 1 : count;
  lut.gridCountC = count;
  lut.channels = in.PickValueInArray({4, 4, 3, 1, 8});
  lut.weightLight = in.PickValueInArray({250, 350, 500, 300});
  lut.weightFull = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(1, 200)
                                    : in.ConsumeIntegral<int32_t>();
  FuzzPositions(in, lut.gridA, count);
  if (in.ConsumeBool()) {
    for (int i = 0; i < 32; ++i) lut.gridB[i] = lut.gridC[i] = lut.gridA[i];
  } else {
    FuzzPositions(in, lut.gridB, count);
    FuzzPositions(in, lut.gridC, count);
  }
  for (int i = 0; i < 256; ++i) lut.toneCurve[i] = static_cast<uint8_t>(i);
  lut.halftoneNumber = 500;
  // The table holds exactly the nodes its counts describe.
  const size_t nodes = static_cast<size_t>(lut.gridCountA > 0 ? lut.gridCountA : 0) *
                       (lut.gridCountB > 0 ? lut.gridCountB : 0) *
                       (lut.gridCountC > 0 ? lut.gridCountC : 0);
  std::vector<uint8_t> table(nodes * static_cast<size_t>(lut.channels));
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 31);
  Block tableBlock(table);
  if (!table.empty() && in.ConsumeIntegralInRange<int>(0, 15) != 0) {
    lut.table = tableBlock.bytes.get();
    lut.tableBlock = lut.table;
  }

  HalftoneHandle h = nullptr;
  int32_t next = 0;
  const uint32_t created = HalftoneNewThk(&params, nullptr, &lut, nullptr, &next, &h);
  if (h != nullptr) {
    const Block blocks[3] = {Block(FuzzIds(in)), Block(FuzzNodes(in)), Block(FuzzMatrix(in))};
    bool ready = created == 0;
    for (const Block& b : blocks) {
      const uint32_t code = HalftoneSetResourceWithLength(h, b.bytes.get(), b.length, &next);
      if (code != 0) ready = false;
    }
    if (ready) {
      // A ready instance takes one short run of every input form.
      std::vector<uint8_t> src(64, 0x80);
      std::vector<uint8_t> planes(4 * 4, 0);
      const uint32_t runDots = params.lineWidth < 8 ? params.lineWidth : 8;
      HalftoneThk(h, src.data(), planes.data(), 4, 0, runDots, 0, 0, 1, 0, nullptr);
    }
    if (HalftoneDeleteThk(h) != 0) std::abort();
  }
  if (vantik::MemLiveBlocks() != live) std::abort();
  return 0;
}
