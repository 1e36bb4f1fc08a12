// Colour table block:
//
//   0..75    header: tag at 0..14, class at 15, type at 24, primary gains
//            at 32..34, hue shifts at 36..38, saturation boost at 39,
//            secondary gains at 42..44, five weights at 48..57, four
//            parameters at 64..71 (16-bit values big-endian), node counts
//            at 72..74, bytes per node W at 75
//   76       node positions of the three axes, N bytes each
//   76+3N    the table, N x N x N nodes of W bytes, first axis slowest
//   +L       N gray levels, one per diagonal node
//   +L+N     N explicit diagonal nodes of W bytes
//
// A block must have equal node counts, at most 32 nodes, 1 <= W,
// N x W <= 192, positions rising strictly from 0 to 255 on every axis, and
// its whole table.  The two trailing parts are read only by the rules that
// need them, so a block may end before them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/format.h"
#include "interface/byte_reader.h"

namespace vantik::formats {

constexpr size_t kTableHeaderBytes = 76;
constexpr int kTableMaxNodes = 32;
constexpr int kTableMaxRowBytes = 192;  // N x W

// The header's fields as stored.
struct TableHeader {
  char tag[16];  // bytes 0..14, NUL-terminated here
  uint8_t tableClass;
  uint8_t tableType;
  uint8_t primaryGain[3];
  int8_t hueShift[3];
  int8_t saturationBoost;
  int8_t secondaryGain[3];
  int16_t weights[5];  // light, full, three more
  int16_t params[4];
  uint8_t nodes[3];
  uint8_t bytesPerNode;
};

// Reads the header alone; false for a block shorter than it.
bool ReadTableHeader(std::span<const uint8_t> block, TableHeader& out);

struct TableBlockView {
  TableHeader header;
  int32_t n;  // nodes per axis
  int32_t w;  // bytes per node
  size_t tableBytes;
  const uint8_t* positions;  // 3N bytes
  const uint8_t* table;      // tableBytes
  const uint8_t* gray;       // N bytes, null when the block ends before them
  const uint8_t* diagonal;   // N x W bytes, null when the block ends before them
};

Outcome ParseTableBlock(ByteReader& block, TableBlockView& out);

// A table block to write.  The sections are written as given, one after
// another; the node counts and W come from n and w.
struct TableContent {
  std::string tag;  // at most 15 bytes are written
  uint8_t tableClass = 0;
  uint8_t tableType = 1;
  uint8_t primaryGain[3] = {0, 0, 0};
  int8_t hueShift[3] = {0, 0, 0};
  int8_t saturationBoost = 0;
  int8_t secondaryGain[3] = {0, 0, 0};
  int16_t weights[5] = {0, 0, 0, 0, 0};
  int16_t params[4] = {0, 0, 0, 0};
  int n = 0;
  int w = 0;
  std::vector<uint8_t> positions;  // 3N
  std::vector<uint8_t> table;      // N x N x N x W
  std::vector<uint8_t> gray;       // N
  std::vector<uint8_t> diagonal;   // N x W
};
std::vector<uint8_t> WriteTableBlock(const TableContent& table);

// Offset of node (a, b, c) in the table of a block with n nodes per axis and
// w bytes per node; the diagonal node j is at TableNode(n, w, j, j, j).
constexpr size_t TableNode(int n, int w, int a, int b, int c) {
  return ((static_cast<size_t>(a) * n + b) * n + c) * w;
}

bool FitsTableBlock(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
