// Placeholder until translation lands.
#include "interface/services.h"

namespace vantik {
uint32_t CmTranslate(CmHandle, int32_t, const uint8_t*, uint8_t*) { return RC_FAILURE; }
}  // namespace vantik
