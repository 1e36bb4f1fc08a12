// Decoding of resource blocks for people: what `vantik resources show`
// prints.  Every read is bounds-checked against the block.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "vantik/resource_describe.h"

namespace vantik::resources {
namespace {

std::string Format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

// ---- text blocks -------------------------------------------------------

// Lines of a text block up to its end (NUL, 0x1A or the block's end), split
// into tokens at spaces and tabs.
std::vector<std::vector<std::string>> TextLines(std::span<const uint8_t> bytes, size_t start = 0) {
  std::vector<std::vector<std::string>> lines;
  std::vector<std::string> line;
  std::string token;
  bool lineOpen = false;
  auto endToken = [&] {
    if (!token.empty()) line.push_back(token);
    token.clear();
  };
  for (size_t i = start; i < bytes.size(); ++i) {
    const uint8_t b = bytes[i];
    if (b == 0 || b == 0x1A) break;
    if (b == '\r' || b == '\n') {
      endToken();
      if (lineOpen) lines.push_back(line);
      line.clear();
      lineOpen = false;
      continue;
    }
    lineOpen = true;
    if (b == ' ' || b == '\t') {
      endToken();
    } else {
      token.push_back(static_cast<char>(b));
    }
  }
  endToken();
  if (lineOpen) lines.push_back(line);
  return lines;
}

std::string DescribeIndex(std::span<const uint8_t> bytes) {
  const auto slash = std::find(bytes.begin(), bytes.end(), '/');
  if (slash == bytes.end()) return "colour-table index: no '/' header line, not an index\n";
  // The header line (from the first '/') and the line after it are comments.
  auto lines = TextLines(bytes, static_cast<size_t>(slash - bytes.begin()));
  std::string out;
  if (lines.size() < 2) return "colour-table index: truncated before its entries\n";
  size_t i = 2;
  std::vector<std::vector<std::string>> entries;
  for (; i < lines.size() && !(!lines[i].empty() && lines[i][0][0] == '/'); ++i) entries.push_back(lines[i]);
  if (i == lines.size()) return "colour-table index: no '/' line after the entries\n";
  auto list = [&](size_t k) { return i + k < lines.size() ? lines[i + k] : std::vector<std::string>{}; };
  const auto kinds = list(1), papers = list(2), modes = list(3);
  int paperBase = 0;
  size_t paperFirst = 0;
  if (!papers.empty() && papers[0][0] != 'P') {
    paperBase = std::atoi(papers[0].c_str());
    paperFirst = 1;
  }
  auto position = [](const std::vector<std::string>& names, const std::string& name, size_t first) {
    int found = -1;
    for (size_t k = first; k < names.size(); ++k)
      if (names[k] == name) found = static_cast<int>(k - first);
    return found;
  };
  out += Format("colour-table index: %zu entries\n", entries.size());
  out += "  kinds:";
  for (size_t k = 0; k < kinds.size(); ++k) out += Format(" %zu=%s", k, kinds[k].c_str());
  out += "\n  papers (ColorAdjustRecord field 8):";
  for (size_t k = paperFirst; k < papers.size(); ++k)
    out += Format(" %d=%s", paperBase + static_cast<int>(k - paperFirst), papers[k].c_str());
  out += "\n  modes:";
  for (size_t k = 0; k < modes.size(); ++k) out += Format(" %zu=%s", k, modes[k].c_str());
  out += "\n  table  halftone  kind          paper     resolution  mode       selector\n";
  for (const auto& e : entries) {
    auto tok = [&](size_t k) { return k < e.size() ? e[k] : std::string(); };
    const int kind = position(kinds, tok(2), 0);
    const int paper = position(papers, tok(3), paperFirst);
    const int mode = position(modes, tok(6), 0);
    out += Format("  %5s  %8s  %-9s(%2d)  %-5s(%2d)  %4s x %-4s  %-6s(%d)  %s\n", tok(0).c_str(),
                  tok(1) == "0" ? "none" : tok(1).c_str(), tok(2).c_str(), kind, tok(3).c_str(),
                  paper < 0 ? -1 : paperBase + paper, tok(4).c_str(), tok(5).c_str(), tok(6).c_str(),
                  mode, tok(7).c_str());
  }
  return out;
}

std::string DescribeScreenTable(std::span<const uint8_t> bytes) {
  auto lines = TextLines(bytes);
  std::string out = "engine A screen table\n  selector  method  matrix1  matrix2  matrix3  phase\n";
  bool ended = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    const auto& l = lines[i];
    if (!l.empty() && l[0].rfind("END", 0) == 0) {
      ended = true;
      break;
    }
    auto tok = [&](size_t k) { return k < l.size() ? l[k] : std::string("?"); };
    out += Format("  %8s  %6s  %7s  %7s  %7s  %5s\n", tok(0).c_str(), tok(1).c_str(), tok(2).c_str(),
                  tok(3).c_str(), tok(4).c_str(), tok(5).c_str());
  }
  if (!ended) out += "  (no END line: a selector missing from the table is not detected)\n";
  return out;
}

// ---- binary blocks ----------------------------------------------------

int BE16(std::span<const uint8_t> b, size_t at) {
  return static_cast<int16_t>((b[at] << 8) | b[at + 1]);
}

std::string DescribeTable(std::span<const uint8_t> b) {
  if (b.size() < 76) return Format("colour table: %zu bytes, shorter than its 76-byte header\n", b.size());
  std::string tag;
  for (size_t i = 0; i < 15 && b[i] != 0; ++i) tag.push_back(b[i] >= 0x20 && b[i] < 0x7F ? static_cast<char>(b[i]) : '.');
  const int n = b[72], w = b[75];
  std::string out = Format("colour table \"%s\"\n", tag.c_str());
  out += Format("  class %d, type %d, grid %d x %d x %d, %d byte(s) per node\n", b[15], b[24], b[72], b[73],
                b[74], w);
  out += Format("  primary gains %d %d %d, hue shifts %d %d %d, saturation boost %d, secondary gains %d %d %d\n",
                b[32], b[33], b[34], static_cast<int8_t>(b[36]), static_cast<int8_t>(b[37]),
                static_cast<int8_t>(b[38]), static_cast<int8_t>(b[39]), static_cast<int8_t>(b[42]),
                static_cast<int8_t>(b[43]), static_cast<int8_t>(b[44]));
  out += Format("  weights: light %d, full %d, extra %d %d %d\n", BE16(b, 48), BE16(b, 50), BE16(b, 52),
                BE16(b, 54), BE16(b, 56));
  out += Format("  parameters: A %d, %d, B %d, %d\n", BE16(b, 64), BE16(b, 66), BE16(b, 68), BE16(b, 70));
  if (n == 0 || w == 0 || b[73] != n || b[74] != n) return out + "  grid counts unequal or zero\n";
  const size_t l = static_cast<size_t>(n) * n * n * w;
  const size_t need = 76 + 4 * static_cast<size_t>(n) + l + static_cast<size_t>(n) * w;
  if (b.size() < need) return out + Format("  block is %zu bytes, its grid needs %zu\n", b.size(), need);
  out += "  node positions:";
  for (int i = 0; i < n; ++i) out += Format(" %d", b[76 + i]);
  const uint8_t* table = b.data() + 76 + 3 * n;
  const uint8_t* gray = table + l;
  out += "\n  neutral axis (input gray -> ink bytes | black-only gray level):\n";
  for (int j = 0; j < n; ++j) {
    const uint8_t* node = table + static_cast<size_t>(j) * (n * n + n + 1) * w;
    out += Format("    %3d ->", b[76 + j]);
    for (int ch = 0; ch < w; ++ch) out += Format(" %3d", node[ch]);
    out += Format("  | %3d\n", gray[j]);
  }
  return out;
}

std::string DescribeIdList(std::span<const uint8_t> b) {
  std::string out = "engine B id list:";
  size_t i = 0;
  for (; i + 1 < b.size(); i += 2) {
    const int id = static_cast<int16_t>(b[i] | (b[i + 1] << 8));
    if (id == -1) break;
    out += Format(" %d", id);
  }
  out += i + 1 < b.size() ? " (end)\n" : " (no -1 terminator)\n";
  out += "  step 2 takes the first id; step 3 the second, or the third when x = 2 y\n";
  return out;
}

std::string DescribeNodes(std::span<const uint8_t> b) {
  if (b.size() < 2) return "colour nodes: truncated\n";
  const int count = b[0] | (b[1] << 8);
  std::string out = Format("colour nodes: %d positions:", count);
  for (size_t i = 2; i < b.size() && i < 2 + static_cast<size_t>(std::max(count, 0)); ++i) out += Format(" %d", b[i]);
  return out + "\n";
}

std::string StatsText(const MatrixStats& s) {
  return Format("  %d x %d cells, values %d .. %d, %d distinct%s\n"
                "  50%% pattern: %.4f of its power below 1/8 cycle per dot (white noise: about 0.049)\n",
                s.width, s.height, s.minValue, s.maxValue, s.distinct,
                s.permutation ? ", a permutation of the ranks 0 .. cells - 1" : "", s.lowFrequencyShare);
}

std::string DescribeMatrix16(std::span<const uint8_t> b) {
  if (b.size() < 4) return "16-bit threshold matrix: truncated header\n";
  const int w = b[0], h = b[1];
  const size_t cells = static_cast<size_t>(w) * h;
  std::string out = Format("engine B threshold matrix, %d bytes per cell\n", b[2]);
  if (b.size() < 4 + 2 * cells) return out + "  block shorter than its cells\n";
  std::vector<int> v(cells);
  for (size_t i = 0; i < cells; ++i) v[i] = static_cast<int16_t>(b[4 + 2 * i] | (b[5 + 2 * i] << 8));
  out += StatsText(AnalyseMatrix(v, w, h));
  if ((w & (w - 1)) != 0) out += "  width is not a power of two: the engine's column mask would skip cells\n";
  return out;
}

std::string DescribeMatrix8(std::span<const uint8_t> b) {
  if (b.size() < 2) return "byte threshold matrix: truncated header\n";
  const int w = b[0] == 255 ? 256 : b[0], h = b[1] == 255 ? 256 : b[1];
  const size_t cells = static_cast<size_t>(w) * h;
  if (b.size() < 2 + cells) return "engine A threshold matrix: block shorter than its cells\n";
  std::vector<int> v(b.begin() + 2, b.begin() + 2 + static_cast<std::ptrdiff_t>(cells));
  return "engine A threshold matrix (a level v prints where threshold <= v)\n" + StatsText(AnalyseMatrix(v, w, h));
}

std::string DescribeCalibration(int number, std::span<const uint8_t> b) {
  if (b.size() == 21 * 256) {
    std::string out = "calibration curve block: 21 rows (row 10 is chosen when the levels match)\n"
                      "  row:  in 32  64  96 128 160 192 224\n";
    for (int r = 0; r < 21; ++r) {
      out += Format("  %3d:   ", r);
      for (int x = 32; x < 256; x += 32) out += Format(" %3d", b[r * 256 + x]);
      out += "\n";
    }
    return out;
  }
  if (number == kCalibrationLevels) {
    std::string out = "calibration reference levels:";
    for (uint8_t v : b) out += Format(" %d", v);
    return out + "\n";
  }
  std::string out = "calibration slot records (key: curve slot per channel)\n";
  size_t i = 0;
  while (i < b.size() && b[i] != 0xFF) {
    out += Format("  key %d:", b[i]);
    ++i;
    for (; i < b.size() && b[i] != 0xFE; ++i) out += Format(" %d", b[i]);
    out += "\n";
    if (i < b.size()) ++i;
  }
  return out;
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
