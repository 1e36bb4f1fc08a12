// Engine B instance record.  It begins with the HalftoneParams copy so that
// the entry points can route by its first field (kind).
#pragma once

#include <cstdint>

#include "interface/params.h"
#include "vantik/vantik.h"

namespace vantik::halftone_b {

struct MemorySlot {
  uint32_t size;   // bytes
  void* data;      // start of the slot's memory
  void* block;     // block the slot owns; null when it points into another slot
};

enum SlotIndex : int {
  kSlotToneTable = 0,        // lutMode 0: 256 x int16 level per input byte
  kSlotSampledLut = 0,       // lutMode non-zero: re-sampled colour table
  kSlotErrorLine0 = 1,       // slots 1..4: int16 error lines, dot x at 30 + x
  kSlotThresholdMatrix = 5,  // matrixCells x int16, row-major
  kSlotLevelTable = 6,       // 256 x int16, last 512 bytes of slot 5's block
  kSlotDotWeightTable = 7,   // 256 x int16
  kSlotErrorThresholdTable = 8,  // 256 x int16, inside slot 7's block
  kSlotNodeTable = 9,        // 256 x (node index, weight) bytes, inside slot 7
  kSlotDitherBounds = 10,    // ordered dither of one ink: level bounds per
                             // matrix cell (kernels/matrix_dither.h); empty
                             // when the level table does not allow them
  kSlotEightColourDots = 11, // eight-colour dither: the inks of each colour
                             // per matrix cell (kernels/eight_color_dither.h)
  kSlotCount = 20
};

// Error-line entry of dot x sits at index kErrorLineOffset + x.
constexpr int kErrorLineOffset = 30;

struct HalftoneInstanceB;

// A line kernel: the eleven arguments of a HalftoneThk call
// (halftone_b/kernels/kernels.h).
using HalftoneKernel = uint32_t (*)(HalftoneInstanceB* instance,
                                    const uint8_t* src, uint8_t* dst,
                                    int32_t planeStride, int32_t firstBit,
                                    uint32_t count, uint32_t x0, uint32_t arg8,
                                    uint32_t y, int32_t flags, void* extra);

struct HalftoneInstanceB {
  HalftoneParams params;       // copy of the caller's block
  int16_t resourceIds[16];     // ids the caller must feed, ended by -1
  CmLut lutRecord;             // copy of the caller's CmLut
  MemorySlot slots[kSlotCount];
  uint32_t lineBufferCount;    // error lines made in step 1 (0, 1 or 4)
  uint32_t lastLine;           // line of the latest HalftoneThk call
  uint32_t lastEnd;            // x0 + count of the previous call
  int32_t resourceStep;        // SetResource calls so far
  void* selfBlock;             // block that holds this record
  uint32_t matrixWidth;        // threshold matrix columns (power of two)
  uint32_t matrixHeight;       // rows
  uint32_t matrixCells;        // width x height
  int32_t dotParam0;           // spread limits, in falling order
  int32_t dotParam1;
  int32_t dotParam2;
  int32_t dotParam3;
  int32_t stepsLoaded;         // resource steps 1..3 that succeeded, in order
  int32_t loadFailed;          // New or a resource step failed: only Delete
                               // is accepted from then on
  HalftoneKernel kernel;       // the parameters' kernel, chosen once step 3
                               // has succeeded
};

// a = 2 x b, the doubling done on the 32-bit field with wrap-around (the
// resolution ratio tests of the resource steps and the kernel choice).
inline bool IsDoubleOf(int32_t a, int32_t b) {
  return static_cast<uint32_t>(a) == 2u * static_cast<uint32_t>(b);
}

// True once the three resource steps have all succeeded: runs may start.
inline bool EngineBReady(const HalftoneInstanceB& instance) {
  return instance.loadFailed == 0 && instance.stepsLoaded >= 3;
}

}  // namespace vantik::halftone_b
