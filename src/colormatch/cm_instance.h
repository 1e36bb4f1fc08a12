// The colour-matching instance record.  Fields that no step reads are left
// out; the CmLut record lives in its own block (vantik.h declares it).
#pragma once

#include <cstdint>

#include "colormatch/cm_axis_tables.h"
#include "interface/params.h"
#include "vantik/vantik.h"

namespace vantik::colormatch {

struct CmBuildRecord;  // calibration build state, alive during those steps

struct CmInstance {
  void* selfBlock;            // block that holds this record
  ColorAdjustRecord adjust;   // copy of the caller's record
  HalftoneParams params;      // copy of the caller's block
  int32_t loadState;          // next resource step; 1 after creation
  // Non-zero once the resource dialogue is over: after it has asked for no
  // more blocks (inOut -1) or after a step failed.  Later resource calls are
  // refused and change nothing.
  int32_t sequenceClosed;
  CmLut* lut;                 // the CmLut record
  void* lutBlock;             // its block (same value as lut)
  CmBuildRecord* build;       // while the calibration steps run, else null
  int16_t tableMode;          // derived selector for name list 3 of the index
  int16_t tableClass;         // table-block byte 15
  int16_t pixelStride;        // bytes per input pixel of the translation
  int16_t offsetA;            // byte offset of the first-axis value (red)
  int16_t offsetB;            // second axis (green)
  int16_t offsetC;            // third axis (blue)
  int16_t primaryGain[3];     // table-block bytes 32..34, unsigned
  int16_t secondaryGain[3];   // bytes 42..44, signed
  int16_t hueShift[3];        // bytes 36..38, signed
  int16_t saturationBoost;    // byte 39, signed
  int32_t tableNumber;        // first number of the matching index entry
  int32_t halftoneNumber;     // second number; -1 when the index gives 0
  CmAxisTables axes;          // translation tables of the current grid
};

}  // namespace vantik::colormatch
