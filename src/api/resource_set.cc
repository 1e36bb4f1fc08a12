// Resource blocks by service and number, and a reader for the names of a
// colour-table index (used to turn paper names into numbers and to explain a
// failed match).
#include <cctype>
#include <string>

#include "formats/index_text.h"
#include "interface/byte_reader.h"
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

std::vector<std::string> Names(const formats::IndexNameList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.count; ++i)
    out.emplace_back(list.names[i], static_cast<size_t>(list.lengths[i]));
  return out;
}

}  // namespace

// The index is read by the same parser the colour-matching service uses, so
// a block is named here exactly when the service would accept it.
std::optional<IndexNames> ReadIndexNames(std::span<const uint8_t> block) {
  std::vector<formats::IndexEntry> entries(formats::kIndexMaxEntries);
  formats::IndexView index;
  ByteReader reader(block.data(), block.size());
  if (!formats::ParseIndex(reader, entries.data(), index).ok()) return std::nullopt;
  IndexNames names;
  names.kinds = Names(index.kinds);
  names.paperBase = index.list2Base;
  names.papers = Names(index.list2);
  names.modes = Names(index.modes);
  for (int i = 0; i < index.count; ++i) {
    const formats::IndexEntry& e = entries[static_cast<size_t>(i)];
    IndexNames::Entry out;
    out.table = e.tableNumber;
    out.halftone = e.halftoneNumber;
    out.kind = e.kindName;
    out.paper = e.list2Name;
    out.xResolution = e.xResolution;
    out.yResolution = e.yResolution;
    out.mode = e.modeName;
    out.selector = e.selector;
    names.entries.push_back(std::move(out));
  }
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
