// Small hand-made colour-matching resources for tests: an index text, a table
// block, and the calibration record and blocks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "formats/table_block.h"
#include "vantik/vantik.h"
#include "interface/params.h"

namespace cmfix {

// ---- Colour-table index ------------------------------------------------------

struct IndexLine {
  int table;
  int halftone;
  std::string kind;   // name from list 1
  std::string list2;  // name from list 2
  int x;
  int y;
  std::string mode;   // name from list 3
  int selector;
};

struct IndexText {
  std::vector<IndexLine> lines;
  std::string kinds = "K0 K1 K2 K3";
  std::string list2 = "8 PA PB";
  std::string modes = "M0 M1 M2 M3 M4";
  std::string eol = "\r\n";
};

inline std::string Str(const IndexLine& l) {
  return std::to_string(l.table) + " " + std::to_string(l.halftone) + "\t" +
         l.kind + " " + l.list2 + " " + std::to_string(l.x) + " " +
         std::to_string(l.y) + " " + l.mode + " " + std::to_string(l.selector);
}

// The header's '/' is not the last byte of its line, so every line-end style
// reads the same.
inline std::string MakeIndex(const IndexText& t) {
  std::string s = "/* colour table index" + t.eol;
  s += "table halftone kind list2 x y mode selector" + t.eol;
  for (const IndexLine& l : t.lines) s += Str(l) + t.eol;
  s += "/end" + t.eol;
  s += t.kinds + t.eol + t.list2 + t.eol + t.modes + t.eol;
  return s;
}

// One line that matches DefaultAdjust() / DefaultParams() (kind 3, table
// mode 4, list-2 number 9, selector 1, 720 x 720).
inline IndexLine MatchingLine(int table, int halftone) {
  return {table, halftone, "K3", "PB", 720, 720, "M4", 1};
}

inline ColorAdjustRecord DefaultAdjust() {
  ColorAdjustRecord a{};
  a.field[7] = 1;   // selector
  a.field[8] = 9;   // list-2 number
  a.field[vantik::kAdjustColorModeB] = 2;  // colour mode B 2: table mode 4
  return a;
}

inline HalftoneParams DefaultParams() {
  HalftoneParams p{};
  p.kind = 3;
  p.renderMode = 3;
  p.xResolution = 720;
  p.yResolution = 720;
  return p;
}

// ---- Table block ---------------------------------------------------------------

struct TableRecipe {
  int n = 3;              // nodes per axis
  int w = 4;              // bytes per node
  uint8_t tableType = 1;
  uint8_t tableClass = 0;
  int16_t weightLight = 100;
  int16_t weightFull = 100;
  std::vector<uint8_t> positions;  // per axis; empty: spread evenly 0..255
  std::vector<uint8_t> table;      // n^3 * w; empty: TableValue()
  std::vector<uint8_t> gray;       // n; empty: evenly 255..0
  std::vector<uint8_t> diagonal;   // n * w; empty: 0x40 + j
};

inline std::vector<uint8_t> EvenPositions(int n) {
  std::vector<uint8_t> p(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) p[static_cast<size_t>(i)] = static_cast<uint8_t>(255 * i / (n - 1));
  return p;
}

// A plausible ink value for node (a, b, c), channel ch of an n-node table.
inline uint8_t TableValue(int n, int w, int a, int b, int c, int ch) {
  const int r = 255 * a / (n - 1), g = 255 * b / (n - 1), bl = 255 * c / (n - 1);
  if (ch == w - 1) return static_cast<uint8_t>(255 - std::max(r, std::max(g, bl)));
  const int src = ch % 3 == 0 ? r : ch % 3 == 1 ? g : bl;
  return static_cast<uint8_t>((255 - src + 7 * ch) & 0xFF);
}

inline std::vector<uint8_t> MakeTableBlock(const TableRecipe& s) {
  const size_t n = static_cast<size_t>(s.n), w = static_cast<size_t>(s.w);
  vantik::formats::TableContent t;
  t.tableClass = s.tableClass;
  t.tableType = s.tableType;
  t.weights[0] = s.weightLight;
  t.weights[1] = s.weightFull;
  t.n = s.n;
  t.w = s.w;
  const std::vector<uint8_t> pos = s.positions.empty() ? EvenPositions(s.n) : s.positions;
  for (int axis = 0; axis < 3; ++axis) t.positions.insert(t.positions.end(), pos.begin(), pos.end());
  t.table = s.table;
  if (t.table.empty()) {
    for (int a = 0; a < s.n; ++a)
      for (int g = 0; g < s.n; ++g)
        for (int c = 0; c < s.n; ++c)
          for (int ch = 0; ch < s.w; ++ch) t.table.push_back(TableValue(s.n, s.w, a, g, c, ch));
  }
  for (size_t j = 0; j < n; ++j) {
    t.gray.push_back(s.gray.empty() ? static_cast<uint8_t>(255 - 255 * j / (n - 1)) : s.gray[j]);
  }
  for (size_t j = 0; j < n * w; ++j) {
    t.diagonal.push_back(s.diagonal.empty() ? static_cast<uint8_t>(0x40 + j / w) : s.diagonal[j]);
  }
  return vantik::formats::WriteTableBlock(t);
}

// ---- Calibration ------------------------------------------------------------------

// "CW:", the key, one level per channel, 0xFE, 0xFF.
inline std::vector<uint8_t> CalibrationRecord(uint8_t key, const std::vector<uint8_t>& levels) {
  std::vector<uint8_t> r = {0x43, 0x57, 0x3A, key};
  r.insert(r.end(), levels.begin(), levels.end());
  r.push_back(0xFE);
  r.push_back(0xFF);
  return r;
}

// Block 980: each record followed by 0xFE, then 0xFF.
inline std::vector<uint8_t> CurveSlotBlock(const std::vector<std::vector<uint8_t>>& records) {
  std::vector<uint8_t> b;
  for (const auto& r : records) {
    b.insert(b.end(), r.begin(), r.end());
    b.push_back(0xFE);
  }
  b.push_back(0xFF);
  return b;
}

// Curve block: 21 rows; row r maps i to CurveValue(r, i).
inline uint8_t CurveValue(int row, int i) { return static_cast<uint8_t>((i + 3 * row + 1) & 0xFF); }

inline std::vector<uint8_t> CurveBlock() {
  std::vector<uint8_t> b(21 * 256);
  for (int r = 0; r < 21; ++r)
    for (int i = 0; i < 256; ++i) b[static_cast<size_t>(r * 256 + i)] = CurveValue(r, i);
  return b;
}

// A tagged list holding one calibration record (key 512).
struct CalibrationList {
  std::vector<uint8_t> record;
  TaggedValuePair pair{512, nullptr};
  TaggedValueList list{1, &pair};
  explicit CalibrationList(std::vector<uint8_t> r) : record(std::move(r)) {
    pair.value = record.data();
  }
  CalibrationList(const CalibrationList&) = delete;
  CalibrationList& operator=(const CalibrationList&) = delete;
};

}  // namespace cmfix
