// Step 2: the tone table (level input) or the colour table re-sampled onto
// the instance's own grid (colour input).
#include <cstring>

#include "formats/node_positions.h"
#include "halftone_b/resources.h"
#include "interface/tetrahedral.h"

namespace vantik::halftone_b {

namespace {

constexpr int32_t kNodeCount = formats::kNodePositionCount;
constexpr int32_t kChannels = 4;

uint32_t Fail(HalftoneInstanceB& instance, uint32_t code) {
  ReleaseSlots(instance);
  return code;
}

}  // namespace

bool PositionsAreValid(const uint8_t* positions, int32_t count) {
  return tetra::AxisUsable(positions, count);
}

bool GridIsValid(const CmLut& lut) {
  return lut.gridCountA == lut.gridCountB && lut.gridCountA == lut.gridCountC &&
         PositionsAreValid(lut.gridA, lut.gridCountA) &&
         PositionsAreValid(lut.gridB, lut.gridCountB) &&
         PositionsAreValid(lut.gridC, lut.gridCountC);
}

void BuildIntervalTable(const uint8_t* positions, int32_t count,
                        IntervalTable& out) {
  int32_t t = 0;
  for (int32_t v = 0; v < 256; ++v) {
    while (t < count - 2 && v >= positions[t + 1]) ++t;
    const int32_t d = positions[t + 1] - positions[t];
    out.interval[v] = static_cast<uint8_t>(t);
    out.fraction[v] = static_cast<uint8_t>(((v - positions[t]) * 128 + d / 2) / d);
  }
}

void ResampleTable(const CmLut& old, const uint8_t* positions, int32_t count,
                   uint8_t* out) {
  IntervalTable it;
  BuildIntervalTable(old.gridA, old.gridCountA, it);
  const int32_t ch = old.channels;
  // Byte steps of one node along each axis of the old table.
  const int32_t stepC = ch;
  const int32_t stepB = old.gridCountC * stepC;
  const int32_t stepA = old.gridCountB * stepB;
  const uint32_t step[3] = {static_cast<uint32_t>(stepA), static_cast<uint32_t>(stepB),
                            static_cast<uint32_t>(stepC)};
  const int32_t offAll = stepA + stepB + stepC;
  // The second and third vertex of each ordering's tetrahedron, found once.
  tetra::VertexOffsets vertices[8];
  for (unsigned i = 0; i < 8; ++i) vertices[i] = tetra::VerticesOf(i, step);
  const uint8_t* table = old.table;
  // Fractions in 128ths (rounded by the interval table), the sum rounded
  // back by 1/128.
  const auto divide = [](uint32_t sum) { return (sum + 64) >> 7; };

  for (int32_t i = 0; i < count; ++i) {
    const int32_t a = it.interval[positions[i]];
    const int32_t f1 = it.fraction[positions[i]];
    for (int32_t j = 0; j < count; ++j) {
      const int32_t b = it.interval[positions[j]];
      const int32_t f2 = it.fraction[positions[j]];
      for (int32_t k = 0; k < count; ++k) {
        const int32_t c = it.interval[positions[k]];
        const int32_t f3 = it.fraction[positions[k]];
        const uint8_t* base = table + a * stepA + b * stepB + c * stepC;
        const uint32_t f[3] = {static_cast<uint32_t>(f1), static_cast<uint32_t>(f2),
                               static_cast<uint32_t>(f3)};
        const tetra::Tetrahedron t = tetra::ChooseByBranches(128, f);
        const tetra::VertexOffsets& v = vertices[t.index];
        if (ch == 4) {  // the tables engine B loads: a fixed count unrolls the sum
          tetra::Blend(base, base + v.second, base + v.third, base + offAll, t, 4, out, divide);
        } else {
          tetra::Blend(base, base + v.second, base + v.third, base + offAll, t,
                       static_cast<size_t>(ch), out, divide);
        }
        out += ch;
      }
    }
  }
}

uint32_t LoadColourTable(HalftoneInstanceB& instance, ByteReader& block,
                         int32_t* outNextId) {
  *outNextId = NextResourceId(instance);
  CmLut& lut = instance.lutRecord;

  if (instance.params.lutMode == kLutGray) {
    // The node table of step 3 walks the first axis of this grid.
    if (!PositionsAreValid(lut.gridA, lut.gridCountA)) {
      return Fail(instance, RC_BAD_PARAMETER);
    }
    const uint32_t code = AllocSlot(instance, kSlotToneTable, 512, false);
    if (code != RC_OK) return Fail(instance, code);
    auto* tone = static_cast<int16_t*>(instance.slots[kSlotToneTable].data);
    for (int i = 0; i < 256; ++i) tone[i] = lut.toneCurve[i];
    return RC_OK;
  }

  const CmLut old = lut;
  if (old.tableBlock == nullptr || old.table == nullptr) {
    return Fail(instance, RC_BAD_PARAMETER);
  }
  // The kernels read four-byte nodes, and the re-sampling walks the grid.
  if (old.channels != kChannels || !GridIsValid(old)) {
    return Fail(instance, RC_BAD_PARAMETER);
  }

  uint8_t positions[kNodeCount];
  int32_t count;
  if (instance.params.kind == kKindUnset) {
    count = 2;
    positions[0] = 0;
    positions[1] = 255;
  } else {
    formats::NodePositions nodes;
    const formats::Outcome parsed = formats::ParseNodePositions(block, nodes);
    if (!parsed.ok()) return Fail(instance, parsed.code);
    std::memcpy(positions, nodes.positions, kNodeCount);
    count = kNodeCount;
  }

  const uint32_t bytes = static_cast<uint32_t>(count * count * count * old.channels);
  const uint32_t code = AllocSlot(instance, kSlotSampledLut, (bytes + 3) & ~3u, false);
  if (code != RC_OK) return Fail(instance, code);
  auto* sampled = static_cast<uint8_t*>(instance.slots[kSlotSampledLut].data);

  lut.gridCountA = lut.gridCountB = lut.gridCountC = count;
  std::memcpy(lut.gridA, positions, count);
  std::memcpy(lut.gridB, positions, count);
  std::memcpy(lut.gridC, positions, count);
  lut.tableBlock = nullptr;
  lut.table = sampled;

  ResampleTable(old, positions, count, sampled);
  return RC_OK;
}

}  // namespace vantik::halftone_b

