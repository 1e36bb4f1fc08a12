#include "pure_black.h"

#include <algorithm>
#include <set>

namespace vantik::tool {

namespace {

constexpr size_t kHeader = 76;
constexpr int kInks = 4;
constexpr int kDarkRange = kPureBlackEnd - kPureBlackFull;
constexpr int kWhole = kDarkRange * kPureBlackSpread;  // t = 1

// t of the node at these levels, in units of 1 / kWhole.
int Share(int r, int g, int b) {
  const int lightest = std::max({r, g, b});
  const int spread = lightest - std::min({r, g, b});
  const int dark = std::clamp(kPureBlackEnd - lightest, 0, kDarkRange);
  const int near = std::max(kPureBlackSpread - spread, 0);
  return dark * near;
}

// The black-only level of gray `level`, from the table's gray levels at the
// node positions (linear between them); without gray levels, the level's
// own darkness.
int BlackOnly(int level, const uint8_t* positions, const uint8_t* gray, int n) {
  if (gray == nullptr) return 255 - level;
  for (int j = 1; j < n; ++j) {
    const int p0 = positions[j - 1], p1 = positions[j];
    if (level > p1) continue;
    const int span = p1 - p0;
    if (span <= 0) return gray[j];
    return (gray[j - 1] * (p1 - level) + gray[j] * (level - p0) + span / 2) / span;
  }
  return gray[n - 1];
}

void Rewrite(uint8_t* node, int t, int black) {
  const int keep = kWhole - t;
  for (int i = 0; i < kInks - 1; ++i) node[i] = static_cast<uint8_t>((node[i] * keep + kWhole / 2) / kWhole);
  node[kInks - 1] = static_cast<uint8_t>((node[kInks - 1] * keep + black * t + kWhole / 2) / kWhole);
}

}  // namespace

std::vector<uint8_t> PureBlackTable(std::span<const uint8_t> block) {
  std::vector<uint8_t> out(block.begin(), block.end());
  if (out.size() < kHeader) return out;
  const int n = out[72];
  if (n < 2 || out[73] != n || out[74] != n || out[75] != kInks) return out;
  const size_t nodes = static_cast<size_t>(n) * n * n;
  const size_t tableAt = kHeader + 3 * static_cast<size_t>(n);
  if (out.size() < tableAt + nodes * kInks) return out;
  const uint8_t* pos = out.data() + kHeader;
  const size_t grayAt = tableAt + nodes * kInks;
  const size_t diagonalAt = grayAt + static_cast<size_t>(n);
  // The gray levels (read by the black-only level) are left as they are.
  const uint8_t* g = out.size() >= grayAt + n ? out.data() + grayAt : nullptr;
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      for (int c = 0; c < n; ++c) {
        const int pa = pos[a], pb = pos[n + b], pc = pos[2 * n + c];
        const int t = Share(pa, pb, pc);
        if (t == 0) continue;
        const int mean = (pa + pb + pc + 1) / 3;
        uint8_t* node = out.data() + tableAt + ((static_cast<size_t>(a) * n + b) * n + c) * kInks;
        Rewrite(node, t, BlackOnly(mean, pos, g, n));
      }
    }
  }
  if (out.size() >= diagonalAt + static_cast<size_t>(n) * kInks) {
    for (int j = 0; j < n; ++j) {
      const int p = pos[j];
      const int t = Share(p, p, p);
      if (t == 0) continue;
      Rewrite(out.data() + diagonalAt + static_cast<size_t>(j) * kInks, t, BlackOnly(p, pos, g, n));
    }
  }
  return out;
}

ResourceSet PureBlackResources(const ResourceSet& set) {
  std::set<int> tables;
  if (auto index = set.Find(Service::kColor, kColorIndexBlock)) {
    if (std::optional<IndexNames> names = ReadIndexNames(*index)) {
      for (const IndexNames::Entry& e : names->entries) tables.insert(e.table);
    }
  }
  ResourceSet out;
  for (Service service : {Service::kColor, Service::kHalftone}) {
    for (int number : set.Numbers(service)) {
      std::span<const uint8_t> bytes = *set.Find(service, number);
      if (service == Service::kColor && number != kColorIndexBlock && tables.count(number)) {
        out.Add(service, number, PureBlackTable(bytes));
      } else {
        out.Add(service, number, std::vector<uint8_t>(bytes.begin(), bytes.end()));
      }
    }
  }
  return out;
}

}  // namespace vantik::tool
