// The default set's blocks as the library reads them: thin views over the
// block formats, so the tests check the generated blocks against exactly what
// the services will accept.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/index_text.h"
#include "formats/screen_text.h"
#include "formats/table_block.h"
#include "interface/byte_reader.h"
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

inline std::vector<std::string> Names(const formats::IndexNameList& list, int* longest) {
  std::vector<std::string> out;
  for (int i = 0; i < list.count; ++i) {
    out.emplace_back(list.names[i], static_cast<size_t>(list.lengths[i]));
    *longest = std::max(*longest, list.lengths[i]);
  }
  return out;
}

// The index with every entry's names resolved to their numbers.
inline ParsedIndex ParseIndex(std::span<const uint8_t> b) {
  ParsedIndex out;
  std::vector<formats::IndexEntry> entries(formats::kIndexMaxEntries);
  formats::IndexView index;
  ByteReader reader(b.data(), b.size());
  const formats::Outcome parsed = formats::ParseIndex(reader, entries.data(), index);
  if (!parsed.ok()) {
    out.problem = parsed.reason;
    return out;
  }
  formats::ResolveIndexNames(index);
  out.kinds = Names(index.kinds, &out.longestName);
  out.papers = Names(index.list2, &out.longestName);
  out.modes = Names(index.modes, &out.longestName);
  for (int i = 0; i < index.count; ++i) {
    const formats::IndexEntry& e = entries[static_cast<size_t>(i)];
    for (const char* name : {e.kindName, e.list2Name, e.modeName})
      out.longestName = std::max<int>(out.longestName, static_cast<int>(std::string(name).size()));
    out.entries.push_back({e.tableNumber, e.halftoneNumber, e.kindIndex, e.list2Number, e.xResolution,
                           e.yResolution, e.modeIndex, e.selector});
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

using ScreenLine = formats::ScreenLine;

// Every screen-table line up to END; false when a line cannot be read whole.
inline bool ParseScreenTable(std::span<const uint8_t> b, std::vector<ScreenLine>* lines, bool* sawEnd) {
  return formats::ListScreenLines(b.data(), b.size(), lines, sawEnd).ok();
}

// Table block header and sections.
struct TableView {
  int tableClass, tableType, n, w;
  int weightLight, weightFull, paramA, paramB;
  std::span<const uint8_t> positions;  // first axis
  std::span<const uint8_t> table, gray, diagonal;
};

// A table block the service accepts, holding all its sections and nothing
// after them.
inline bool ViewTable(std::span<const uint8_t> b, TableView* v) {
  formats::TableBlockView t;
  ByteReader reader(b.data(), b.size());
  if (!formats::ParseTableBlock(reader, t).ok() || t.gray == nullptr || t.diagonal == nullptr) return false;
  const size_t n = static_cast<size_t>(t.n), w = static_cast<size_t>(t.w);
  if (t.diagonal + n * w != b.data() + b.size()) return false;
  v->tableClass = t.header.tableClass;
  v->tableType = t.header.tableType == 2 ? 1 : t.header.tableType;
  v->n = t.n;
  v->w = t.w;
  v->weightLight = t.header.weights[0];
  v->weightFull = t.header.weights[1];
  v->paramA = t.header.params[0] & 0xFFFF;
  v->paramB = t.header.params[2] & 0xFFFF;
  v->positions = {t.positions, n};
  v->table = {t.table, t.tableBytes};
  v->gray = {t.gray, n};
  v->diagonal = {t.diagonal, n * w};
  return true;
}

// Engine B's dot weight of a level (v prints v / DotWeight(v) of the cells).
inline int DotWeight(int level, int light, int full) {
  const int l = 255 - level;
  return ((l * l * (light - full) + 1) / 255 + 255 * full) / 100;
}

}  // namespace vantik::restest
