#include "separation.h"

#include <algorithm>
#include <cmath>

#include "formats/table_block.h"

namespace vantik::resgen {
namespace {

constexpr int kNodes = 17;

// Dot overlap of the diffusion kernels' cyan and magenta with black, as a
// share of independent dots' overlap.
constexpr double kDiffusionOverlapCyan = 1.2;
constexpr double kDiffusionOverlapMagenta = 0.7;

double Clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }

// Black generation: zero below the start, then rising with zero slope at the
// start (so gradients stay smooth) to full black at the darkest gray.
double BlackGeneration(double gray, const PaperModel& paper) {
  if (gray <= paper.blackStart) return 0.0;
  const double t = (gray - paper.blackStart) / (1.0 - paper.blackStart);
  return std::pow(t, paper.blackPower);
}

// Total-ink limit with a soft knee: colour ink above the knee is compressed
// smoothly toward the limit; black is kept.
void LimitInk(Coverage& cov, double limit) {
  const double colour = cov.c + cov.m + cov.y;
  const double total = colour + cov.k;
  const double knee = limit - 0.4;
  if (total <= knee || colour <= 0.0) return;
  const double span = limit - knee;
  const double target = knee + span * std::tanh((total - knee) / span);
  const double scale = std::max(0.0, (target - cov.k) / colour);
  cov.c *= scale;
  cov.m *= scale;
  cov.y *= scale;
}

}  // namespace

Coverage Separate(double r, double g, double b, const PaperModel& paper, DotLayout layout,
                  const std::array<double, 3>& shift) {
  // The darkest corner is the limit of the neighbouring grays; evaluating it
  // a hair above zero keeps the formulas below finite.
  constexpr double kTiny = 1e-6;
  r = std::max(r, kTiny);
  g = std::max(g, kTiny);
  b = std::max(b, kTiny);
  const double gray = 1.0 - std::max(r, std::max(g, b));
  const double k = layout == DotLayout::kStacked ? gray : BlackGeneration(gray, paper);
  // How each colour ink combines with black on its channel.
  // Overlap of a colour ink's dots with black's, as a share of what
  // independent placement gives (1: independent, 0: side by side, above 1:
  // gathered on the same cells).
  enum class Combine { kProduct, kMax, kSum, kOverlap };
  Combine combine[3] = {Combine::kProduct, Combine::kProduct, Combine::kProduct};
  double overlap[3] = {1.0, 1.0, 1.0};
  switch (layout) {
    case DotLayout::kIndependent:
      break;
    case DotLayout::kDiffusion:
      combine[0] = combine[1] = Combine::kOverlap;
      overlap[0] = kDiffusionOverlapCyan;
      overlap[1] = kDiffusionOverlapMagenta;
      break;
    case DotLayout::kNested:
      combine[0] = combine[1] = combine[2] = Combine::kMax;
      break;
    case DotLayout::kStacked:
      combine[0] = combine[1] = combine[2] = Combine::kSum;
      break;
    case DotLayout::kDitherBesideBlack:
      combine[0] = combine[2] = Combine::kSum;
      break;
    case DotLayout::kAllBesideBlack:
      combine[0] = combine[1] = combine[2] = Combine::kSum;
      break;
  }
  // The colour ink that, together with black, absorbs 1 - value of the
  // channel.  Black never exceeds the gray component, so every form stays
  // in 0 .. 1; the same rule on all three channels keeps neutrals neutral.
  auto ink = [&](double value, Combine how, double alpha) {
    switch (how) {
      case Combine::kOverlap: {
        // ink + k - alpha * ink * k = 1 - value; the overlap cannot exceed
        // the smaller coverage, which bounds alpha * k.
        const double a = std::min(alpha, 0.7 / std::max(k, 1e-9));
        return Clamp01((1.0 - value - k) / (1.0 - a * k));
      }
      case Combine::kProduct:
        return Clamp01(1.0 - value / (1.0 - k));  // (1 - ink)(1 - k) = value
      case Combine::kMax:
        return Clamp01(1.0 - value);  // black replaces the composite under it
      case Combine::kSum:
        return Clamp01(1.0 - value - k);  // ink + k = 1 - value
    }
    return 0.0;
  };
  Coverage cov{ink(r, combine[0], overlap[0]), ink(g, combine[1], overlap[1]), ink(b, combine[2], overlap[2]), k};
  if (layout == DotLayout::kDitherBesideBlack) {
    // Cyan and yellow fade to nothing under solid black; let magenta, which
    // black hides just as well there, fade with them rather than leave a
    // magenta-only rich black.
    cov.m *= 1.0 - std::pow(k, 8.0);
  }
  cov.c = Clamp01(cov.c + shift[0]);
  cov.m = Clamp01(cov.m + shift[1]);
  cov.y = Clamp01(cov.y + shift[2]);
  // Engine A's screens never stack more ink in a cell than the composite
  // needs; the engine B kernels do, so their tables carry the ink limit.
  if (layout == DotLayout::kNested || layout == DotLayout::kStacked) return cov;
  LimitInk(cov, paper.inkLimit);
  return cov;
}

double BlackOnly(double gray) { return Clamp01(1.0 - gray); }

int DotWeight(int level, int weightLight, int weightFull) {
  const int light = 255 - level;
  return ((light * light * (weightLight - weightFull) + 1) / 255 + 255 * weightFull) / 100;
}

uint8_t LevelForCoverage(double coverage, int weightLight, int weightFull) {
  coverage = Clamp01(coverage);
  int best = 0;
  double bestError = 2.0;
  for (int v = 0; v < 256; ++v) {
    const double printed = static_cast<double>(v) / DotWeight(v, weightLight, weightFull);
    const double error = std::fabs(printed - coverage);
    if (error < bestError) {
      bestError = error;
      best = v;
    }
  }
  return static_cast<uint8_t>(best);
}

std::vector<uint8_t> GridPositions() {
  std::vector<uint8_t> pos(kNodes);
  for (int i = 0; i < kNodes; ++i) pos[i] = static_cast<uint8_t>(std::min(255, i * 16));
  return pos;
}

std::vector<uint8_t> BuildTableBlock(const TableDesign& design) {
  const int n = kNodes;
  const int w = design.channels;
  formats::TableContent t;
  t.tag = design.tag;
  t.tableClass = 50;  // the block carries an explicit neutral axis
  t.tableType = 1;    // ink amounts, 0 = no ink
  // Gains, hue shifts, saturation boost stay 0: the separation already aims
  // at the input colours, so no ink-space correction is wanted.
  t.weights[0] = static_cast<int16_t>(design.paper.weightLight);
  t.weights[1] = static_cast<int16_t>(design.paper.weightFull);
  t.params[0] = 255;                                          // A: a single solid ink passes whole
  t.params[2] = static_cast<int16_t>(design.paper.limitParam);  // B: ink-total limit, 255 = 100 %
  t.n = n;
  t.w = w;

  const std::vector<uint8_t> pos = GridPositions();
  for (int axis = 0; axis < 3; ++axis) t.positions.insert(t.positions.end(), pos.begin(), pos.end());

  auto encode = [&](double coverage) -> uint8_t {
    if (design.compensateWeights)
      return LevelForCoverage(coverage, design.paper.weightLight, design.paper.weightFull);
    return static_cast<uint8_t>(std::lround(Clamp01(coverage) * 255.0));
  };

  t.table.assign(static_cast<size_t>(n) * n * n * w, 0);
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      for (int c = 0; c < n; ++c) {
        const double r = pos[a] / 255.0, g = pos[b] / 255.0, bl = pos[c] / 255.0;
        uint8_t* node = t.table.data() + formats::TableNode(n, w, a, b, c);
        if (w == 1) {
          node[0] = encode(BlackOnly(0.299 * r + 0.587 * g + 0.114 * bl));
          continue;
        }
        const Coverage cov =
            Separate(r, g, bl, design.paper, design.layout);
        node[0] = encode(cov.c);
        node[1] = encode(cov.m);
        node[2] = encode(cov.y);
        node[3] = encode(cov.k);
      }
    }
  }
  // Gray levels: the black-only rendering of each diagonal node, used when
  // the caller prints gray with black ink alone.
  for (int j = 0; j < n; ++j) t.gray.push_back(encode(BlackOnly(pos[j] / 255.0)));
  // Explicit neutral axis: the table's own diagonal nodes.
  for (int j = 0; j < n; ++j) {
    const uint8_t* node = t.table.data() + formats::TableNode(n, w, j, j, j);
    t.diagonal.insert(t.diagonal.end(), node, node + w);
  }
  return formats::WriteTableBlock(t);
}

}  // namespace vantik::resgen
