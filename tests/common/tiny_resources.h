// A small, complete resource set for API tests: a colour-table index, one
// two-node colour table (C = 255 - R, M = 255 - G, Y = 255 - B, black only
// at the black corner), calibration blocks, and engine B's id list, colour
// nodes and a 4 x 4 threshold matrix.  Numbers:
//   colour 0 index, 120 table (kind 1 and 3, 720 x 720, mode 4, PLAIN or
//   PHOTO, selector 0), 980/990/900 calibration, 910 curve block;
//   halftone 200 id list -> 201 nodes -> 202 matrix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/table_block.h"
#include "vantik/vantik.hpp"

namespace vantik::testing {

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

inline std::string TinyIndexText(int xres = 720, int yres = 720) {
  std::string x = std::to_string(xres), y = std::to_string(yres);
  return "/ colour-table index\r\n"
         "table halftone kind paper x y mode selector\r\n"
         "120 200 K1 PLAIN " + x + " " + y + " M4 0\r\n"
         "120 200 K3 PLAIN " + x + " " + y + " M4 0\r\n"
         "120 200 K1 PHOTO " + x + " " + y + " M4 0\r\n"
         "/ end\r\n"
         "K0 K1 K2 K3\r\n"
         "8 PLAIN PHOTO\r\n"
         "M0 M1 M2 M3 M4\r\n";
}

// Two nodes per axis, four channels, table type 0, weights 250 / 100.
inline std::vector<uint8_t> TinyTable() {
  formats::TableContent t;
  t.tableType = 0;
  t.weights[0] = 250;
  t.weights[1] = 100;
  t.n = 2;
  t.w = 4;
  t.positions = {0, 255, 0, 255, 0, 255};
  for (int r = 0; r < t.n; ++r)
    for (int g = 0; g < t.n; ++g)
      for (int bl = 0; bl < t.n; ++bl) {
        t.table.push_back(static_cast<uint8_t>(255 - 255 * r));
        t.table.push_back(static_cast<uint8_t>(255 - 255 * g));
        t.table.push_back(static_cast<uint8_t>(255 - 255 * bl));
        t.table.push_back(r == 0 && g == 0 && bl == 0 ? 255 : 0);
      }
  t.gray = {0, 255};
  t.diagonal.assign(static_cast<size_t>(t.n * t.w), 0);
  return formats::WriteTableBlock(t);
}

inline std::vector<uint8_t> Le16(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  }
  return out;
}

inline ResourceSet TinyResources(int xres = 720, int yres = 720) {
  ResourceSet set;
  set.Add(Service::kColor, 0, Bytes(TinyIndexText(xres, yres)));
  set.Add(Service::kColor, 120, TinyTable());
  // Calibration: key 0 maps channel i to slot i; reference levels 50; the
  // second index names curve block 910 for mode 0; row r of the curve block
  // adds (r - 10) * 4 to every value.
  set.Add(Service::kColor, 980, {0, 0, 1, 2, 3, 0xFE, 0xFF});
  set.Add(Service::kColor, 990, {50, 50, 50, 50});
  std::string index900 = TinyIndexText(xres, yres);
  index900.replace(index900.find("120 200 K1 PLAIN"), 16, "910 200 K1 PLAIN");
  index900.replace(index900.find("M4 0\r\n120 200 K3"), 2, "M0");
  set.Add(Service::kColor, 900, Bytes(index900));
  std::vector<uint8_t> curves;
  for (int row = 0; row < 21; ++row)
    for (int v = 0; v < 256; ++v) curves.push_back(static_cast<uint8_t>(std::clamp(v + (row - 10) * 4, 0, 255)));
  set.Add(Service::kColor, 910, curves);
  // Engine B: ids (nodes, matrix, matrix for tall dots), 32 node positions,
  // a 4 x 4 matrix of ranks 0..15 spread over 0..matrixCells.
  set.Add(Service::kHalftone, 200, Le16({201, 202, 202, -1}));
  std::vector<uint8_t> nodes = Le16({32});
  for (int i = 0; i < 32; ++i) nodes.push_back(static_cast<uint8_t>(i * 255 / 31));
  set.Add(Service::kHalftone, 201, nodes);
  std::vector<uint8_t> matrix = {4, 4, 2, 0};
  const int ranks[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
  for (int r : ranks) {
    auto cell = Le16({r});
    matrix.insert(matrix.end(), cell.begin(), cell.end());
  }
  set.Add(Service::kHalftone, 202, matrix);
  return set;
}

}  // namespace vantik::testing
