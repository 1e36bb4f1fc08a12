// Seams between the colour-matching files: the resource sequence (cm_sequence)
// calls the table step (cm_table), which runs the table passes and the
// adjustment pass (cm_adjust); translation (cm_translate) reads the CmLut.
#pragma once

#include <cstdint>

#include "colormatch/cm_instance.h"
#include "interface/byte_reader.h"

namespace vantik::colormatch {

// The table step: reads the table block into the instance's CmLut (grid,
// table, tone curve, weights, parameters), applies the gray-axis rules, the
// adjustment pass, the density correction and the tone curve, and leaves
// the translation layout of params.renderMode in force.  Returns a code; on
// failure nothing of the CmLut or the instance has changed.
uint32_t CmLoadTableBlock(CmInstance& instance, ByteReader& block);

// Sets pixelStride and offsetA..C for translating with params.renderMode.
void CmSetRenderLayout(CmInstance& instance);

}  // namespace vantik::colormatch
