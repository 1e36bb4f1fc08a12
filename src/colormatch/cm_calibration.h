// Calibration: per-channel tone curves chosen by the user's calibration
// record (key 512 of the caller's tagged list) and applied to the whole table
// at the end of the resource dialogue.
#pragma once

#include <cstdint>

#include "colormatch/cm_instance.h"
#include "interface/byte_reader.h"
#include "vantik/vantik.h"

namespace vantik::colormatch {

constexpr int32_t kCalibrationKey = 512;
constexpr int kCalibrationMaxChannels = 19;
constexpr int kCurveBytes = 256;  // one tone curve per channel

// Block numbers of the calibration dialogue.
constexpr int32_t kBlockCurveSlots = 980;
constexpr int32_t kBlockReferenceLevels = 990;
constexpr int32_t kBlockSecondIndex = 900;

// Build state, alive from the table step until the calibration ends.
struct CmBuildRecord {
  void* selfBlock;             // block that holds this record
  void* curveBlock;            // block of the curve set
  uint8_t* curves;             // channels curves of 256 bytes, curve s at s * 256
  ColorAdjustRecord adjust;    // the instance's adjust at the table step
  HalftoneParams params;       // the instance's params at the table step
  int32_t calibStep;           // next calibration sub-step, 1 to 4
  CmInstance* instance;        // the owner
  uint8_t userLevel[20];       // the calibration record's level per channel
  uint8_t curveSlot[20];       // per channel, the slot that receives its curve
  uint8_t referenceLevel[20];  // block 990's level per channel
};

// Value of the first pair with that key; null for no list, a count of 0 or
// below, or no such pair.
const void* TaggedLookup(const TaggedValueList* list, int32_t key);

// The calibration record of the list when it is valid for `channels`
// channels ("CW:", key, one level 30..70 per channel, 0xFE, 0xFF), else null.
// Reads the record byte by byte and stops at the first byte that fails.
const uint8_t* FindCalibrationRecord(const TaggedValueList* list, int channels);

// End of the table step: takes the build record and curve set, then asks for
// block 980 when the adjustment record carries a valid calibration record,
// else sets *inOut to -1 (the caller then releases the build record).  Codes
// 0x101 / 0x102 (nothing held afterwards), 0x300 when a calibration is asked
// for a table with more than 19 channels.
uint32_t CmCalibrationStart(CmInstance& instance, int32_t* inOut);

// One calibration sub-step on its block (980, 990, second index, curve
// block).  *inOut is -1 after the curve block.  A malformed block gives 0x300
// and changes nothing.
uint32_t CmCalibrationStep(CmInstance& instance, ByteReader& block,
                           int32_t* inOut);

// Maps every byte of the table through the curve of its channel.
void CmApplyCurves(CmInstance& instance);

// Releases the build record and its curve set, if any, and clears `build`.
void CmReleaseBuild(CmInstance& instance);

}  // namespace vantik::colormatch
