// Lookup in the caller's TaggedValueList: the value of the first pair whose
// key matches, or null when there is none (null list, null pairs, or a count
// of 0 or below).
#pragma once

#include <cstdint>

#include "vantik/vantik.h"

namespace vantik {

inline void* Lookup(int32_t key, const TaggedValueList* list) {
  if (list == nullptr || list->count <= 0 || list->pairs == nullptr) {
    return nullptr;
  }
  for (int32_t i = 0; i < list->count; ++i) {
    if (list->pairs[i].key == key) return list->pairs[i].value;
  }
  return nullptr;
}

}  // namespace vantik
