// Per-axis lookup tables of the translation.  For every input level of an
// axis they hold the node interval the level falls in and its offset inside
// that interval, so that a pixel costs no search and no division.  They are
// built from the CmLut's grid when the table is loaded and rebuilt whenever
// the grid they were built from no longer matches (a halftone engine may
// resample the grid and replace the table).
#pragma once

#include <cstdint>

namespace vantik {

struct CmAxisEntry {
  uint32_t offset;  // byte offset of the interval's lower node along the axis
  uint16_t frac;    // level minus the lower node's position
  uint16_t width;   // upper minus lower node position (1..255)
  uint32_t recip;   // ceil(2^24 / width): exact division of x < 2^16 by width
};

struct CmAxisTables {
  // The grid the tables describe; valid is false until the first build.
  bool valid;
  int32_t countA, countB, countC, channels;
  uint8_t gridA[32], gridB[32], gridC[32];
  // Byte distance between neighbouring nodes along each axis.
  uint32_t strideA, strideB, strideC;
  CmAxisEntry a[256], b[256], c[256];
};

}  // namespace vantik
