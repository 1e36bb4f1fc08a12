// Readers for the resource formats, written from the formats' rules and
// independent of the generator, so the tests check the blocks against what
// the library will parse.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vantik/default_resources.h"

namespace vantik::restest {

struct IndexEntry {
  int table = 0;
  int halftone = 0;  // 0 stands for none
  int kind = 0;
  int paper = 0;
  int x = 0, y = 0;
  int mode = 0;
  int selector = 0;
};

struct ParsedIndex {
  bool ok = false;
  std::string problem;
  std::vector<IndexEntry> entries;
  std::vector<std::string> kinds, papers, modes;
  int longestName = 0;
};

// Token reading as the index format defines it: TAB and space separate,
// CR and LF end a line (a run of them is one line end), NUL and 0x1A end
// the text.
class IndexScanner {
 public:
  explicit IndexScanner(std::span<const uint8_t> b) : b_(b) {}
  bool AtTextEnd() const { return p_ >= b_.size() || b_[p_] == 0 || b_[p_] == 0x1A; }
  bool AtLineEnd() const { return !AtTextEnd() && (b_[p_] == '\r' || b_[p_] == '\n'); }
  std::string Token() {
    while (!AtTextEnd() && (b_[p_] == ' ' || b_[p_] == '\t')) ++p_;
    std::string t;
    while (!AtTextEnd() && !AtLineEnd() && b_[p_] != ' ' && b_[p_] != '\t') t.push_back(static_cast<char>(b_[p_++]));
    return t;
  }
  void SkipLine() {
    while (!AtTextEnd() && !AtLineEnd()) ++p_;
    while (AtLineEnd()) ++p_;
  }
  std::vector<std::string> LineTokens() {
    std::vector<std::string> out;
    for (std::string t = Token(); !t.empty(); t = Token()) out.push_back(t);
    SkipLine();
    return out;
  }
  bool SkipPastSlash() {
    while (p_ < b_.size() && b_[p_] != '/') ++p_;
    if (p_ >= b_.size()) return false;
    p_ += 2;  // the slash and the byte after it
    return true;
  }

 private:
  std::span<const uint8_t> b_;
  size_t p_ = 0;
};

inline int Decimal(const std::string& t) {
  int v = 0;
  bool negative = false;
  for (char c : t) {
    if (c == '-') {
      negative = true;
      continue;
    }
    v = v * 10 + (static_cast<int8_t>(c) - 0x30);
  }
  return negative ? -v : v;
}

inline ParsedIndex ParseIndex(std::span<const uint8_t> b) {
  ParsedIndex out;
  IndexScanner s(b);
  if (!s.SkipPastSlash()) {
    out.problem = "no '/'";
    return out;
  }
  s.SkipLine();
  s.SkipLine();
  std::vector<std::vector<std::string>> raw;
  for (;;) {
    if (s.AtTextEnd()) {
      out.problem = "text ends before the '/' line after the entries";
      return out;
    }
    auto tokens = s.LineTokens();
    if (!tokens.empty() && tokens[0][0] == '/') break;
    raw.push_back(tokens);
  }
  out.kinds = s.LineTokens();
  out.papers = s.LineTokens();
  out.modes = s.LineTokens();
  int base = 0;
  std::vector<std::string> paperNames = out.papers;
  if (!paperNames.empty() && paperNames[0][0] != 'P') {
    base = Decimal(paperNames[0]);
    paperNames.erase(paperNames.begin());
  }
  auto position = [&](const std::vector<std::string>& list, const std::string& name, int offset) {
    int v = 0;
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i] == name) v = offset + static_cast<int>(i);
    return v;
  };
  for (const auto& list : {out.kinds, out.papers, out.modes})
    for (const auto& n : list) out.longestName = std::max<int>(out.longestName, static_cast<int>(n.size()));
  for (const auto& t : raw) {
    if (t.size() != 8) {
      out.problem = "entry line without eight tokens";
      return out;
    }
    for (const auto& n : t) out.longestName = std::max<int>(out.longestName, static_cast<int>(n.size()));
    IndexEntry e;
    e.table = Decimal(t[0]);
    e.halftone = Decimal(t[1]);
    e.kind = position(out.kinds, t[2], 0);
    e.paper = position(paperNames, t[3], base);
    e.x = Decimal(t[4]);
    e.y = Decimal(t[5]);
    e.mode = position(out.modes, t[6], 0);
    e.selector = Decimal(t[7]);
    out.entries.push_back(e);
  }
  out.ok = true;
  return out;
}

// The last matching entry, as the lookup takes it; null when none matches.
inline const IndexEntry* Lookup(const ParsedIndex& index, int kind, int mode, int paper, int selector,
                                int x, int y) {
  const IndexEntry* found = nullptr;
  for (const IndexEntry& e : index.entries)
    if (e.kind == kind && e.mode == mode && e.paper == paper && e.selector == selector && e.x == x && e.y == y)
      found = &e;
  return found;
}

struct ScreenLine {
  int selector, method, matrix1, matrix2, matrix3, phase;
};

// Screen table: first line skipped; a token ends only at a space or a tab.
// Returns false on a token that runs into a line end.
inline bool ParseScreenTable(std::span<const uint8_t> b, std::vector<ScreenLine>* lines, bool* sawEnd) {
  size_t p = 0;
  auto skipLine = [&] {
    while (p < b.size() && b[p] != '\n') ++p;
    if (p < b.size()) ++p;
  };
  auto token = [&](std::string* t) {
    while (p < b.size() && (b[p] == ' ' || b[p] == '\t')) ++p;
    t->clear();
    while (p < b.size() && b[p] != ' ' && b[p] != '\t') {
      if (b[p] == '\r' || b[p] == '\n' || b[p] == 0) return false;
      t->push_back(static_cast<char>(b[p++]));
    }
    return p < b.size();
  };
  *sawEnd = false;
  skipLine();
  while (p < b.size()) {
    std::string t;
    if (!token(&t)) return false;
    if (t.rfind("END", 0) == 0) {
      *sawEnd = true;
      return true;
    }
    ScreenLine l{};
    int* fields[] = {&l.method, &l.matrix1, &l.matrix2, &l.matrix3, &l.phase};
    l.selector = Decimal(t);
    for (int* f : fields) {
      if (!token(&t)) return false;
      *f = Decimal(t);
    }
    lines->push_back(l);
    skipLine();
  }
  return true;
}

// Table block header and sections.
struct TableView {
  int tableClass, tableType, n, w;
  int weightLight, weightFull, paramA, paramB;
  std::span<const uint8_t> positions;  // first axis
  std::span<const uint8_t> table, gray, diagonal;
};

inline bool ViewTable(std::span<const uint8_t> b, TableView* v) {
  if (b.size() < 76) return false;
  auto be = [&](size_t at) { return static_cast<int>(static_cast<int16_t>((b[at] << 8) | b[at + 1])); };
  v->tableClass = b[15];
  v->tableType = b[24] == 2 ? 1 : b[24];
  v->n = b[72];
  v->w = b[75];
  v->weightLight = be(48);
  v->weightFull = be(50);
  v->paramA = be(64) & 0xFFFF;
  v->paramB = be(68) & 0xFFFF;
  if (v->n == 0 || v->w == 0 || b[73] != v->n || b[74] != v->n) return false;
  const size_t n = static_cast<size_t>(v->n), w = static_cast<size_t>(v->w);
  const size_t l = n * n * n * w;
  if (b.size() != 76 + 4 * n + l + n * w) return false;
  v->positions = b.subspan(76, n);
  v->table = b.subspan(76 + 3 * n, l);
  v->gray = b.subspan(76 + 3 * n + l, n);
  v->diagonal = b.subspan(76 + 4 * n + l, n * w);
  return true;
}

// Engine B's dot weight of a level (v prints v / DotWeight(v) of the cells).
inline int DotWeight(int level, int light, int full) {
  const int l = 255 - level;
  return ((l * l * (light - full) + 1) / 255 + 255 * full) / 100;
}

}  // namespace vantik::restest
