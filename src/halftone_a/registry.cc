#include "halftone_a/registry.h"

#include "interface/memblock.h"
#include "vantik/vantik.h"

namespace vantik::halftone_a {

ResourceRegistry* RegistryCreate() {
  ResourceRegistry* r = nullptr;
  if (MemAllocLocked(sizeof(ResourceRegistry), 1, &r) != RC_OK) return nullptr;
  r->count = 0;
  r->cursor = 0;
  r->selfBlock = r;
  return r;
}

void RegistryRelease(ResourceRegistry* registry) {
  if (registry == nullptr) return;
  void* block = registry->selfBlock;
  MemUnlock(block);
  MemFree(block);
}

uint32_t RegistryRegister(ResourceRegistry& r, int32_t number, uint32_t argument,
                          void* context, ResourceHandler handler) {
  if (r.count < 0 || r.count >= kRegistryEntries) return RC_FAILURE;
  r.entries[r.count] = RegistryEntry{number, argument, context, handler};
  ++r.count;
  return RC_OK;
}

int32_t RegistryFirst(ResourceRegistry& r) {
  r.cursor = 0;
  return r.count > 0 ? r.entries[0].number : -1;
}

int32_t RegistryNext(ResourceRegistry& r) {
  if (r.cursor < r.count) ++r.cursor;
  return r.cursor < r.count ? r.entries[r.cursor].number : -1;
}

uint32_t RegistryDispatch(ResourceRegistry& r, int32_t number, const void* data,
                          size_t length) {
  for (int32_t i = 0; i < r.count; ++i) {
    const RegistryEntry& e = r.entries[i];
    if (e.number != number) continue;
    if (e.handler == nullptr) return RC_OK;
    return e.handler(e.context, number, data, length, e.argument);
  }
  return RC_FAILURE;
}

}  // namespace vantik::halftone_a
