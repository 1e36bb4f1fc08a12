// Translation of RGB pixel runs into ink values: tetrahedral interpolation
// in the CmLut's colour table on its uneven grid.
#pragma once

#include <cstddef>
#include <cstdint>

#include "colormatch/cm_instance.h"

namespace vantik::colormatch {

// Where the red, green and blue values sit inside an input pixel.
struct CmPixelLayout {
  int32_t stride;   // bytes per input pixel
  int32_t offsetA;  // first table axis (red)
  int32_t offsetB;  // second axis (green)
  int32_t offsetC;  // third axis (blue)
};

// The 4-byte layout the table passes use: byte 0 unused, then R, G, B.
inline constexpr CmPixelLayout kCmNodeLayout = {
    LayoutOf(kRenderXrgb).bytesPerPixel, LayoutOf(kRenderXrgb).offsets[0],
    LayoutOf(kRenderXrgb).offsets[1], LayoutOf(kRenderXrgb).offsets[2]};

// Code returned when the instance has no usable table: the table step has
// not run, or the CmLut's grid or table has been made unusable.
inline constexpr uint32_t kCmNoTable = RC_BAD_PARAMETER;

// True when a grid is one translation can use: counts 2..32, channels at
// least 1, and every axis rising strictly from 0 to 255.
bool CmGridUsable(const CmLut& lut);

// Builds the per-axis tables for the CmLut's current grid.  The grid must
// be usable (CmGridUsable).
void CmBuildAxisTables(CmAxisTables& axes, const CmLut& lut);

// Makes the instance's axis tables match its CmLut, rebuilding them when
// the grid changed.  False (tables untouched) when there is no usable table.
bool CmRefreshAxisTables(CmInstance& instance);

// Translates count pixels laid out as `layout` into count x channels bytes.
// Returns kCmNoTable (nothing written) when there is no usable table.
uint32_t CmTranslateRun(CmInstance& instance, const CmPixelLayout& layout,
                        size_t count, const uint8_t* src, uint8_t* dst);

// The layout of translation for the instance's params.renderMode.
CmPixelLayout CmRenderLayout(int32_t renderMode);

}  // namespace vantik::colormatch
