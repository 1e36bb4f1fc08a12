// Calibration start, its four sub-steps, and the application of the curve
// set.  Every block is read through the bounded reader; a block that is too
// short for what it must hold, or whose records break the format's limits,
// is refused whole with 0x300 before anything is written.
#include "colormatch/cm_calibration.h"

#include <cstring>

#include "colormatch/cm_index.h"
#include "formats/curve_rows.h"
#include "formats/curve_slots.h"
#include "formats/reference_levels.h"
#include "interface/memblock.h"

namespace vantik::colormatch {
namespace {

constexpr uint8_t kRecordEnd = 0xFE;
constexpr uint8_t kRecordClose = 0xFF;
constexpr int kLevelMin = 30;
constexpr int kLevelMax = 70;

int ChannelsOf(const CmInstance& instance) { return instance.lut->channels; }

uint32_t CurveSlotStep(CmBuildRecord& build, ByteReader& block, int32_t* inOut) {
  const int channels = ChannelsOf(*build.instance);
  // The caller's record was valid at the table step; it must still be.
  const uint8_t* record = FindCalibrationRecord(build.adjust.field14, channels);
  if (record == nullptr) return RC_BAD_RESOURCE;
  formats::CurveSlots slots;
  if (!formats::ParseCurveSlots(block, record[3], channels, slots).ok()) return RC_BAD_RESOURCE;
  for (int i = 0; i < channels; ++i) build.userLevel[i] = record[4 + i];
  std::memcpy(build.curveSlot, slots.slot, sizeof build.curveSlot);
  build.calibStep = 2;
  *inOut = kBlockReferenceLevels;
  return RC_OK;
}

uint32_t ReferenceStep(CmBuildRecord& build, ByteReader& block, int32_t* inOut) {
  const int channels = ChannelsOf(*build.instance);
  const uint8_t* levels = nullptr;
  if (!formats::ParseReferenceLevels(block, channels, &levels).ok()) return RC_BAD_RESOURCE;
  for (int i = 0; i < channels; ++i) build.referenceLevel[i] = levels[i];
  build.calibStep = 3;
  *inOut = kBlockSecondIndex;
  return RC_OK;
}

// The second index is looked up with the adjustments of the table step and
// table mode 0; it names the curve block.
uint32_t SecondIndexStep(CmBuildRecord& build, ByteReader& block, int32_t* inOut) {
  CmInstance& instance = *build.instance;
  build.calibStep = 4;
  instance.adjust = build.adjust;
  instance.params = build.params;
  instance.tableMode = 0;
  int32_t tableNumber = 0;
  const uint32_t rc = CmIndexLookup(instance, block, &tableNumber);
  if (rc != RC_OK) return rc;
  *inOut = tableNumber;
  return tableNumber == 0 ? RC_BAD_RESOURCE : RC_OK;
}

// Curve block: each channel takes the row of its
// level difference (user minus reference, plus 20, halved, within 0..20)
// into its curve slot; when every channel is within 2 of its reference,
// all take the middle row.
uint32_t CurveBlockStep(CmBuildRecord& build, ByteReader& block, int32_t* inOut) {
  const int channels = ChannelsOf(*build.instance);
  formats::CurveRowsView rows;
  if (!formats::ParseCurveRows(block, rows).ok()) return RC_BAD_RESOURCE;
  int within = 0;
  for (int ch = 0; ch < channels; ++ch) {
    const int diff = build.userLevel[ch] - build.referenceLevel[ch];
    if (diff >= -2 && diff <= 2) ++within;
  }
  if (within == channels) {
    for (int ch = 0; ch < channels; ++ch) build.userLevel[ch] = build.referenceLevel[ch];
  }
  for (int ch = 0; ch < channels; ++ch) {
    const int32_t d = build.userLevel[ch] - build.referenceLevel[ch] + 20;
    int32_t row = d / 2;
    if (row < 0) row = 0;
    if (row > formats::kCurveRowCount - 1) row = formats::kCurveRowCount - 1;
    std::memcpy(build.curves + build.curveSlot[ch] * kCurveBytes, rows.Row(row), kCurveBytes);
  }
  *inOut = -1;
  return RC_OK;
}

}  // namespace

const void* TaggedLookup(const TaggedValueList* list, int32_t key) {
  if (list == nullptr || list->count <= 0 || list->pairs == nullptr) return nullptr;
  for (int32_t i = 0; i < list->count; ++i) {
    if (list->pairs[i].key == key) return list->pairs[i].value;
  }
  return nullptr;
}

const uint8_t* FindCalibrationRecord(const TaggedValueList* list, int channels) {
  const auto* record = static_cast<const uint8_t*>(TaggedLookup(list, kCalibrationKey));
  if (record == nullptr) return nullptr;
  if (record[0] != 0x43 || record[1] != 0x57 || record[2] != 0x3A) return nullptr;
  for (int i = 0; i < channels; ++i) {
    const uint8_t level = record[4 + i];
    if (level < kLevelMin || level > kLevelMax) return nullptr;
  }
  if (record[4 + channels] != kRecordEnd) return nullptr;
  if (record[5 + channels] != kRecordClose) return nullptr;
  return record;
}

uint32_t CmCalibrationStart(CmInstance& instance, int32_t* inOut) {
  CmBuildRecord* build = nullptr;
  uint32_t got = MemAllocLocked(sizeof(CmBuildRecord), 1, &build);
  if (got != RC_OK) return got;
  void* selfBlock = build;
  const int channels = ChannelsOf(instance);
  const size_t curveBytes = channels > 0 ? static_cast<size_t>(channels) * kCurveBytes : 0;
  uint8_t* curves = nullptr;
  got = MemAllocLocked(curveBytes, 1, &curves);
  if (got != RC_OK) {
    MemUnlock(selfBlock);
    MemFree(selfBlock);
    return got;
  }
  void* curveBlock = curves;
  build->selfBlock = selfBlock;
  build->curveBlock = curveBlock;
  build->curves = curves;
  build->adjust = instance.adjust;
  build->params = instance.params;
  build->instance = &instance;
  instance.build = build;

  if (FindCalibrationRecord(instance.adjust.field14, channels) == nullptr) {
    *inOut = -1;
    return RC_OK;
  }
  // The per-channel arrays of the build record hold 20 entries.
  if (channels < 1 || channels > kCalibrationMaxChannels) {
    CmReleaseBuild(instance);
    return RC_BAD_RESOURCE;
  }
  build->calibStep = 1;
  *inOut = kBlockCurveSlots;
  return RC_OK;
}

uint32_t CmCalibrationStep(CmInstance& instance, ByteReader& block,
                           int32_t* inOut) {
  CmBuildRecord* build = instance.build;
  if (build == nullptr) return RC_BAD_RESOURCE;
  switch (build->calibStep) {
    case 1: return CurveSlotStep(*build, block, inOut);
    case 2: return ReferenceStep(*build, block, inOut);
    case 3: return SecondIndexStep(*build, block, inOut);
    case 4: return CurveBlockStep(*build, block, inOut);
    default: return RC_BAD_RESOURCE;
  }
}

void CmApplyCurves(CmInstance& instance) {
  const CmBuildRecord* build = instance.build;
  CmLut* lut = instance.lut;
  if (build == nullptr || lut->table == nullptr || lut->channels <= 0) return;
  const size_t channels = static_cast<size_t>(lut->channels);
  const size_t nodes = static_cast<size_t>(lut->gridCountA) *
                       static_cast<size_t>(lut->gridCountB) *
                       static_cast<size_t>(lut->gridCountC);
  uint8_t* p = lut->table;
  for (size_t n = 0; n < nodes; ++n) {
    for (size_t l = 0; l < channels; ++l, ++p) {
      *p = build->curves[l * kCurveBytes + *p];
    }
  }
}

void CmReleaseBuild(CmInstance& instance) {
  CmBuildRecord* build = instance.build;
  if (build == nullptr) return;
  instance.build = nullptr;
  void* curveBlock = build->curveBlock;
  void* selfBlock = build->selfBlock;
  if (curveBlock != nullptr) {
    MemUnlock(curveBlock);
    MemFree(curveBlock);
  }
  MemUnlock(selfBlock);
  MemFree(selfBlock);
}

}  // namespace vantik::colormatch
