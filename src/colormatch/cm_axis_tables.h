// Per-axis lookup tables of the translation.  For every input level of an
// axis they hold the node interval the level falls in and its offset inside
// that interval, so that a pixel costs no search and no division.  They are
// built from the CmLut's grid when the table is loaded and rebuilt whenever
// the grid they were built from no longer matches (a halftone engine may
// resample the grid and replace the table).
#pragma once

#include <cstdint>

namespace vantik::colormatch {

// Exact division of x < 2^16 by 1 <= d <= 255 without a divide:
// (x * ceil(2^24 / d)) >> 24.  The reciprocal's rounding error e < d, so
// x * e < 2^24 and the quotient never moves.
inline uint32_t CmRecip(uint32_t d) {
  return static_cast<uint32_t>(((uint64_t{1} << 24) + d - 1) / d);
}
inline uint32_t CmDivByRecip(uint32_t x, uint32_t recip) {
  return static_cast<uint32_t>((uint64_t{x} * recip) >> 24);
}
// The same quotient in single precision: (x + 0.5) / d lies at least 0.5 / d
// >= 1/510 away from an integer, far beyond the float error (< 2^-15 for
// quotients below 256), so truncating (x + 0.5) * (1 / d) is exact.
inline uint32_t CmDivByInverse(uint32_t x, float inverse) {
  return static_cast<uint32_t>((static_cast<float>(x) + 0.5f) * inverse);
}

struct CmAxisEntry {
  uint32_t offset;  // byte offset of the interval's lower node along the axis
  uint16_t frac;    // level minus the lower node's position
  uint16_t width;   // upper minus lower node position (1..255)
  uint32_t recip;   // CmRecip(width)
  float inverse;    // 1 / width, for CmDivByInverse
};

struct CmAxisTables {
  // The grid the tables describe; valid is false until the first build.
  bool valid;
  int32_t countA, countB, countC, channels;
  uint8_t gridA[32], gridB[32], gridC[32];
  // Byte distance between neighbouring nodes along each axis.
  uint32_t strideA, strideB, strideC;
  // For each of the eight orderings of the three fractions: the offsets of
  // the second and third vertex of its tetrahedron from node 000.
  uint32_t vertex1[8], vertex2[8];
  CmAxisEntry a[256], b[256], c[256];
  // The offsets of the second and third axis rescaled to a first-axis
  // interval width, for every width the first axis has: row k holds
  // (level's offset x width_k / interval width) for the second axis at
  // 0..255 and for the third at 256..511.  scaledRow[v] is the byte index
  // of the row for first-axis level v.
  uint8_t scaled[31][512];
  uint16_t scaledRow[256];
};

}  // namespace vantik::colormatch
