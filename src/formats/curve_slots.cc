#include "formats/curve_slots.h"

namespace vantik::formats {

constexpr int kCurveSlotsNumber = 980;

namespace {

// Walks the records: calls visit(start, length) for each non-empty record,
// where start is the offset of its key and length the bytes before its 0xFE.
// A visit that returns a refusal stops the walk with it.
template <typename Visit>
Outcome WalkRecords(ByteReader& block, Visit visit) {
  size_t pos = 0;
  for (;;) {
    if (!block.Has(pos, 1)) return Outcome::Bad("the block ends without its 0xFF");
    if (block.At(pos) == kCurveSlotsBlockEnd) return {};
    const size_t start = pos;
    int length = 0;
    for (;;) {
      if (!block.Has(pos, 1)) return Outcome::Bad("the block ends inside a record");
      if (block.At(pos) == kCurveSlotsRecordEnd) break;
      if (length == kCurveSlotsMaxRecordBytes) return Outcome::Bad("a record is longer than 20 bytes");
      ++length;
      ++pos;
    }
    ++pos;  // the record's 0xFE
    if (length == 0) continue;
    const Outcome visited = visit(start, length);
    if (!visited.ok()) return visited;
  }
}

}  // namespace

Outcome ParseCurveSlots(ByteReader& block, uint8_t key, int channels, CurveSlots& out) {
  for (int i = 0; i < kCurveSlotsMaxChannels; ++i) out.slot[i] = static_cast<uint8_t>(i);
  return WalkRecords(block, [&](size_t start, int length) -> Outcome {
    if (block.At(start) != key) return {};
    if (length < 1 + channels) return Outcome::Bad("the key's record is short of a slot per channel");
    for (int i = 0; i < channels; ++i) {
      const uint8_t slot = block.At(start + 1 + static_cast<size_t>(i));
      if (slot >= channels) return Outcome::Bad("a slot lies beyond the channels");
      out.slot[i] = slot;
    }
    return {};
  });
}

Outcome ListCurveSlots(ByteReader& block, std::vector<CurveSlotRecord>* records) {
  return WalkRecords(block, [&](size_t start, int length) -> Outcome {
    CurveSlotRecord r{block.At(start), {}};
    for (int i = 1; i < length; ++i) r.slots.push_back(block.At(start + static_cast<size_t>(i)));
    records->push_back(std::move(r));
    return {};
  });
}

std::vector<uint8_t> WriteCurveSlots(const std::vector<CurveSlotRecord>& records) {
  std::vector<uint8_t> out;
  for (const CurveSlotRecord& r : records) {
    out.push_back(r.key);
    out.insert(out.end(), r.slots.begin(), r.slots.end());
    out.push_back(kCurveSlotsRecordEnd);
  }
  out.push_back(kCurveSlotsBlockEnd);
  return out;
}

bool FitsCurveSlots(int number, std::span<const uint8_t>) { return number == kCurveSlotsNumber; }

}  // namespace vantik::formats
