// The engine A instance record and the constants shared by its parts.
//
// Ownership: the instance owns its own block, the resource registry and every
// scratch buffer (all released by Delete).  The caller's CmLut is borrowed:
// Create replaces its colour table with a 25-node re-sampling, and from then
// on the CmLut owns that new table; the colour-matching instance's Delete
// frees whatever table its CmLut holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "halftone_a/scratch.h"
#include "vantik/vantik.h"

namespace vantik::halftone_a {

struct ResourceRegistry;

// Working buffers, in the order in which RefreshPointers locks them.
enum BufferId : int {
  kMatrix2Buffer,
  kMatrix3Buffer,
  kMatrix1Buffer,
  kLineBuffer,
  kLevelTableBuffer,
  kScreenBuffer,
  kColorTableBuffer,
  kGridBuffer,
  kNodeTableBuffer,
  kBufferCount
};

struct ThresholdMatrix {
  uint8_t* data;  // width x height thresholds, row after row
  uint16_t width;
  uint16_t height;
};

// What the screen table says about the selected screen.
struct ScreenDescriptor {
  int32_t method;         // 1 until the screen table is read
  int16_t matrix1;        // resource numbers; 0 = none
  int16_t matrix2;
  int16_t matrix3;
  int16_t matrix2Phase;   // column phase of matrix 2 (read as unsigned)
};

struct HalftoneAInstance;

// A line converter: one line of ink values into up to four bit planes.
using LineConverter = void (*)(const HalftoneAInstance& inst,
                               const uint8_t* input, uint8_t* dst,
                               ptrdiff_t planeStride, int startBit, uint32_t n,
                               uint32_t x, uint32_t y);

constexpr int kGridSize = 25;
constexpr size_t kColorTableBytes = 32;
constexpr size_t kLevelTableBytes = 768;
constexpr size_t kNodeTableBytes = 512;

struct HalftoneAInstance {
  HalftoneParams params;  // must stay first: its first field routes by kind
  void* selfBlock;
  uint8_t locked;         // all working pointers valid
  int32_t screenSelector;
  int32_t channelOffset[4];
  int32_t bytesPerPixel;
  int32_t columnPhase;    // both 0; added to the caller's x and y
  int32_t rowPhase;
  ThresholdMatrix matrix2;
  ThresholdMatrix matrix3;
  ThresholdMatrix matrix1;
  uint8_t* grid;          // colour grid copy, gridSize^3 x 4 bytes
  uint8_t gridSize;
  uint8_t* colorTable;
  uint8_t* levelTable;
  uint8_t* lineBuffer;
  uint8_t* nodeTable;
  LineConverter converter;  // null until the screen table has been read
  uint8_t usesMatrix1;      // the converter reads matrix 1 too
  uint8_t converterPlanes;  // planes the converter writes (4, or 1)
  uint8_t converterPixelStep;   // its input advances by bytesPerPixel
  uint8_t converterEntryBytes;  // bytes it reads of an entry (0: the offsets)
  uint16_t paramA;
  uint16_t paramB;
  void* blocks[kBufferCount];
  ScratchSlot slots[kScratchSlots];
  int32_t expected;         // next resource wanted, -1 when none
  ResourceRegistry* registry;
  ScreenDescriptor* screen;
  uint8_t failed;           // a resource step failed: only Delete is valid
};

// E(n): entries of a line of n dots for the horizontal scale s.  n when s is
// 0, n / (s + 1) when s is positive (the tail dots are not written), 2n when
// s is negative (each entry gives one dot).
inline uint64_t EntryCount(int32_t s, uint32_t n) {
  if (s == 0) return n;
  if (s > 0) return n / (static_cast<uint64_t>(s) + 1);
  return 2 * static_cast<uint64_t>(n);
}

// Dots per entry: s + 1 for s >= 0, else 1.
inline uint32_t RepeatCount(int32_t s) {
  return s >= 0 ? static_cast<uint32_t>(s) + 1 : 1;
}

}  // namespace vantik::halftone_a

namespace vantik::halftone_a {

// Resource handlers (registry callbacks; context is the instance).
uint32_t ScreenTableHandler(void* context, int32_t number, const void* data,
                            size_t length, uint32_t argument);
uint32_t Matrix1Handler(void* context, int32_t number, const void* data,
                        size_t length, uint32_t argument);
uint32_t Matrix2Handler(void* context, int32_t number, const void* data,
                        size_t length, uint32_t argument);
uint32_t Matrix3Handler(void* context, int32_t number, const void* data,
                        size_t length, uint32_t argument);

// Interpolates the CmLut's colour table at the 25 x 25 x 25 node levels into
// a new zero-filled memory block (25^3 x channels bytes); null when the block
// is not obtained.  The CmLut itself is not changed.
uint8_t* ResampleGrid(const CmLut& lut);

}  // namespace vantik::halftone_a

namespace vantik::halftone_a {

// Create, SetResource and Delete of an engine A instance (the workers behind
// HalftoneNewThk, HalftoneSetResourceThk / ...WithLength and
// HalftoneDeleteThk for kind 2).
uint32_t Create(const HalftoneParams& params, CmLut* lut, int32_t* key,
                HalftoneHandle* out);
uint32_t SetResource(HalftoneHandle instance, const void* block, size_t length,
                     int32_t* key);
uint32_t Delete(HalftoneHandle instance);
// The band call (HalftoneThk): one line into the caller's bit planes.
uint32_t Band(HalftoneHandle instance, const uint8_t* src, uint8_t* dst,
              int32_t planeStride, int32_t startBit, uint32_t n, uint32_t x,
              uint32_t y);

}  // namespace vantik::halftone_a
