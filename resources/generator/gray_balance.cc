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
// A node counts as balanced when its channels lie within this much of its
// aim (a quarter level of 255).
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
  cs.inks = InkSet::kColor;
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
  Result<Halftoner> halftoner = Halftoner::Create(matcher, resources);
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

// The gray each node is judged by.  Nodes 1 .. 15 print their own gray.  The
// darkest node is solid black whatever its colour inks, which therefore only
// show in the grays between it and node 1: it is judged by the gray halfway
// (a node of the engine's own grid, the mean of the two).  The white node
// prints no ink and is left alone.
int ProbeGray(int node) {
  const std::vector<uint8_t> pos = GridPositions();
  return node == 0 ? (pos[0] + pos[1]) / 2 : pos[node];
}

// What each channel of a node's probe should print: the mean of its three
// channels (neutral at the tone it has); halfway between solid black and
// node 1's print for the darkest node, so that the darkest grays keep
// darkening.
double Aim(int node, const std::vector<std::array<double, 3>>& values) {
  const int j = node == 0 ? 1 : node;
  const double mean = (values[j][0] + values[j][1] + values[j][2]) / 3.0;
  return node == 0 ? mean / 2.0 : mean;
}

// Largest distance of a node's printed channels from its aim.
double Miss(int node, const std::vector<std::array<double, 3>>& values) {
  const double aim = Aim(node, values);
  const std::array<double, 3>& v = values[node];
  return std::max({std::fabs(v[0] - aim), std::fabs(v[1] - aim), std::fabs(v[2] - aim)});
}

constexpr int kBalancedNodes = kNodes - 1;  // every node but white

// Prints every balanced node's probe with the design's current shift and
// returns the worst miss.
double PrintNodes(const TableDesign& design, const BalanceTarget& target, ResourceSet& resources,
                  std::vector<std::array<double, 3>>& values) {
  resources.Add(Service::kColor, target.tableNumber, BuildTableBlock(design));
  Result<ColorMatcher> matcher = ColorMatcher::Create(SettingsFor(resources, target), resources);
  if (!matcher.ok()) Die(matcher.status(), "colour matching");
  for (int j = 0; j < kBalancedNodes; ++j) values[j] = PrintGray(*matcher, resources, ProbeGray(j));
  double worst = 0.0;
  for (int j = 0; j < kBalancedNodes; ++j) worst = std::max(worst, Miss(j, values));
  return worst;
}

}  // namespace

double BalanceGrays(TableDesign& design, const BalanceTarget& target, ResourceSet resources) {
  const bool trace = std::getenv("VANTIK_RESGEN_TRACE") != nullptr;
  design.neutralShift.assign(kNodes, {0.0, 0.0, 0.0});
  // Per node and ink: the last shift tried and the channel it printed, for
  // a secant step.  The first step assumes that a unit of colour coverage
  // darkens its channel by the aimed reflectance.
  std::vector<std::array<double, 3>> values(kNodes), lastShift(kNodes), lastValue(kNodes);
  std::vector<bool> havePrevious(kNodes, false);
  // The shift that printed each node closest to its aim so far.  A node's
  // patch also reads its neighbours (the engine re-samples the table onto
  // its own grid), so the rounds do not settle monotonically; the best of
  // them is kept.
  std::vector<std::array<double, 3>> best = design.neutralShift;
  std::vector<double> bestMiss(kNodes, 1.0);
  for (int round = 0; round < kMaxRounds; ++round) {
    const double worst = PrintNodes(design, target, resources, values);
    if (trace) {
      std::fprintf(stderr, "gray balance table %d round %d: worst miss %.2f levels\n", target.tableNumber,
                   round, worst * 255.0);
    }
    if (worst <= kTolerance) break;
    for (int j = 0; j < kBalancedNodes; ++j) {
      const std::array<double, 3>& v = values[j];
      std::array<double, 3>& shift = design.neutralShift[j];
      if (const double miss = Miss(j, values); miss < bestMiss[j]) {
        bestMiss[j] = miss;
        best[j] = shift;
      }
      const double aim = Aim(j, values);
      const std::array<double, 3> now = shift;
      for (int c = 0; c < 3; ++c) {
        const double error = v[c] - aim;  // > 0: the channel prints too light
        if (std::fabs(error) <= kTolerance) continue;
        double slope = -std::max(0.1, aim);  // channel change per unit of coverage
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
  const double left = PrintNodes(design, target, resources, values) * 255.0;
  if (trace) {
    std::fprintf(stderr, "gray balance table %d: best shifts leave %.2f levels\n", target.tableNumber, left);
    for (int j = 0; j < kBalancedNodes; ++j) {
      std::fprintf(stderr, "  node %2d (gray %3d prints %5.1f %5.1f %5.1f): cyan %+.3f magenta %+.3f yellow %+.3f\n", j,
                   ProbeGray(j), values[j][0] * 255, values[j][1] * 255, values[j][2] * 255,
                   design.neutralShift[j][0], design.neutralShift[j][1], design.neutralShift[j][2]);
    }
  }
  return left;
}

}  // namespace vantik::resgen
