// Decoding of resource blocks for people: what `vantik resources show`
// prints.  Every read is bounds-checked against the block.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/curve_rows.h"
#include "formats/curve_slots.h"
#include "formats/id_list.h"
#include "formats/index_text.h"
#include "formats/matrix16.h"
#include "formats/matrix8.h"
#include "formats/node_positions.h"
#include "formats/reference_levels.h"
#include "formats/screen_text.h"
#include "formats/table_block.h"
#include "interface/byte_reader.h"
#include "vantik/resource_describe.h"

namespace vantik::resources {
namespace {

std::string Format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

// ---- text blocks -------------------------------------------------------

std::string DescribeIndex(std::span<const uint8_t> bytes) {
  std::vector<formats::IndexEntry> entries(formats::kIndexMaxEntries);
  formats::IndexView index;
  ByteReader reader(bytes.data(), bytes.size());
  const formats::Outcome parsed = formats::ParseIndex(reader, entries.data(), index);
  if (!parsed.ok()) return Format("colour-table index, refused: %s\n", parsed.reason);
  formats::ResolveIndexNames(index);
  std::string out = Format("colour-table index: %d entries\n", index.count);
  auto names = [&](const formats::IndexNameList& list, int base) {
    for (int k = 0; k < list.count; ++k) out += Format(" %d=%s", base + k, list.names[k]);
  };
  out += "  kinds:";
  names(index.kinds, 0);
  out += "\n  papers (ColorAdjustRecord field 8):";
  names(index.list2, index.list2Base);
  out += "\n  modes:";
  names(index.modes, 0);
  out += "\n  table  halftone  kind          paper     resolution  mode       selector\n";
  for (int i = 0; i < index.count; ++i) {
    const formats::IndexEntry& e = entries[static_cast<size_t>(i)];
    const std::string halftone = e.halftoneNumber == 0 ? "none" : std::to_string(e.halftoneNumber);
    out += Format("  %5d  %8s  %-9s(%2d)  %-5s(%2d)  %4d x %-4d  %-6s(%d)  %d\n", e.tableNumber,
                  halftone.c_str(), e.kindName, e.kindIndex, e.list2Name, e.list2Number,
                  e.xResolution, e.yResolution, e.modeName, e.modeIndex, e.selector);
  }
  return out;
}

std::string DescribeScreenTable(std::span<const uint8_t> bytes) {
  std::vector<formats::ScreenLine> lines;
  bool sawEnd = false;
  const formats::Outcome parsed = formats::ListScreenLines(bytes.data(), bytes.size(), &lines, &sawEnd);
  std::string out = "engine A screen table\n  selector  method  matrix1  matrix2  matrix3  phase\n";
  for (const formats::ScreenLine& l : lines)
    out += Format("  %8d  %6d  %7d  %7d  %7d  %5d\n", l.selector, l.method, l.matrix1, l.matrix2,
                  l.matrix3, l.matrix2Phase);
  if (!parsed.ok()) return out + Format("  stops: %s\n", parsed.reason);
  if (!sawEnd) out += "  (no END line: a selector missing from the table is not detected)\n";
  return out;
}

// ---- binary blocks ----------------------------------------------------

std::string DescribeTable(std::span<const uint8_t> b) {
  formats::TableHeader h;
  if (!formats::ReadTableHeader(b, h))
    return Format("colour table: %zu bytes, shorter than its 76-byte header\n", b.size());
  std::string tag;
  for (const char* c = h.tag; *c != '\0'; ++c) tag.push_back(*c >= 0x20 && *c < 0x7F ? *c : '.');
  std::string out = Format("colour table \"%s\"\n", tag.c_str());
  out += Format("  class %d, type %d, grid %d x %d x %d, %d byte(s) per node\n", h.tableClass, h.tableType,
                h.nodes[0], h.nodes[1], h.nodes[2], h.bytesPerNode);
  out += Format("  primary gains %d %d %d, hue shifts %d %d %d, saturation boost %d, secondary gains %d %d %d\n",
                h.primaryGain[0], h.primaryGain[1], h.primaryGain[2], h.hueShift[0], h.hueShift[1],
                h.hueShift[2], h.saturationBoost, h.secondaryGain[0], h.secondaryGain[1], h.secondaryGain[2]);
  out += Format("  weights: light %d, full %d, extra %d %d %d\n", h.weights[0], h.weights[1], h.weights[2],
                h.weights[3], h.weights[4]);
  out += Format("  parameters: A %d, %d, B %d, %d\n", h.params[0], h.params[1], h.params[2], h.params[3]);
  formats::TableBlockView v;
  ByteReader reader(b.data(), b.size());
  const formats::Outcome parsed = formats::ParseTableBlock(reader, v);
  if (!parsed.ok()) return out + Format("  refused: %s\n", parsed.reason);
  out += "  node positions:";
  for (int i = 0; i < v.n; ++i) out += Format(" %d", v.positions[i]);
  out += "\n  neutral axis (input gray -> ink bytes | black-only gray level):\n";
  for (int j = 0; j < v.n; ++j) {
    const uint8_t* node = v.table + formats::TableNode(v.n, v.w, j, j, j);
    out += Format("    %3d ->", v.positions[j]);
    for (int ch = 0; ch < v.w; ++ch) out += Format(" %3d", node[ch]);
    out += v.gray != nullptr ? Format("  | %3d\n", v.gray[j]) : std::string("  | -\n");
  }
  if (v.gray == nullptr || v.diagonal == nullptr)
    out += "  the block ends before its gray levels or neutral axis\n";
  return out;
}

std::string DescribeIdList(std::span<const uint8_t> b) {
  formats::IdList list;
  ByteReader reader(b.data(), b.size());
  const formats::Outcome parsed = formats::ParseIdList(reader, list);
  if (!parsed.ok()) return Format("engine B id list, refused: %s\n", parsed.reason);
  std::string out = "engine B id list:";
  for (int i = 0; i < list.count; ++i) out += Format(" %d", list.ids[i]);
  out += " (end)\n";
  out += "  step 2 takes the first id; step 3 the second, or the third when x = 2 y\n";
  return out;
}

std::string DescribeNodes(std::span<const uint8_t> b) {
  formats::NodePositions nodes;
  ByteReader reader(b.data(), b.size());
  const formats::Outcome parsed = formats::ParseNodePositions(reader, nodes);
  if (!parsed.ok()) return Format("colour nodes, refused: %s\n", parsed.reason);
  std::string out = Format("colour nodes: %d positions:", formats::kNodePositionCount);
  for (uint8_t p : nodes.positions) out += Format(" %d", p);
  return out + "\n";
}

std::string StatsText(const MatrixStats& s) {
  return Format("  %d x %d cells, values %d .. %d, %d distinct%s\n"
                "  50%% pattern: %.4f of its power below 1/8 cycle per dot (white noise: about 0.049)\n",
                s.width, s.height, s.minValue, s.maxValue, s.distinct,
                s.permutation ? ", a permutation of the ranks 0 .. cells - 1" : "", s.lowFrequencyShare);
}

std::string DescribeMatrix16(std::span<const uint8_t> b) {
  formats::Matrix16View m;
  ByteReader reader(b.data(), b.size());
  const formats::Outcome parsed = formats::ParseMatrix16(reader, m);
  if (!parsed.ok()) return Format("engine B threshold matrix, refused: %s\n", parsed.reason);
  std::string out = Format("engine B threshold matrix, %u bytes per cell\n", m.bytesPerCell);
  std::vector<int> v(m.cells);
  for (uint32_t i = 0; i < m.cells; ++i) v[i] = m.Cell(i);
  const int w = static_cast<int>(m.width), h = static_cast<int>(m.height);
  out += StatsText(AnalyseMatrix(v, w, h));
  if ((w & (w - 1)) != 0) out += "  width is not a power of two: the engine's column mask would skip cells\n";
  return out;
}

std::string DescribeMatrix8(std::span<const uint8_t> b) {
  formats::Matrix8View m;
  const formats::Outcome parsed = formats::ParseMatrix8(b.data(), b.size(), m);
  if (!parsed.ok()) return Format("engine A threshold matrix, refused: %s\n", parsed.reason);
  std::vector<int> v(m.cells, m.cells + static_cast<size_t>(m.width) * m.height);
  return "engine A threshold matrix (a level v prints where threshold <= v)\n" +
         StatsText(AnalyseMatrix(v, m.width, m.height));
}

std::string DescribeCalibration(int number, std::span<const uint8_t> b) {
  ByteReader reader(b.data(), b.size());
  const formats::Kind kind = formats::FitsCurveRows(number, b)        ? formats::Kind::kCurveRows
                             : formats::FitsReferenceLevels(number, b) ? formats::Kind::kReferenceLevels
                                                                        : formats::Kind::kCurveSlots;
  switch (kind) {
    case formats::Kind::kCurveRows: {
      formats::CurveRowsView rows;
      formats::ParseCurveRows(reader, rows);
      std::string out = "calibration curve block: 21 rows (row 10 is chosen when the levels match)\n"
                        "  row:  in 32  64  96 128 160 192 224\n";
      for (int r = 0; r < formats::kCurveRowCount; ++r) {
        out += Format("  %3d:   ", r);
        for (int x = 32; x < 256; x += 32) out += Format(" %3d", rows.Row(r)[x]);
        out += "\n";
      }
      return out;
    }
    case formats::Kind::kReferenceLevels: {
      std::string out = "calibration reference levels:";
      for (uint8_t v : b) out += Format(" %d", v);
      return out + "\n";
    }
    default: {
      std::vector<formats::CurveSlotRecord> records;
      const formats::Outcome parsed = formats::ListCurveSlots(reader, &records);
      std::string out = "calibration slot records (key: curve slot per channel)\n";
      for (const formats::CurveSlotRecord& r : records) {
        out += Format("  key %d:", r.key);
        for (uint8_t slot : r.slots) out += Format(" %d", slot);
        out += "\n";
      }
      if (!parsed.ok()) out += Format("  refused: %s\n", parsed.reason);
      return out;
    }
  }
}

}  // namespace

MatrixStats AnalyseMatrix(std::span<const int> cells, int width, int height) {
  MatrixStats s;
  s.width = width;
  s.height = height;
  const size_t n = static_cast<size_t>(width) * height;
  if (width <= 0 || height <= 0 || cells.size() < n) return s;
  std::vector<int> sorted(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(n));
  std::sort(sorted.begin(), sorted.end());
  s.minValue = sorted.front();
  s.maxValue = sorted.back();
  s.distinct = static_cast<int>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
  s.permutation = s.minValue == 0 && s.maxValue == static_cast<int>(n) - 1 && s.distinct == static_cast<int>(n);
  // The 50 % pattern: the cells below the median value.
  std::vector<int> all(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(n));
  std::nth_element(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n / 2), all.end());
  const int median = all[n / 2];
  // Two-dimensional DFT, rows then columns.
  using C = std::complex<double>;
  std::vector<C> f(n);
  double mean = 0;
  for (size_t i = 0; i < n; ++i) mean += cells[i] < median ? 1.0 : 0.0;
  mean /= static_cast<double>(n);
  for (size_t i = 0; i < n; ++i) f[i] = (cells[i] < median ? 1.0 : 0.0) - mean;
  auto transform = [&](int count, int stride, int lines, int lineStride) {
    std::vector<C> twiddle(count), tmp(count);
    for (int k = 0; k < count; ++k) twiddle[k] = std::polar(1.0, -2.0 * M_PI * k / count);
    for (int line = 0; line < lines; ++line) {
      C* base = f.data() + static_cast<size_t>(line) * lineStride;
      for (int k = 0; k < count; ++k) {
        C sum = 0;
        for (int j = 0; j < count; ++j) sum += base[static_cast<size_t>(j) * stride] * twiddle[(static_cast<size_t>(j) * k) % count];
        tmp[k] = sum;
      }
      for (int k = 0; k < count; ++k) base[static_cast<size_t>(k) * stride] = tmp[k];
    }
  };
  transform(width, 1, height, width);
  transform(height, width, width, 1);
  double total = 0, low = 0;
  for (int v = 0; v < height; ++v) {
    for (int u = 0; u < width; ++u) {
      if (u == 0 && v == 0) continue;
      const double fx = static_cast<double>(u < width / 2 ? u : u - width) / width;
      const double fy = static_cast<double>(v < height / 2 ? v : v - height) / height;
      const double p = std::norm(f[static_cast<size_t>(v) * width + u]);
      total += p;
      if (fx * fx + fy * fy < 1.0 / 64.0) low += p;
    }
  }
  s.lowFrequencyShare = total > 0 ? low / total : 0.0;
  return s;
}

std::string Describe(const Block& block) {
  // The folder name is "color"; people read the word as the rest of the text spells it.
  const char* service = block.service == Service::kColor ? "colour" : "halftone";
  std::string head = Format("%s block %d: %zu bytes, %.*s\n", service,
                            block.number, block.bytes.size(), static_cast<int>(block.kind.size()),
                            block.kind.data());
  const auto b = block.bytes;
  const std::string_view k = block.kind;
  if (k == "index") return head + DescribeIndex(b);
  if (k == "table") return head + DescribeTable(b);
  if (k == "id-list") return head + DescribeIdList(b);
  if (k == "nodes") return head + DescribeNodes(b);
  if (k == "matrix16") return head + DescribeMatrix16(b);
  if (k == "matrix8") return head + DescribeMatrix8(b);
  if (k == "screen-table") return head + DescribeScreenTable(b);
  if (k == "calibration") return head + DescribeCalibration(block.number, b);
  return head + "  (no decoder for this kind)\n";
}

}  // namespace vantik::resources
