// Engine B resource steps and the tables they derive.  instance_b.cc runs
// the steps in order; each step lives in its own file:
//   resource_ids.cc  step 1: id list and error lines
//   resample.cc      step 2: tone table or re-sampled colour table
//   matrix_tables.cc step 3: threshold matrix and the tables built from it
#pragma once

#include <cstdint>

#include "halftone_b/instance_b.h"
#include "interface/byte_reader.h"

namespace vantik::halftone_b {

// ---- Slots ------------------------------------------------------------------

// Allocates `size` bytes into `slot` (which then owns the block).
// Returns 0, RC_NO_MEMORY or RC_LOCK_FAILED; on failure the slot keeps the
// block (if any) so that ReleaseSlots frees it.
uint32_t AllocSlot(HalftoneInstanceB& instance, int slot, uint32_t size,
                   bool zeroFill);
// Points `slot` into memory owned by another slot.
void ShareSlot(HalftoneInstanceB& instance, int slot, void* data,
               uint32_t size);
// Unlocks, then frees every owned block; empties all twenty slots.
// Returns RC_UNLOCK_FAILED at the first failed unlock (nothing freed then),
// else RC_FREE_FAILED when any free failed, else 0.
uint32_t ReleaseSlots(HalftoneInstanceB& instance);

// ---- Step 1 -----------------------------------------------------------------

// Number of error lines the instance's parameters call for (0, 1 or 4).
uint32_t ErrorLineCount(const HalftoneParams& params);
// Bytes of one error line: 2 x lineWidth + 120 rounded up to 4.
uint64_t ErrorLineBytes(uint32_t lineWidth);
uint32_t LoadIdList(HalftoneInstanceB& instance, ByteReader& block,
                    int32_t* outNextId);

// Id wanted by steps 2 and later: entry 2 of the list when xResolution is
// twice yResolution, else entry 1; -1 when the list ends before that entry.
int32_t NextResourceId(const HalftoneInstanceB& instance);

// ---- Step 2 -----------------------------------------------------------------

// A grid the re-sampling and the node table can walk: equal counts in
// 2..32 and, on every axis, positions rising strictly from 0 to 255.
bool GridIsValid(const CmLut& lut);
// Positions rising strictly from 0 (first) to 255 (last), count in 2..32.
bool PositionsAreValid(const uint8_t* positions, int32_t count);

// For v = 0..255: the interval t with P[t] <= v < P[t+1] (255 falls into
// the last one) and the fraction ((v - P[t]) x 128 + D / 2) / D.
struct IntervalTable {
  uint8_t interval[256];
  uint8_t fraction[256];
};
void BuildIntervalTable(const uint8_t* positions, int32_t count,
                        IntervalTable& out);
// Re-samples old's table (old.channels bytes per node, grid of `old`) at
// the node positions `positions` (count per axis, same on all axes) into
// `out` (count^3 x channels bytes), by tetrahedral interpolation in 1/128.
void ResampleTable(const CmLut& old, const uint8_t* positions, int32_t count,
                   uint8_t* out);
uint32_t LoadColourTable(HalftoneInstanceB& instance, ByteReader& block,
                         int32_t* outNextId);

// ---- Step 3 -----------------------------------------------------------------

// Spread limits for the resolution pair, kind and weightLight.  Returns 0,
// RC_BAD_PARAMETER when no resolution row matches, RC_BAD_RESOURCE for a
// weightLight other than 250, 350 or 500.
uint32_t SpreadLimits(const HalftoneParams& params, int32_t weightLight,
                      int32_t out[4]);
// Dot weights per level; false when an entry is 0 or negative (the level
// table divides by them).
bool BuildDotWeightTable(int32_t weightLight, int32_t weightFull,
                         int16_t out[256]);
void BuildLevelTable(uint32_t matrixCells, const int16_t dotWeight[256],
                     int16_t out[256]);
void BuildErrorThresholdTable(const int16_t dotWeight[256], int16_t out[256]);
// 256 pairs (node index, weight of that lower node) from valid positions.
void BuildNodeTable(const uint8_t* positions, int32_t count, uint8_t out[512]);
uint32_t LoadThresholdMatrix(HalftoneInstanceB& instance, ByteReader& block,
                             int32_t* outNextId);

}  // namespace vantik::halftone_b
