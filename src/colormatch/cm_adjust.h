// The table adjustment pass: rebuilds the colour table so that translating a
// pixel gives the ink values of the user's adjusted colour.  Every node's
// RGB position goes through a preview instance with the user's adjustments,
// optionally through three ink-space corrections driven by the table block,
// and then through the old table.
#pragma once

#include <cstdint>

#include "colormatch/cm_instance.h"

namespace vantik::colormatch {

// The preview service as the pass uses it; tests substitute their own.
struct CmPreviewOps {
  uint32_t (*create)(const ColorAdjustRecord& adjust,
                     const PreviewOptions& options, int32_t pixelFormat,
                     PreviewHandle* outInstance);
  uint32_t (*translate)(PreviewHandle instance, uint32_t count,
                        const uint8_t* src, uint8_t* dst);
  uint32_t (*destroy)(PreviewHandle instance);
};

extern const CmPreviewOps kCmPreviewService;

// Ink-space corrections on the complements (c, m, y) of a pixel, with the
// three gains of the table block.
void PrimaryAdjust(int32_t& c, int32_t& m, int32_t& y, const int16_t gain[3]);
void SecondaryAdjust(int32_t& c, int32_t& m, int32_t& y, const int16_t gain[3]);
void HueAdjust(int32_t& c, int32_t& m, int32_t& y, const int16_t gain[3]);

// Runs the pass.  Returns 0 with the new table in the CmLut; the code of a
// failed allocation or preview creation, or 1 when a translation failed,
// with the old table left in use.  The preview instance is deleted on every
// path.
uint32_t CmAdjustPass(CmInstance& instance,
                      const CmPreviewOps& ops = kCmPreviewService);

}  // namespace vantik::colormatch
