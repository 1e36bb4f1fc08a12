#include "gray_balance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vantik::resgen {
namespace {

constexpr int kNodes = 17;
// Patch size in dots, and the lines left out at its top while the error
// lines fill up.
constexpr int kPatchWidth = 256;
constexpr int kPatchHeight = 160;
constexpr int kSettleLines = 32;
constexpr int kMaxRounds = 30;
// A node counts as balanced when its channels lie within this much of their
// mean (a quarter level of 255).
constexpr double kTolerance = 0.25 / 255.0;
// Share of the secant step taken: the nodes' patches read their neighbours
// too, and full steps make them chase each other.
constexpr double kDamping = 0.7;

[[noreturn]] void Die(const Status& s, const char* what) {
  std::fprintf(stderr, "vantik_resgen: gray balance: %s: %s (%s)\n", what, s.message().c_str(),
               s.name());
  std::exit(1);
}

ColorSettings SettingsFor(const ResourceSet& resources, const BalanceTarget& target) {
  ColorSettings cs;
  HalftoneSettings& h = cs.halftone;
  h.kind = target.kind;
  h.variant = 0;
  h.xResolution = target.xResolution;
  h.yResolution = target.yResolution;
  h.lineWidth = kPatchWidth;
  h.renderMode = 3;  // RGB pixels through the colour table
  h.lutMode = 1;
  cs.colorModeA = 0;
  cs.colorModeB = 2;
  cs.selector = 0;
  auto index = resources.Find(Service::kColor, cs.indexBlock);
  std::optional<IndexNames> names;
  if (index) names = ReadIndexNames(*index);
  std::optional<int> paper;
  if (names) paper = names->PaperNumber(target.paper);
  if (!paper) {
    std::fprintf(stderr, "vantik_resgen: gray balance: the index names no paper %s\n", target.paper);
    std::exit(1);
  }
  cs.paper = *paper;
  return cs;
}

// Channel reflectances (0 .. 1) of a flat gray printed through `matcher`
// and its halftoner: what red, green and blue light the dots leave (a dot of
// cyan or black absorbs red, of magenta or black green, of yellow or black
// blue).
std::array<double, 3> PrintGray(ColorMatcher& matcher, const ResourceSet& resources,
                                int gray) {
  // A fresh halftoner per patch, so that no error carries over from the
  // previous one.
  Result<Halftoner> halftoner = Halftoner::Create(matcher.settings().halftone, matcher, resources);
  if (!halftoner.ok()) Die(halftoner.status(), "halftoning");

  // Dots that leave red, green and blue light: no cyan (plane 0), magenta
  // (1) or yellow (2) on them, and no black (3).
  uint64_t open[3] = {0, 0, 0};
  uint64_t dots = 0;
  const PageGeometry geometry{kPatchWidth, kPatchHeight, kPatchWidth, kPatchHeight};
  auto source = [gray](int, std::span<uint8_t> rgb) {
    std::fill(rgb.begin(), rgb.end(), static_cast<uint8_t>(gray));
    return Status::Ok();
  };
  auto sink = [&](int y, std::span<const std::span<const uint8_t>> planes) {
    if (y < kSettleLines) return Status::Ok();
    for (int x = 0; x < kPatchWidth; ++x) {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      const bool black = (planes[3][x >> 3] & bit) != 0;
      for (int c = 0; c < 3; ++c) {
        if (!black && !(planes[c][x >> 3] & bit)) ++open[c];
      }
      ++dots;
    }
    return Status::Ok();
  };
  const Status s = RenderPage(*halftoner, geometry, source, sink);
  if (!s.ok()) Die(s, "printing a gray patch");
  return {static_cast<double>(open[0]) / dots, static_cast<double>(open[1]) / dots,
          static_cast<double>(open[2]) / dots};
}

// Largest difference of the channels of a printed gray from their mean.
double Cast(const std::array<double, 3>& v) {
  const double mean = (v[0] + v[1] + v[2]) / 3.0;
  return std::max({std::fabs(v[0] - mean), std::fabs(v[1] - mean), std::fabs(v[2] - mean)});
}

// Worst cast over the gray nodes with the design's current shift; the
// printed channels of each node go to `values` when given.
double WorstCast(const TableDesign& design, const BalanceTarget& target, ResourceSet& resources,
                 std::vector<std::array<double, 3>>* values) {
  const std::vector<uint8_t> pos = GridPositions();
  resources.Add(Service::kColor, target.tableNumber, BuildTableBlock(design));
  Result<ColorMatcher> matcher = ColorMatcher::Create(SettingsFor(resources, target), resources);
  if (!matcher.ok()) Die(matcher.status(), "colour matching");
  double worst = 0.0;
  for (int j = 1; j < kNodes - 1; ++j) {
    const std::array<double, 3> v = PrintGray(*matcher, resources, pos[j]);
    if (values != nullptr) (*values)[j] = v;
    worst = std::max(worst, Cast(v));
  }
  return worst;
}

}  // namespace

double BalanceGrays(TableDesign& design, const BalanceTarget& target, ResourceSet resources) {
  design.neutralShift.assign(kNodes, {0.0, 0.0, 0.0});
  // Per node and ink: the last shift tried and the channel it printed, for
  // a secant step.  The first step assumes that a unit of colour coverage
  // darkens its channel by the channel's mean reflectance.
  std::vector<std::array<double, 3>> values(kNodes), lastShift(kNodes), lastValue(kNodes);
  std::vector<bool> havePrevious(kNodes, false);
  // The shift that printed each node closest to neutral so far.  A node's
  // patch also reads its neighbours (the engine re-samples the table onto
  // its own grid), so the rounds do not settle monotonically; the best of
  // them is kept.
  std::vector<std::array<double, 3>> best = design.neutralShift;
  std::vector<double> bestCast(kNodes, 1.0);
  for (int round = 0; round < kMaxRounds; ++round) {
    const double worst = WorstCast(design, target, resources, &values);
    if (std::getenv("VANTIK_RESGEN_TRACE") != nullptr) {
      std::fprintf(stderr, "gray balance %s round %d: worst cast %.2f levels\n", target.paper,
                   round, worst * 255.0);
    }
    if (worst <= kTolerance) break;
    // The white node prints no ink and the darkest is solid ink: only the
    // nodes between are balanced.
    for (int j = 1; j < kNodes - 1; ++j) {
      const std::array<double, 3>& v = values[j];
      std::array<double, 3>& shift = design.neutralShift[j];
      if (Cast(v) < bestCast[j]) {
        bestCast[j] = Cast(v);
        best[j] = shift;
      }
      const double mean = (v[0] + v[1] + v[2]) / 3.0;
      const std::array<double, 3> now = shift;
      for (int c = 0; c < 3; ++c) {
        const double error = v[c] - mean;  // > 0: the channel prints too light
        if (std::fabs(error) <= kTolerance) continue;
        double slope = -std::max(0.1, mean);  // channel change per unit of coverage
        if (havePrevious[j]) {
          const double ds = now[c] - lastShift[j][c];
          if (std::fabs(ds) > 1e-6) {
            const double measured = (v[c] - lastValue[j][c]) / ds;
            if (measured < -0.05) slope = measured;
          }
        }
        const double step = std::clamp(kDamping * error / -slope, -0.05, 0.05);
        shift[c] = std::clamp(now[c] + step, -1.0, 1.0);
      }
      lastShift[j] = now;
      lastValue[j] = v;
      havePrevious[j] = true;
    }
  }
  design.neutralShift = best;
  const double left = WorstCast(design, target, resources, nullptr) * 255.0;
  if (std::getenv("VANTIK_RESGEN_TRACE") != nullptr) {
    std::fprintf(stderr, "gray balance %s: best shifts leave %.2f levels\n", target.paper, left);
    for (int j = 0; j < kNodes; ++j) {
      std::fprintf(stderr, "  node %2d: cyan %+.3f magenta %+.3f yellow %+.3f\n", j,
                   design.neutralShift[j][0], design.neutralShift[j][1], design.neutralShift[j][2]);
    }
  }
  return left;
}

}  // namespace vantik::resgen
