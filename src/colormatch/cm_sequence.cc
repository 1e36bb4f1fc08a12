// Placeholder until the resource sequence lands.
#include "interface/services.h"

namespace vantik {
uint32_t CmSetResource(CmHandle, const void*, size_t, int32_t*) { return RC_FAILURE; }
}  // namespace vantik
