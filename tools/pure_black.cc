#include "pure_black.h"

#include <algorithm>
#include <set>
#include <vector>

#include "formats/table_block.h"
#include "interface/byte_reader.h"
#include "printmodel/gamut_map.h"

namespace vantik::tool {

namespace {

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

// What one table means to the printer: levels to coverage under the
// table's dot weights, coverage to lightness under the model.
class Inks {
 public:
  Inks(const printmodel::PrintModel& model, int weightLight, int weightFull)
      : model_(model), light_(weightLight), full_(weightFull) {}

  // The coverage (0..1) a level gives: the level over the dot weight the
  // engines divide it by.
  double Coverage(int v) const {
    const int light = 255 - v;
    const int weight = ((light * light * (light_ - full_) + 1) / 255 + 255 * full_) / 100;
    if (weight <= 0) return v / 255.0;
    return std::min(1.0, static_cast<double>(v) / weight);
  }
  double Lightness(const uint8_t* node) const {
    std::array<double, kInks> ink{};
    for (int i = 0; i < kInks; ++i) ink[i] = Coverage(node[i]);
    return printmodel::RelativeLab(model_, model_.Predict(ink)).l;
  }

 private:
  const printmodel::PrintModel& model_;
  int light_, full_;
};

struct Axis {
  double richBlack = 0;  // lightness of the table's solid black
  double blackInk = 0;   // of solid black ink alone
  double end = 100;      // of the gray where the hand-over ends
};

// The lightness aimed at: black ink's range stretched over the rich black's
// below the end of the hand-over, blended by t.
double Target(double l, int t, const Axis& axis) {
  double mapped = l;
  if (axis.blackInk > axis.richBlack && l < axis.end && axis.end > axis.richBlack) {
    mapped = axis.blackInk + std::max(0.0, l - axis.richBlack) * (axis.end - axis.blackInk) /
                                 (axis.end - axis.richBlack);
  }
  return l + (mapped - l) * t / kWhole;
}

// `node` (read from `before`, which the model prints at lightness `l`) with
// colour ink scaled by 1 - t and black solved for the target lightness.
void Rewrite(const uint8_t* before, double l, uint8_t* node, int t, const Inks& inks, const Axis& axis) {
  const double target = Target(l, t, axis);
  const int keep = kWhole - t;
  for (int i = 0; i < kInks - 1; ++i)
    node[i] = static_cast<uint8_t>((before[i] * keep + kWhole / 2) / kWhole);
  // Lightness falls as black rises: the smallest level dark enough, or the
  // one below it when that is closer.
  int lo = 0, hi = 255;
  node[3] = 255;
  if (inks.Lightness(node) > target) return;  // as dark as black ink goes
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    node[3] = static_cast<uint8_t>(mid);
    if (inks.Lightness(node) <= target) hi = mid;
    else lo = mid + 1;
  }
  node[3] = static_cast<uint8_t>(lo);
  const double at = inks.Lightness(node);
  if (lo > 0) {
    node[3] = static_cast<uint8_t>(lo - 1);
    if (inks.Lightness(node) - target >= target - at) node[3] = static_cast<uint8_t>(lo);
  }
}

}  // namespace

std::vector<uint8_t> PureBlackTable(std::span<const uint8_t> block,
                                    const printmodel::PrintModel& model) {
  std::vector<uint8_t> out(block.begin(), block.end());
  ByteReader reader(block.data(), block.size());
  formats::TableBlockView view;
  if (!formats::ParseTableBlock(reader, view).ok() || view.w != kInks) return out;
  const int n = view.n;
  const uint8_t* pos = view.positions;
  const Inks inks(model, view.header.weights[0], view.header.weights[1]);
  // Offsets into the block, the same in `block` and `out`.
  const size_t tableAt = static_cast<size_t>(view.table - block.data());
  auto at = [&](int a, int b, int c) { return tableAt + formats::TableNode(n, kInks, a, b, c); };
  const uint8_t* in = block.data();

  Axis axis;
  axis.richBlack = inks.Lightness(in + at(0, 0, 0));
  const uint8_t solidBlack[kInks] = {0, 0, 0, 255};
  axis.blackInk = inks.Lightness(solidBlack);
  for (int j = 0; j < n; ++j) {
    if (pos[j] >= kPureBlackEnd && pos[n + j] == pos[j] && pos[2 * n + j] == pos[j]) {
      axis.end = inks.Lightness(in + at(j, j, j));
      break;
    }
  }

  // The grays of the axis, from white down, never lighter than the gray
  // before them: a table corrected by printing can hold a gray that the
  // model, which does not see how the engine places dots, prints a hair
  // lighter than its lighter neighbour, and black alone must still rise.
  std::vector<double> axisL(static_cast<size_t>(n));
  for (int j = n - 1; j >= 0; --j) {
    axisL[static_cast<size_t>(j)] = inks.Lightness(in + at(j, j, j));
    if (j + 1 < n) axisL[static_cast<size_t>(j)] = std::min(axisL[static_cast<size_t>(j)], axisL[static_cast<size_t>(j) + 1]);
  }
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      for (int c = 0; c < n; ++c) {
        const int t = Share(pos[a], pos[n + b], pos[2 * n + c]);
        if (t == 0) continue;
        const uint8_t* before = in + at(a, b, c);
        const double l = a == b && b == c ? axisL[static_cast<size_t>(a)] : inks.Lightness(before);
        Rewrite(before, l, out.data() + at(a, b, c), t, inks, axis);
      }
    }
  }
  if (view.diagonal != nullptr) {
    const size_t diagonalAt = static_cast<size_t>(view.diagonal - block.data());
    for (int j = 0; j < n; ++j) {
      const int t = Share(pos[j], pos[n + j], pos[2 * n + j]);
      if (t == 0) continue;
      const size_t node = diagonalAt + static_cast<size_t>(j) * kInks;
      Rewrite(in + node, axisL[static_cast<size_t>(j)], out.data() + node, t, inks, axis);
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
  const printmodel::PrintModel& model = printmodel::PrintModel::Default();
  ResourceSet out;
  for (Service service : {Service::kColor, Service::kHalftone}) {
    for (int number : set.Numbers(service)) {
      std::span<const uint8_t> bytes = *set.Find(service, number);
      if (service == Service::kColor && number != kColorIndexBlock && tables.count(number)) {
        out.Add(service, number, PureBlackTable(bytes, model));
      } else {
        out.Add(service, number, std::vector<uint8_t>(bytes.begin(), bytes.end()));
      }
    }
  }
  return out;
}

}  // namespace vantik::tool
