// Calibration curve slots (colour block 980): records of a key byte and one
// curve slot per channel, each record ended by 0xFE, the block by 0xFF.  A
// record holds at most 20 bytes before its 0xFE.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/format.h"
#include "interface/byte_reader.h"

namespace vantik::formats {

constexpr int kCurveSlotsMaxRecordBytes = 20;
constexpr int kCurveSlotsMaxChannels = 20;
constexpr uint8_t kCurveSlotsRecordEnd = 0xFE;
constexpr uint8_t kCurveSlotsBlockEnd = 0xFF;

// Each channel's curve slot; channels without a record keep their own slot.
struct CurveSlots {
  uint8_t slot[kCurveSlotsMaxChannels];
};

// The slots of the record for `key`, the last such record winning, for
// `channels` channels (at most 20).  Refused for a block without its 0xFF
// end, a record over 20 bytes, or a matching record too short for every
// channel or naming a slot at or beyond `channels`.
Outcome ParseCurveSlots(ByteReader& block, uint8_t key, int channels, CurveSlots& out);

struct CurveSlotRecord {
  uint8_t key;
  std::vector<uint8_t> slots;
};
// Every record up to the 0xFF end (empty records are skipped).  Refused as
// above for a missing end or an overlong record; the records read so far
// stay in *records.
Outcome ListCurveSlots(ByteReader& block, std::vector<CurveSlotRecord>* records);
std::vector<uint8_t> WriteCurveSlots(const std::vector<CurveSlotRecord>& records);

bool FitsCurveSlots(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
