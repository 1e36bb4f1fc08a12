// Colour-table index lookup: the entries of the parsed index matched against
// the instance's selection.
#include "colormatch/cm_index.h"

#include "formats/index_text.h"
#include "interface/memblock.h"

namespace vantik::colormatch {

uint32_t CmIndexLookup(CmInstance& instance, ByteReader& block,
                       int32_t* tableNumber) {
  formats::IndexEntry* entries = nullptr;
  const uint32_t got = MemAllocLocked(formats::kIndexWorkBytes, 1, &entries);
  if (got != RC_OK) return got;
  void* work = entries;

  formats::IndexView index;
  if (!formats::ParseIndex(block, entries, index).ok()) {
    MemUnlock(work);
    MemFree(work);
    return RC_BAD_RESOURCE;
  }
  formats::ResolveIndexNames(index);

  // Every entry is walked: the last match gives the result.  A halftone
  // number of 0 in the text stands for none and is kept as -1.
  int32_t result = 0;
  for (int i = 0; i < index.count; ++i) {
    const formats::IndexEntry& e = entries[i];
    if (e.kindIndex == instance.params.kind &&
        e.modeIndex == static_cast<int32_t>(instance.tableMode) &&
        e.list2Number == instance.adjust.field[kAdjustPaper] &&
        e.selector == instance.adjust.field[kAdjustTableSelector] &&
        e.xResolution == instance.params.xResolution &&
        e.yResolution == instance.params.yResolution) {
      result = e.tableNumber;
      instance.tableNumber = e.tableNumber;
      instance.halftoneNumber = e.halftoneNumber == 0 ? -1 : e.halftoneNumber;
    }
  }

  MemUnlock(work);
  MemFree(work);
  *tableNumber = result;
  return RC_OK;
}

}  // namespace vantik::colormatch
