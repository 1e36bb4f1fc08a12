#include "printmodel/node_correction.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "printmodel/gamut_map.h"
#include "printmodel/patch_printer.h"

namespace vantik::printmodel {
namespace {

using Matrix3 = std::array<std::array<double, 3>, 3>;  // [Lab component][ink]

// Largest move of one ink in one round.
constexpr double kMaxStep = 0.15;
// Grays printed between two neighbouring gray nodes: kBetween - 1 of them.
constexpr int kBetween = 4;
// Tones below this multiple of the printed black are spread over its range.
constexpr double kBlackKnee = 2.5;

std::array<double, 3> Residual(const Lab& target, const Lab& got) {
  return {target.l - got.l, target.a - got.a, target.b - got.b};
}

// d(Lab)/d(ink) of the printer's flat tint for cyan, magenta and yellow.
Matrix3 PrinterJacobian(const Printer& printer, const Inks& ink) {
  Matrix3 j{};
  const Lab at = printer.Print(ink);
  constexpr double h = 1e-3;
  for (int i = 0; i < 3; ++i) {
    Inks y = ink;
    const double step = y[i] + h <= 1.0 ? h : -h;
    y[i] += step;
    const Lab p = printer.Print(y);
    j[0][i] = (p.l - at.l) / step;
    j[1][i] = (p.a - at.a) / step;
    j[2][i] = (p.b - at.b) / step;
  }
  return j;
}

// The ink change d that best moves the print by r: (J^T J + lambda I) d =
// J^T r, lambda small against J^T J so that a flat direction (an ink that
// barely shows, as cyan under solid black) takes no wild step.
std::array<double, 3> SolveStep(const Matrix3& j, const std::array<double, 3>& r) {
  double a[3][4];
  double trace = 0;
  for (int p = 0; p < 3; ++p) {
    for (int q = 0; q < 3; ++q) {
      a[p][q] = 0;
      for (int c = 0; c < 3; ++c) a[p][q] += j[c][p] * j[c][q];
    }
    a[p][3] = 0;
    for (int c = 0; c < 3; ++c) a[p][3] += j[c][p] * r[c];
    trace += a[p][p];
  }
  const double lambda = 1e-3 * trace / 3 + 1e-9;
  for (int p = 0; p < 3; ++p) a[p][p] += lambda;
  for (int c = 0; c < 3; ++c) {
    int pivot = c;
    for (int row = c + 1; row < 3; ++row)
      if (std::fabs(a[row][c]) > std::fabs(a[pivot][c])) pivot = row;
    if (std::fabs(a[pivot][c]) < 1e-12) return {0, 0, 0};
    for (int k = 0; k < 4; ++k) std::swap(a[c][k], a[pivot][k]);
    for (int row = 0; row < 3; ++row) {
      if (row == c) continue;
      const double f = a[row][c] / a[c][c];
      for (int k = c; k < 4; ++k) a[row][k] -= f * a[c][k];
    }
  }
  return {a[0][3] / a[0][0], a[1][3] / a[1][1], a[2][3] / a[2][2]};
}

// Cyan, magenta and yellow back into 0..1 and, with black, under the limit.
void Project(Inks& x, double inkLimit) {
  for (int i = 0; i < 3; ++i) x[i] = std::clamp(x[i], 0.0, 1.0);
  const double room = std::max(0.0, inkLimit - x[3]);
  const double sum = x[0] + x[1] + x[2];
  if (sum > room && sum > 0) {
    for (int i = 0; i < 3; ++i) x[i] *= room / sum;
  }
}

// The black the halftone really prints (node 0, every ink at its most) can
// be lighter than the model's black that the targets were mapped onto: the
// darkest grays would then all aim below what any ink can print and land on
// the same black.  Their lightness is spread again over the printed black's
// range: targets below a knee of kBlackKnee times the printed black move
// linearly from [model black, knee] onto [printed black, knee].
void AimAtPrintedBlack(std::vector<BuiltNode>& nodes, std::span<const uint8_t> positions,
                       const Lab& printedBlack) {
  if (positions.empty() || positions[0] != 0) return;
  const double from = nodes[0].target.l, to = printedBlack.l;
  const double knee = std::min(100.0, kBlackKnee * to);
  if (to <= from || knee <= to) return;
  for (BuiltNode& node : nodes) {
    if (node.target.l >= knee) continue;
    node.target.l = to + (std::max(node.target.l, from) - from) * (knee - to) / (knee - from);
  }
}

}  // namespace

Result<CorrectionFigures> CorrectByPrinting(std::vector<BuiltNode>& nodes,
                                            std::span<const uint8_t> positions,
                                            std::span<const uint8_t> base, int tableNumber,
                                            ColorSettings settings, ResourceSet& resources,
                                            const PrintModel& model,
                                            const CorrectionOptions& options) {
  const size_t n = positions.size();
  if (n == 0 || nodes.size() != n * n * n) {
    return Status(RC_FAILURE, "the nodes do not fill the colour table");
  }
  const int rounds = settings.halftone.kind == 3 ? options.ditherRounds : options.rounds;
  if (options.patch <= options.settle || options.settle < 0 || rounds < 0) {
    return Status(RC_FAILURE, "correction patches leave nothing to read");
  }
  // A patch of every node, then grays between each two neighbouring grays
  // of the neutral axis: the engines mix the two grays' inks there, and a
  // mix of two different recipes can print with a cast, or out of tone,
  // where neither node does.
  std::vector<Rgb> probes;
  probes.reserve(nodes.size() + n);
  for (size_t j = 0; j < nodes.size(); ++j)
    probes.push_back({positions[j / (n * n)], positions[j / n % n], positions[j % n]});
  for (size_t j = 0; j + 1 < n; ++j) {
    for (int q = 1; q < kBetween; ++q) {
      const auto v = static_cast<uint8_t>(positions[j] + (positions[j + 1] - positions[j]) * q / kBetween);
      probes.push_back({v, v, v});
    }
  }
  // Where the grays between gray node j and the next lie among the probes,
  // and how much of node j's inks each mixes (the engines interpolate
  // linearly between nodes).
  auto between = [&](size_t j, int q) {
    return nodes.size() + j * (kBetween - 1) + static_cast<size_t>(q - 1);
  };
  auto share = [&](size_t j, int q) {
    const double v = positions[j] + (positions[j + 1] - positions[j]) * q / kBetween;
    return (positions[j + 1] - v) / (positions[j + 1] - positions[j]);
  };
  auto axis = [n](size_t j) { return (j * n + j) * n + j; };
  const PatchPrinter printer(std::move(probes), options.patch, options.settle, settings.halftone.kind);
  settings.halftone.lineWidth = static_cast<uint32_t>(printer.width());
  const ModelPrinter modelPrinter(model);
  const Printer& stepPrinter = options.printer != nullptr ? *options.printer : modelPrinter;

  // Writes the nodes into the set and reads what each one prints.
  auto printAll = [&]() -> Result<std::vector<Lab>> {
    std::vector<BuiltNode> stored = nodes;
    for (BuiltNode& node : stored) node.ink = stepPrinter.Stored(node.ink);
    Result<std::vector<uint8_t>> block = WriteBuiltTable(base, stored);
    if (!block.ok()) return block.status();
    resources.Add(Service::kColor, tableNumber, std::move(*block));
    return printer.Print(settings, resources, model);
  };

  const size_t count = nodes.size();
  std::vector<Matrix3> jacobian(count);
  std::vector<Inks> lastInk(count), bestInk(count);
  std::vector<Lab> lastLab(count);
  std::vector<double> bestError(count, 1e9);
  std::vector<Inks> axisBestInk(n);
  double axisBestError = 1e18;
  CorrectionFigures figures;
  for (int round = 0;; ++round) {
    Result<std::vector<Lab>> printed = printAll();
    if (!printed.ok()) return printed.status();
    if (round == 0) AimAtPrintedBlack(nodes, positions, (*printed)[0]);
    // Each gray between two gray nodes against neutral at the lightness
    // between the two nodes' targets.
    std::vector<std::array<double, 3>> midMiss((n - 1) * (kBetween - 1));
    for (size_t j = 0; j + 1 < n; ++j) {
      for (int q = 1; q < kBetween; ++q) {
        const double w = share(j, q);
        const Lab& got = (*printed)[between(j, q)];
        const double l = w * nodes[axis(j)].target.l + (1 - w) * nodes[axis(j + 1)].target.l;
        midMiss[between(j, q) - count] = {l - got.l, -got.a, -got.b};
      }
    }
    // A gray node of the axis (but white) answers for the grays beside it
    // by the share of its inks they mix.  (The grays toward white are left
    // to the white node, which takes no ink.)
    std::vector<std::array<double, 3>> axisResidual(n, {0.0, 0.0, 0.0});
    std::vector<double> axisMiss(n, 0.0), axisWeight(n, 0.0);
    for (size_t j = 0; j + 2 < n; ++j) {
      for (int q = 1; q < kBetween; ++q) {
        const std::array<double, 3>& r = midMiss[between(j, q) - count];
        const double miss = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
        for (const auto& [node, w] : {std::pair{j, share(j, q)}, std::pair{j + 1, 1 - share(j, q)}}) {
          for (int c = 0; c < 3; ++c) axisResidual[node][c] += w * r[c];
          axisMiss[node] += w * miss;
          axisWeight[node] += w * w;
        }
      }
    }
    double sum = 0, worst = 0, axisError = 0;
    for (size_t j = 0; j < count; ++j) {
      const double e = DeltaE2000((*printed)[j], nodes[j].target);
      sum += e;
      worst = std::max(worst, e);
      double judged = e;
      const size_t g = j / (n * n);
      if (j == axis(g)) {
        judged += axisMiss[g];
        axisError += judged;
      }
      if (judged < bestError[j]) {
        bestError[j] = judged;
        bestInk[j] = nodes[j].ink;
      }
    }
    if (options.monotoneAxis && axisError < axisBestError) {
      axisBestError = axisError;
      for (size_t g = 0; g < n; ++g) axisBestInk[g] = nodes[axis(g)].ink;
    }
    if (round == 0) {
      figures.meanBefore = sum / static_cast<double>(count);
      figures.maxBefore = worst;
      for (const auto& r : midMiss) figures.axisCastBefore = std::max(figures.axisCastBefore, std::hypot(r[1], r[2]));
    }
    if (round == rounds) break;
    figures.rounds = round + 1;
    for (size_t j = 0; j < count; ++j) {
      BuiltNode& node = nodes[j];
      const Lab got = (*printed)[j];
      if (round == 0) {
        jacobian[j] = PrinterJacobian(stepPrinter, node.ink);
      } else {
        // Broyden's update: the Jacobian learns what the last step really
        // did to this node's print.
        double dx[3], dxx = 0;
        for (int i = 0; i < 3; ++i) {
          dx[i] = node.ink[i] - lastInk[j][i];
          dxx += dx[i] * dx[i];
        }
        if (dxx > 1e-8) {
          const double df[3] = {got.l - lastLab[j].l, got.a - lastLab[j].a, got.b - lastLab[j].b};
          for (int c = 0; c < 3; ++c) {
            double predicted = 0;
            for (int i = 0; i < 3; ++i) predicted += jacobian[j][c][i] * dx[i];
            const double miss = (df[c] - predicted) / dxx;
            for (int i = 0; i < 3; ++i) jacobian[j][c][i] += miss * dx[i];
          }
        }
      }
      lastInk[j] = node.ink;
      lastLab[j] = got;
      // A node of black ink alone (the pure-black grays) stays so, so that
      // black text and lines carry no colour ink; a node already close
      // enough keeps its inks.
      if (node.ink[3] > 0 && node.ink[0] + node.ink[1] + node.ink[2] <= 0) continue;
      std::array<double, 3> residual = Residual(node.target, got);
      double miss = DeltaE2000(got, node.target);
      const size_t g = j / (n * n);
      if (j == axis(g) && g + 1 < n) {
        // Least squares over the node's own patch and the grays beside it,
        // each of which moves by the node's share of the step.
        for (int c = 0; c < 3; ++c) residual[c] = (residual[c] + axisResidual[g][c]) / (1.0 + axisWeight[g]);
        miss += axisMiss[g];
      }
      if (miss <= options.tolerance) continue;
      const std::array<double, 3> d = SolveStep(jacobian[j], residual);
      Inks next = node.ink;
      for (int i = 0; i < 3; ++i) {
        next[i] += std::clamp(options.damping * d[static_cast<size_t>(i)], -kMaxStep, kMaxStep);
      }
      Project(next, options.inkLimit);
      node.ink = next;
    }
    if (options.monotoneAxis) MakeAxisMonotone(nodes, n, options.inkLimit);
  }
  // Every node keeps the inks that printed closest to its target.
  for (size_t j = 0; j < count; ++j) {
    nodes[j].ink = bestInk[j];
    if (options.monotoneAxis && j == axis(j / (n * n))) nodes[j].ink = axisBestInk[j / (n * n)];
    nodes[j].printed = stepPrinter.Print(nodes[j].ink);
  }
  Result<std::vector<Lab>> final = printAll();
  if (!final.ok()) return final.status();
  for (size_t m = count; m < final->size(); ++m) {
    figures.axisCastAfter = std::max(figures.axisCastAfter, std::hypot((*final)[m].a, (*final)[m].b));
  }
  double sum = 0, worst = 0;
  for (size_t j = 0; j < count; ++j) {
    const double e = DeltaE2000((*final)[j], nodes[j].target);
    sum += e;
    worst = std::max(worst, e);
  }
  figures.meanAfter = sum / static_cast<double>(count);
  figures.maxAfter = worst;
  return figures;
}

}  // namespace vantik::printmodel
