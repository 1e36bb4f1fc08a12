#include "printmodel/screen_printer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "halftone_a/screen_tables.h"
#include "printmodel/gamut_map.h"

namespace vantik::printmodel {
namespace {

constexpr int kBlackBit = 1 << kBlack;
constexpr int kYellowBit = 1 << kYellow;

// A light ink's level-table limit is raised toward 255, as the ink-limited
// screen does for inks at or below 192.
double Raised(double limit, double level) {
  return level <= 192 ? limit + (255 - limit) * (192 - level) / 192 : limit;
}

}  // namespace

ScreenPrinter::ScreenPrinter(const PrintModel& model, ScreenRule rule, int paramA, int paramB)
    : model_(model), rule_(rule) {
  if (rule_ == ScreenRule::kBlackFirstInkLimited &&
      halftone_a::LevelTableDefined(static_cast<uint16_t>(paramA), static_cast<uint16_t>(paramB))) {
    halftone_a::BuildLevelTable(static_cast<uint16_t>(paramA), static_cast<uint16_t>(paramB), levels_.data());
  } else {
    levels_.fill(255);
  }
}

// The level table's limit for a total ink amount in levels, interpolated
// between entries so that the printer stays smooth; a negative total (black
// outweighing the colours) reads the first entry, as the screen does.
double ScreenPrinter::Limit(double total) const {
  if (total <= 0) return levels_[0];
  if (total >= 767) return levels_[767];
  const int i = static_cast<int>(total);
  const double f = total - i;
  return levels_[static_cast<size_t>(i)] * (1 - f) + levels_[static_cast<size_t>(i) + 1] * f;
}

std::array<double, kOverprints> ScreenPrinter::Fractions(const std::array<double, kInks>& ink) const {
  // Everything below in threshold levels: a level v covers v / 255 of a
  // screen whose thresholds spread evenly over 1..255.
  const std::array<double, kInks> stored = Stored(ink);
  std::array<double, kInks> v;
  for (int k = 0; k < kInks; ++k) v[static_cast<size_t>(k)] = stored[static_cast<size_t>(k)] * 255;
  std::array<double, kOverprints> f{};
  const double black = v[kBlack];

  if (rule_ == ScreenRule::kStacked) {
    // Bottom of the threshold axis up: black, the cyan-magenta overlap,
    // cyan alone, magenta alone, then nothing; yellow covers the top.
    double c = v[kCyan], m = v[kMagenta];
    const double overlap = std::max(0.0, c + m - 256);
    c -= overlap;
    m -= overlap;
    const double yellowFrom = 255 - v[kYellow];
    const std::pair<double, int> stack[] = {{black, kBlackBit},
                                            {overlap, (1 << kCyan) | (1 << kMagenta)},
                                            {c, 1 << kCyan},
                                            {m, 1 << kMagenta},
                                            {255, 0}};
    double at = 0;
    for (const auto& [length, mask] : stack) {
      const double end = std::min(255.0, at + length);
      if (end <= at) continue;
      // The part of [at, end] at or above yellowFrom also gets yellow.
      const double split = std::clamp(yellowFrom, at, end);
      f[static_cast<size_t>(mask)] += split - at;
      f[static_cast<size_t>(mask | kYellowBit)] += end - split;
      at = end;
      if (at >= 255) break;
    }
  } else {
    // Thresholds at or below black print black (thinned by the ink-limit
    // matrix on the ink-limited screen); above it each colour ink prints
    // where the threshold is within its amount, so the colours lie dot on
    // dot.
    const bool limited = rule_ == ScreenRule::kBlackFirstInkLimited;
    const double limit = Limit(v[kCyan] + v[kMagenta] + v[kYellow] - 2 * black);
    const double blackShare = limited ? std::min(255.0, Raised(limit, black)) / 255 : 1.0;
    f[kBlackBit] += black * blackShare;
    f[0] += black * (1 - blackShare);
    // The cyan, magenta and yellow limits on the ink-limit matrix.
    std::array<double, 3> inkLimit;
    inkLimit[kCyan] = std::min(255.0, Raised(limit, v[kCyan]));
    inkLimit[kMagenta] = std::min(255.0, Raised(limit, v[kMagenta]));
    inkLimit[kYellow] = std::min(255.0, limit);
    if (!limited) inkLimit = {255, 255, 255};
    std::vector<double> cuts = {255};
    for (int i = 0; i < 3; ++i)
      if (v[static_cast<size_t>(i)] > black) cuts.push_back(v[static_cast<size_t>(i)]);
    std::sort(cuts.begin(), cuts.end());
    double from = black;
    for (double to : cuts) {
      if (to <= from) continue;
      int inks = 0;
      for (int i = 0; i < 3; ++i)
        if (v[static_cast<size_t>(i)] >= to) inks |= 1 << i;
      // Across the ink-limit matrix: ink i prints where its threshold u
      // is within its limit.
      std::vector<double> ucuts = {255};
      for (int i = 0; i < 3; ++i)
        if (inks & (1 << i)) ucuts.push_back(inkLimit[static_cast<size_t>(i)]);
      std::sort(ucuts.begin(), ucuts.end());
      double ufrom = 0;
      for (double uto : ucuts) {
        if (uto <= ufrom) continue;
        int mask = 0;
        for (int i = 0; i < 3; ++i)
          if ((inks & (1 << i)) && inkLimit[static_cast<size_t>(i)] >= uto) mask |= 1 << i;
        f[static_cast<size_t>(mask)] += (to - from) * (uto - ufrom) / 255;
        ufrom = uto;
      }
      from = to;
    }
    f[0] += 255 - std::max(black, from);
  }
  double total = 0;
  for (double& x : f) {
    x /= 255;
    total += x;
  }
  if (total > 0)
    for (double& x : f) x /= total;
  return f;
}

std::array<double, kInks> ScreenPrinter::Stored(const std::array<double, kInks>& ink) const {
  std::array<double, kInks> out;
  for (int k = 0; k < kInks; ++k) out[static_cast<size_t>(k)] = std::clamp(ink[static_cast<size_t>(k)], 0.0, 1.0);
  if (rule_ == ScreenRule::kStacked) return out;
  for (int k = 0; k < 3; ++k) out[static_cast<size_t>(k)] = std::min(1.0, out[static_cast<size_t>(k)] + out[kBlack]);
  return out;
}

Lab ScreenPrinter::Print(const std::array<double, kInks>& ink) const {
  return RelativeLab(model_, model_.Mix(Fractions(ink)));
}

}  // namespace vantik::printmodel
