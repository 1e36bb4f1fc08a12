// Resource blocks by service and number, and a reader for the names of a
// colour-table index (used to turn paper names into numbers and to explain a
// failed match).
#include <algorithm>
#include <cctype>
#include <string>

#include "vantik/vantik.hpp"

namespace vantik {

void ResourceSet::Add(Service service, int number, std::vector<uint8_t> bytes) {
  Entry& e = blocks_[{static_cast<int>(service), number}];
  e.owned = std::move(bytes);
  e.view = std::span<const uint8_t>(e.owned);
}

void ResourceSet::AddView(Service service, int number,
                          std::span<const uint8_t> bytes) {
  Entry& e = blocks_[{static_cast<int>(service), number}];
  e.owned.clear();
  e.view = bytes;
}

std::optional<std::span<const uint8_t>> ResourceSet::Find(Service service,
                                                          int number) const {
  auto it = blocks_.find({static_cast<int>(service), number});
  if (it == blocks_.end()) return std::nullopt;
  return it->second.view;
}

std::vector<int> ResourceSet::Numbers(Service service) const {
  std::vector<int> out;
  for (const auto& [key, entry] : blocks_) {
    if (key.first == static_cast<int>(service)) out.push_back(key.second);
  }
  return out;
}

// ---- Index names -------------------------------------------------------------

namespace {

using Line = std::vector<std::string>;

// Splits the text into non-empty lines of tokens; the text ends at 0x00 or
// 0x1A or at the end of the block.
std::vector<Line> Tokenize(std::span<const uint8_t> block, size_t start) {
  std::vector<Line> lines;
  Line current;
  std::string token;
  auto endToken = [&] {
    if (!token.empty()) current.push_back(std::move(token));
    token.clear();
  };
  auto endLine = [&] {
    endToken();
    if (!current.empty()) lines.push_back(std::move(current));
    current.clear();
  };
  for (size_t i = start; i < block.size(); ++i) {
    uint8_t b = block[i];
    if (b == 0x00 || b == 0x1A) break;
    if (b == '\r' || b == '\n') {
      endLine();
    } else if (b == ' ' || b == '\t') {
      endToken();
    } else {
      token.push_back(static_cast<char>(b));
    }
  }
  endLine();
  return lines;
}

// The index's decimal rule: digits accumulate, any '-' makes it negative.
int Decimal(const std::string& token) {
  int64_t value = 0;
  bool negative = false;
  for (char c : token) {
    if (c == '-') {
      negative = true;
      continue;
    }
    value = value * 10 + (static_cast<signed char>(c) - 0x30);
    if (value > 1000000000 || value < -1000000000) break;
  }
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

std::optional<IndexNames> ReadIndexNames(std::span<const uint8_t> block) {
  size_t slash = 0;
  while (slash < block.size() && block[slash] != '/') {
    if (block[slash] == 0x00 || block[slash] == 0x1A) return std::nullopt;
    ++slash;
  }
  if (slash >= block.size()) return std::nullopt;
  // The rest of the line holding the first '/', then one more line.
  size_t pos = slash + 1;
  while (pos < block.size() && block[pos] != '\r' && block[pos] != '\n') ++pos;
  std::vector<Line> lines = Tokenize(block, pos);
  if (lines.empty()) return std::nullopt;
  size_t i = 1;  // skip the second header line
  IndexNames names;
  for (; i < lines.size(); ++i) {
    const Line& l = lines[i];
    if (l[0][0] == '/') break;
    IndexNames::Entry e;
    auto tok = [&](size_t k) { return k < l.size() ? l[k] : std::string(); };
    e.table = Decimal(tok(0));
    e.halftone = Decimal(tok(1));
    e.kind = tok(2);
    e.paper = tok(3);
    e.xResolution = Decimal(tok(4));
    e.yResolution = Decimal(tok(5));
    e.mode = tok(6);
    e.selector = Decimal(tok(7));
    names.entries.push_back(std::move(e));
  }
  if (i + 3 >= lines.size()) return std::nullopt;  // the three name lists
  names.kinds = lines[i + 1];
  Line list2 = lines[i + 2];
  if (!list2.empty() && list2[0][0] != 'P') {
    names.paperBase = Decimal(list2[0]);
    list2.erase(list2.begin());
  }
  names.papers = std::move(list2);
  names.modes = lines[i + 3];
  return names;
}

std::optional<int> IndexNames::PaperNumber(std::string_view name) const {
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  std::optional<int> found;
  for (size_t i = 0; i < papers.size(); ++i) {
    if (lower(papers[i]) == lower(name)) found = paperBase + static_cast<int>(i);
  }
  return found;
}

std::string IndexNames::PaperName(int number) const {
  int i = number - paperBase;
  if (i >= 0 && i < static_cast<int>(papers.size())) return papers[i];
  return std::to_string(number);
}

}  // namespace vantik
