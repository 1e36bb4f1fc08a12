#include "bridge/frame.h"

#include <cstring>
#include <new>

#include "bridge/bridge_state.h"

namespace vantik::bridge {

Frame::Frame(const void* data, uint32_t bytes)
    : reader_(static_cast<const uint8_t*>(data), bytes) {}

uint8_t* Frame::Map(FarPtr16 far, uint32_t need, uint32_t* reachable) {
  if (far == 0) {
    if (reachable != nullptr) *reachable = 0;
    return nullptr;
  }
  uint32_t length = 0;
  uint8_t* flat = mappedCount_ < kMaxMappings ? FixFar(far, &length) : nullptr;
  if (flat == nullptr) {
    bad_ = true;
    return nullptr;
  }
  mapped_[mappedCount_++] = far;
  if (length < need) {
    bad_ = true;
    return nullptr;
  }
  if (reachable != nullptr) *reachable = length;
  return flat;
}

int32_t* Frame::InOut(FarPtr16 far) {
  uint8_t* where = Map(far, 2);
  if (where == nullptr || inOutCount_ == kMaxInOut) return nullptr;
  InOutSlot& slot = inOut_[inOutCount_++];
  slot.where = where;
  slot.value = static_cast<int16_t>(where[0] | (where[1] << 8));
  return &slot.value;
}

TaggedValueList* Frame::List(FarPtr16 far) {
  uint32_t reachable = 0;
  const uint8_t* raw = Map(far, 4, &reachable);
  if (raw == nullptr) return nullptr;
  ByteReader list(raw, reachable);
  const int32_t count = static_cast<int32_t>(list.U32LE());
  std::unique_ptr<WidenedList> widened(new (std::nothrow) WidenedList);
  if (widened == nullptr) {
    noMemory_ = bad_ = true;
    return nullptr;
  }
  widened->list.count = count;
  widened->list.pairs = widened->pairs;
  if (count > 0) {
    // A list longer than the bridge can widen, or one running past the
    // caller's memory, is refused like an unmapped address.
    if (count > kMaxPairs || !list.HasMore(uint64_t{8} * count)) {
      bad_ = true;
      return nullptr;
    }
    // The library reads the first pair of a key only.
    bool seenGamma = false, seenCurves = false, seenCalibration = false;
    for (int32_t i = 0; i < count; ++i) {
      TaggedValuePair& pair = widened->pairs[i];
      pair.key = static_cast<int32_t>(list.U32LE());
      const FarPtr16 valueFar = list.U32LE();
      uint8_t* copy = nullptr;
      uint32_t need = 1;
      uint32_t most = 0;
      if (pair.key == 1 && !seenGamma) {
        seenGamma = true;
        copy = widened->gamma;
        need = most = WidenedList::kGammaBytes;
      } else if (pair.key == 256 && !seenCurves) {
        seenCurves = true;
        copy = widened->curves;
        need = most = WidenedList::kCurveBytes;
      } else if (pair.key == 512 && !seenCalibration) {
        seenCalibration = true;
        copy = widened->calibration;
        most = WidenedList::kCalibrationCopy;
      }
      uint32_t valueReach = 0;
      uint8_t* value = Map(valueFar, need, &valueReach);
      if (value == nullptr || copy == nullptr) {
        pair.value = value;
        continue;
      }
      std::memcpy(copy, value, valueReach < most ? valueReach : most);
      pair.value = copy;
    }
    if (bad_) return nullptr;
  }
  widened_ = std::move(widened);
  return &widened_->list;
}

uint32_t Frame::BadCode() const { return noMemory_ ? RC_NO_MEMORY : RC_BAD_HANDLE; }

void Frame::Finish() {
  if (finished_) return;
  finished_ = true;
  for (int i = 0; i < inOutCount_; ++i) {
    const uint32_t low = static_cast<uint32_t>(inOut_[i].value) & 0xFFFFu;
    inOut_[i].where[0] = static_cast<uint8_t>(low);
    inOut_[i].where[1] = static_cast<uint8_t>(low >> 8);
  }
  for (int i = 0; i < mappedCount_; ++i) ReleaseFar(mapped_[i]);
  mappedCount_ = 0;
}

}  // namespace vantik::bridge
