// Placeholder until the preview service lands.
#include "interface/services.h"

namespace vantik {
uint32_t PreviewCreate(const ColorAdjustRecord&, const PreviewOptions&, int32_t,
                       PreviewHandle*) { return RC_FAILURE; }
uint32_t PreviewTranslate(PreviewHandle, uint32_t, const uint8_t*, uint8_t*) {
  return RC_FAILURE;
}
uint32_t PreviewDelete(PreviewHandle) { return RC_FAILURE; }
}  // namespace vantik
