// The colour table block and the passes over the loaded table: gray-axis
// rules, density correction and the black tone curve.
#pragma once

#include <cstdint>

#include "colormatch/cm_adjust.h"
#include "colormatch/cm_instance.h"
#include "interface/byte_reader.h"

namespace vantik::colormatch {

// Density correction of one level m (0..255) with the weights at no ink
// (light) and full ink: q is the divisor, the result m scaled by
// 100 / weight at that level.  All 32-bit signed with wrap-around, as the
// weights are 16-bit values a block may carry at any size.
int32_t CmDensityDivisor(int32_t m, int32_t weightLight, int32_t weightFull);
// (255 m + q / 2) / q, low 8 bits; q must be positive.
uint8_t CmDensityValue(int32_t m, int32_t q);
// True when q is positive for every level, so the correction is defined.
bool CmDensityDefined(int32_t weightLight, int32_t weightFull);

// Every byte of the table replaced by its density correction.
void CmDensityPass(CmInstance& instance);
// Fills the CmLut's toneCurve from the black output of the gray pixels.
void CmToneCurve(CmInstance& instance);

// The table step with a chosen preview service (tests substitute one).
uint32_t CmLoadTableBlockWith(CmInstance& instance, ByteReader& block,
                              const CmPreviewOps& preview);

}  // namespace vantik::colormatch
