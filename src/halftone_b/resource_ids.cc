// Step 1: the resource-id list and the error lines.
#include "formats/id_list.h"
#include "halftone_b/resources.h"

namespace vantik::halftone_b {

namespace {
constexpr int32_t kListEnd = formats::kIdListEnd;
}  // namespace

uint32_t ErrorLineCount(const HalftoneParams& params) {
  const int32_t kind = params.kind;
  if (kind == kKindUnset || kind == kKindEngineA || kind == kKindFourInk) {
    const bool diffusing = params.variant == 0 || params.variant == 2;
    return diffusing && params.lutMode != kLutGray ? 1 : 0;
  }
  return params.lutMode != kLutGray ? 4 : 1;
}

uint64_t ErrorLineBytes(uint32_t lineWidth) {
  return (2 * static_cast<uint64_t>(lineWidth) + 120 + 3) & ~uint64_t{3};
}

int32_t NextResourceId(const HalftoneInstanceB& instance) {
  const HalftoneParams& p = instance.params;
  const int wanted = IsDoubleOf(p.xResolution, p.yResolution) ? 2 : 1;
  // The list ends at its first -1: entries after it are not ids.
  for (int i = 0; i <= wanted; ++i) {
    if (instance.resourceIds[i] == kListEnd) return kListEnd;
  }
  return instance.resourceIds[wanted];
}

uint32_t LoadIdList(HalftoneInstanceB& instance, ByteReader& block,
                    int32_t* outNextId) {
  const uint32_t lines = ErrorLineCount(instance.params);
  instance.lineBufferCount = lines;

  formats::IdList list;
  const formats::Outcome parsed = formats::ParseIdList(block, list);
  if (!parsed.ok()) return parsed.code;
  for (int i = 0; i <= list.count; ++i) instance.resourceIds[i] = list.ids[i];
  *outNextId = instance.resourceIds[0];

  if (lines > 0) {
    const uint64_t lineBytes = ErrorLineBytes(instance.params.lineWidth);
    if (lineBytes * lines > UINT32_MAX) {
      ReleaseSlots(instance);
      return RC_NO_MEMORY;
    }
    const auto size = static_cast<uint32_t>(lineBytes);
    if (65535 / lines >= size) {
      // Short lines share one block.
      const uint32_t code = AllocSlot(instance, kSlotErrorLine0, lines * size, true);
      if (code != RC_OK) {
        ReleaseSlots(instance);
        return code;
      }
      instance.slots[kSlotErrorLine0].size = size;
      auto* base = static_cast<uint8_t*>(instance.slots[kSlotErrorLine0].data);
      for (uint32_t i = 1; i < lines; ++i) {
        ShareSlot(instance, kSlotErrorLine0 + static_cast<int>(i), base + i * size, size);
      }
    } else {
      for (uint32_t i = 0; i < lines; ++i) {
        const uint32_t code =
            AllocSlot(instance, kSlotErrorLine0 + static_cast<int>(i), size, true);
        if (code != RC_OK) {
          ReleaseSlots(instance);
          return code;
        }
      }
    }
  }
  for (int slot = kSlotErrorLine0 + static_cast<int>(lines); slot <= kSlotErrorLine0 + 3; ++slot) {
    instance.slots[slot] = MemorySlot{};
  }
  return RC_OK;
}

}  // namespace vantik::halftone_b
