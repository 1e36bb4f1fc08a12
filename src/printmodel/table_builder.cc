#include "printmodel/table_builder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "formats/table_block.h"
#include "interface/byte_reader.h"

namespace vantik::printmodel {
namespace {

double Clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }

double Distance2(const Lab& a, const Lab& b) {
  const double dl = a.l - b.l, da = a.a - b.a, db = a.b - b.b;
  return dl * dl + da * da + db * db;
}

// Lightness (L*) below which a colour the colour inks cannot reach may take
// more black than the black curve gives it.
constexpr double kExtraBlackBelow = 50.0;

}  // namespace

Result<BlackCurve> BlackCurveByName(const std::string& name) {
  if (name == "none") return BlackCurve{1.0, 1.0};
  if (name == "light") return BlackCurve{0.65, 2.2};
  if (name == "medium") return BlackCurve{0.5, 1.8};
  if (name == "heavy") return BlackCurve{0.3, 1.4};
  if (name == "max") return BlackCurve{0.0, 1.0};
  return Status(RC_FAILURE, "--black " + name + ": expected none, light, medium, heavy or max");
}

TableBuilder::TableBuilder(const Printer& printer, const BuildSettings& settings)
    : printer_(&printer),
      settings_(settings),
      gamut_(printer, settings.inkLimit, false, settings.keepTones),
      blackOnlyGamut_(printer, settings.inkLimit, true, settings.keepTones) {}

TableBuilder::TableBuilder(const PrintModel& model, const BuildSettings& settings)
    : TableBuilder(std::make_unique<ModelPrinter>(model), settings) {}

TableBuilder::TableBuilder(std::unique_ptr<const Printer> owned, const BuildSettings& settings)
    : owned_(std::move(owned)),
      printer_(owned_.get()),
      settings_(settings),
      gamut_(*printer_, settings.inkLimit, false, settings.keepTones),
      blackOnlyGamut_(*printer_, settings.inkLimit, true, settings.keepTones) {}

double TableBuilder::PreferredBlack(double darkness) const {
  const BlackCurve& c = settings_.black;
  if (darkness <= c.start || c.start >= 1.0) return 0.0;
  return std::min(settings_.inkLimit, std::pow((darkness - c.start) / (1.0 - c.start), c.power));
}

Inks TableBuilder::Solve(const Lab& target, double k, Inks start) const {
  // Damped Gauss-Newton on cyan, magenta and yellow with a numerical
  // Jacobian; each step is projected back into the unit box and under the
  // ink limit.
  const double room = std::max(0.0, settings_.inkLimit - k);
  auto project = [&](Inks& x) {
    for (int i = 0; i < 3; ++i) x[i] = Clamp01(x[i]);
    const double sum = x[0] + x[1] + x[2];
    if (sum > room) {
      const double s = room / sum;
      for (int i = 0; i < 3; ++i) x[i] *= s;
    }
  };
  Inks x = start;
  x[3] = k;
  project(x);
  Lab got = Printed(x);
  double err = Distance2(got, target);
  double lambda = 1e-3;
  for (int iter = 0; iter < 40 && err > 1e-6; ++iter) {
    double jac[3][3];
    constexpr double h = 1e-4;
    for (int i = 0; i < 3; ++i) {
      Inks y = x;
      const double step = y[i] + h <= 1.0 ? h : -h;
      y[i] += step;
      const Lab p = Printed(y);
      jac[0][i] = (p.l - got.l) / step;
      jac[1][i] = (p.a - got.a) / step;
      jac[2][i] = (p.b - got.b) / step;
    }
    const double res[3] = {target.l - got.l, target.a - got.a, target.b - got.b};
    // Normal equations (J^T J + lambda diag) d = J^T r.
    double a[3][3], g[3];
    for (int i = 0; i < 3; ++i) {
      g[i] = 0;
      for (int r = 0; r < 3; ++r) g[i] += jac[r][i] * res[r];
      for (int j = 0; j < 3; ++j) {
        a[i][j] = 0;
        for (int r = 0; r < 3; ++r) a[i][j] += jac[r][i] * jac[r][j];
      }
    }
    bool improved = false;
    for (int attempt = 0; attempt < 8 && !improved; ++attempt) {
      double m[3][4];
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) m[i][j] = a[i][j] + (i == j ? lambda * (a[i][i] + 1e-6) : 0);
        m[i][3] = g[i];
      }
      // Gaussian elimination with partial pivoting.
      bool singular = false;
      for (int c = 0; c < 3 && !singular; ++c) {
        int p = c;
        for (int r = c + 1; r < 3; ++r)
          if (std::fabs(m[r][c]) > std::fabs(m[p][c])) p = r;
        if (std::fabs(m[p][c]) < 1e-12) {
          singular = true;
          break;
        }
        for (int j = 0; j < 4; ++j) std::swap(m[c][j], m[p][j]);
        for (int r = 0; r < 3; ++r) {
          if (r == c) continue;
          const double f = m[r][c] / m[c][c];
          for (int j = c; j < 4; ++j) m[r][j] -= f * m[c][j];
        }
      }
      if (singular) {
        lambda *= 10;
        continue;
      }
      Inks y = x;
      for (int i = 0; i < 3; ++i) y[i] += m[i][3] / m[i][i];
      project(y);
      const Lab p = Printed(y);
      const double e = Distance2(p, target);
      if (e < err) {
        x = y;
        got = p;
        err = e;
        lambda = std::max(1e-6, lambda * 0.3);
        improved = true;
      } else {
        lambda *= 10;
      }
    }
    if (!improved) break;
  }
  return x;
}

Inks TableBuilder::BlackOnly(double l) const {
  // Black ink alone prints darker the more of it there is: bisect for the
  // amount that prints lightness l.
  double lo = 0, hi = std::min(1.0, settings_.inkLimit);
  for (int i = 0; i < 40; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (Printed({0, 0, 0, mid}).l > l) lo = mid;
    else hi = mid;
  }
  return {0, 0, 0, 0.5 * (lo + hi)};
}

Inks TableBuilder::SolveNode(const Lab& target, double darkness, const Inks& start) const {
  const double preferred = PreferredBlack(darkness);
  Inks best = Solve(target, preferred, start);
  double bestErr = Distance2(Printed(best), target);
  if (bestErr <= 1.0) return best;
  // The curve's black may be too much for a dark saturated colour (black
  // greys it): less black, or a fresh start, may reach it.
  const Inks starts[] = {start, {0.2, 0.2, 0.2, 0}, {0.9, 0.9, 0.9, 0}};
  for (double share : {1.0, 0.75, 0.5, 0.25, 0.0}) {
    for (const Inks& s : starts) {
      const Inks x = Solve(target, preferred * share, s);
      // A small penalty per step away from the curve keeps black where
      // it does no harm.
      const double e = Distance2(Printed(x), target) + 0.25 * (1.0 - share);
      if (e < bestErr) {
        best = x;
        bestErr = e;
      }
    }
  }
  // Or too little for a dark colour under the ink limit, which then prints
  // too light: black darkens with the least ink, so more of it leaves room
  // to reach the target.  Not in light colours, where black dots show as
  // grain: there the colour inks alone come as close as they can.  The
  // steps are fine because a dark saturated colour is often reachable only
  // in a narrow band of black: too little leaves the colour inks at the
  // limit and the print too light, too much greys it.
  const double most = std::min(1.0, settings_.inkLimit);
  if (bestErr > 1.0 && preferred < most && Printed(best).l > target.l && target.l < kExtraBlackBelow) {
    for (double more : {0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1.0}) {
      for (const Inks& s : starts) {
        const Inks x = Solve(target, preferred + (most - preferred) * more, s);
        const double e = Distance2(Printed(x), target) + 0.25 * more;
        if (e < bestErr) {
          best = x;
          bestErr = e;
        }
      }
    }
  }
  return best;
}

std::vector<BuiltNode> TableBuilder::Build(std::span<const uint8_t> positions) const {
  const int n = static_cast<int>(positions.size());
  std::vector<BuiltNode> nodes(static_cast<size_t>(n) * n * n);
  auto at = [&](int a, int b, int c) -> BuiltNode& {
    return nodes[(static_cast<size_t>(a) * n + b) * n + c];
  };
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      for (int c = 0; c < n; ++c) {
        const double r = positions[a] / 255.0, g = positions[b] / 255.0, bl = positions[c] / 255.0;
        const double darkness = 1.0 - std::max({r, g, bl});
        const bool onAxis = a == b && b == c;
        BuiltNode& node = at(a, b, c);
        const Lab source = SrgbToLab(r, g, bl);
        if (settings_.pureBlack && onAxis) {
          // The neutral axis maps onto black ink's own range, so that the
          // darkest grays need no colour ink to reach their lightness.
          node.target = blackOnlyGamut_.Map({source.l, 0, 0});
          if (darkness >= settings_.pureBlackFrom) {
            node.ink = BlackOnly(node.target.l);
            node.printed = Printed(node.ink);
            continue;
          }
        } else {
          node.target = gamut_.Map(onAxis ? Lab{source.l, 0, 0} : source);
        }
        // Start from the neighbour solved last along the fastest axis, or
        // the one before it on the next axis at the start of a row.
        Inks start = {0, 0, 0, 0};
        if (c > 0) start = at(a, b, c - 1).ink;
        else if (b > 0) start = at(a, b - 1, c).ink;
        else if (a > 0) start = at(a - 1, b, c).ink;
        if (settings_.monotoneAxis && onAxis) {
          // The axis keeps the curve's black, even where another amount
          // would come closer, so that black rises smoothly toward solid.
          double k = PreferredBlack(darkness);
          if (settings_.axisBlackShare > 0) {
            const double alone = BlackOnly(node.target.l)[3];
            const double share = settings_.axisBlackShare;
            k = alone * (share + (1.0 - share) * alone * alone * alone);
          }
          node.ink = Solve(node.target, k, start);
        } else {
          node.ink = SolveNode(node.target, darkness, start);
        }
        node.printed = Printed(node.ink);
      }
    }
  }
  if (settings_.continuityRounds > 0) SmoothRecipes(nodes, positions, settings_.continuityRounds);
  if (settings_.monotoneAxis) {
    MakeAxisMonotone(nodes, static_cast<size_t>(n), settings_.inkLimit);
    for (int j = 0; j < n; ++j) at(j, j, j).printed = Printed(at(j, j, j).ink);
  }
  // The neutral axis, from white down: each gray at least as much of every
  // ink as the lighter one before it, so it never prints lighter.
  for (int j = n - 2; j >= 0; --j) {
    BuiltNode& node = at(j, j, j);
    const BuiltNode& lighter = at(j + 1, j + 1, j + 1);
    if (node.printed.l < lighter.printed.l) continue;
    for (int i = 0; i < kInks; ++i) node.ink[i] = std::max(node.ink[i], lighter.ink[i]);
    node.printed = Printed(node.ink);
  }
  return nodes;
}

int TableBuilder::SmoothRecipes(std::vector<BuiltNode>& nodes, std::span<const uint8_t> positions,
                                int rounds) const {
  const int n = static_cast<int>(positions.size());
  if (n < 2 || nodes.size() != static_cast<size_t>(n) * n * n) return 0;
  auto index = [&](int a, int b, int c) { return (static_cast<size_t>(a) * n + b) * n + c; };
  // The colour halfway along each grid edge, mapped into the gamut as the
  // nodes' own targets are: mid[d][i] for the edge from node i one step up
  // axis d (red, green, blue).
  std::array<std::vector<Lab>, 3> mid;
  for (auto& m : mid) m.resize(nodes.size());
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      for (int c = 0; c < n; ++c) {
        const int at[3] = {a, b, c};
        for (int d = 0; d < 3; ++d) {
          if (at[d] + 1 >= n) continue;
          double rgb[3];
          for (int e = 0; e < 3; ++e) {
            const int up = e == d ? at[e] + 1 : at[e];
            rgb[e] = 0.5 * (positions[static_cast<size_t>(at[e])] + positions[static_cast<size_t>(up)]) / 255.0;
          }
          mid[static_cast<size_t>(d)][index(a, b, c)] = gamut_.Map(SrgbToLab(rgb[0], rgb[1], rgb[2]));
        }
      }
    }
  }
  struct Edge {
    size_t neighbour;
    const Lab* target;  // the colour halfway to it
  };
  int changed = 0;
  for (int round = 0; round < rounds; ++round) {
    int changedThisRound = 0;
    for (int a = 0; a < n; ++a) {
      for (int b = 0; b < n; ++b) {
        for (int c = 0; c < n; ++c) {
          // The neutral axis keeps its own rules (black alone, rising
          // inks), which the steps after this one rely on.
          if (a == b && b == c) continue;
          const size_t self = index(a, b, c);
          BuiltNode& node = nodes[self];
          const int at[3] = {a, b, c};
          // Black dots show as grain in light colours: a node the solve
          // gave no black to (see SolveNode) takes none from its
          // neighbours either.
          const double lightest = std::max({positions[static_cast<size_t>(a)], positions[static_cast<size_t>(b)],
                                            positions[static_cast<size_t>(c)]}) / 255.0;
          const bool blackAllowed = PreferredBlack(1.0 - lightest) > 0 || node.target.l < kExtraBlackBelow;
          std::array<Edge, 6> edges;
          size_t count = 0;
          for (int d = 0; d < 3; ++d) {
            int step[3] = {0, 0, 0};
            step[d] = 1;
            if (at[d] > 0) {
              const size_t down = index(a - step[0], b - step[1], c - step[2]);
              edges[count++] = {down, &mid[static_cast<size_t>(d)][down]};
            }
            if (at[d] + 1 < n)
              edges[count++] = {index(a + step[0], b + step[1], c + step[2]), &mid[static_cast<size_t>(d)][self]};
          }
          auto cost = [&](const Inks& x, const Lab& printed) {
            double sum = Distance2(printed, node.target);
            for (size_t e = 0; e < count; ++e) {
              const Inks& other = nodes[edges[e].neighbour].ink;
              Inks half;
              for (int i = 0; i < kInks; ++i) half[i] = 0.5 * (x[i] + other[i]);
              sum += Distance2(Printed(half), *edges[e].target);
            }
            return sum;
          };
          double bestCost = cost(node.ink, node.printed);
          Inks best = node.ink;
          Lab bestPrinted = node.printed;
          bool better = false;
          for (size_t e = 0; e < count; ++e) {
            const Inks& other = nodes[edges[e].neighbour].ink;
            // Each black amount once, not the node's own, and none where
            // black is not allowed.
            bool seen = other[3] == node.ink[3] || (other[3] > 0 && !blackAllowed);
            for (size_t f = 0; f < e && !seen; ++f) seen = nodes[edges[f].neighbour].ink[3] == other[3];
            if (seen) continue;
            const Inks x = Solve(node.target, other[3], other);
            const Lab printed = Printed(x);
            const double cx = cost(x, printed);
            if (cx < bestCost) {
              bestCost = cx;
              best = x;
              bestPrinted = printed;
              better = true;
            }
          }
          if (better) {
            node.ink = best;
            node.printed = bestPrinted;
            ++changedThisRound;
          }
        }
      }
    }
    changed += changedThisRound;
    if (changedThisRound == 0) break;
  }
  return changed;
}

void MakeAxisMonotone(std::span<BuiltNode> nodes, size_t n, double inkLimit) {
  if (n == 0 || nodes.size() != n * n * n) return;
  auto axis = [&](size_t j) -> Inks& { return nodes[(j * n + j) * n + j].ink; };
  // Pool-adjacent-violators: the least-squares sequence that does not
  // rise from node 0 (black) to node n-1 (white).
  auto isotonic = [&](int ink) {
    std::vector<double> value, weight;
    std::vector<size_t> count;
    for (size_t j = 0; j < n; ++j) {
      value.push_back(axis(j)[ink]);
      weight.push_back(1.0);
      count.push_back(1);
      while (value.size() > 1 && value[value.size() - 2] < value.back()) {
        const size_t b = value.size() - 1;
        const double w = weight[b - 1] + weight[b];
        value[b - 1] = (value[b - 1] * weight[b - 1] + value[b] * weight[b]) / w;
        weight[b - 1] = w;
        count[b - 1] += count[b];
        value.pop_back();
        weight.pop_back();
        count.pop_back();
      }
    }
    size_t j = 0;
    for (size_t b = 0; b < value.size(); ++b)
      for (size_t k = 0; k < count[b]; ++k) axis(j++)[ink] = value[b];
  };
  for (int round = 0; round < 50; ++round) {
    for (int ink = 0; ink < kInks; ++ink) isotonic(ink);
    bool within = true;
    for (size_t j = 0; j < n; ++j) {
      Inks& x = axis(j);
      const double room = std::max(0.0, inkLimit - x[3]);
      const double sum = x[0] + x[1] + x[2];
      if (sum > room + 1e-9) {
        within = false;
        for (int i = 0; i < 3; ++i) x[i] *= room / sum;
      }
    }
    if (within) break;
  }
  // Whatever the rounds left over: no ink of a lighter gray above the
  // darker one's.  This only lowers inks, so the limit still holds.
  for (size_t j = 1; j < n; ++j)
    for (int i = 0; i < kInks; ++i) axis(j)[i] = std::min(axis(j)[i], axis(j - 1)[i]);
}

uint8_t LevelForCoverage(double coverage, int weightLight, int weightFull) {
  coverage = Clamp01(coverage);
  int best = 0;
  double bestError = 2.0;
  for (int v = 0; v < 256; ++v) {
    const int light = 255 - v;
    const int weight = ((light * light * (weightLight - weightFull) + 1) / 255 + 255 * weightFull) / 100;
    const double printed = weight > 0 ? static_cast<double>(v) / weight : 1.0;
    const double error = std::fabs(printed - coverage);
    if (error < bestError) {
      bestError = error;
      best = v;
    }
  }
  return static_cast<uint8_t>(best);
}

Result<std::vector<uint8_t>> RebuildablePositions(std::span<const uint8_t> base) {
  ByteReader reader(base.data(), base.size());
  formats::TableBlockView view;
  if (!formats::ParseTableBlock(reader, view).ok())
    return Status(RC_FAILURE, "not a colour table block");
  if (view.w != 4) return Status(RC_FAILURE, "not a four-ink colour table");
  const int n = view.n;
  std::vector<uint8_t> positions(view.positions, view.positions + n);
  for (int axis = 1; axis < 3; ++axis)
    if (!std::equal(positions.begin(), positions.end(), view.positions + axis * n))
      return Status(RC_FAILURE, "colour table with different positions per axis");
  return positions;
}

Result<std::vector<uint8_t>> WriteBuiltTable(std::span<const uint8_t> base,
                                             std::span<const BuiltNode> nodes) {
  Result<std::vector<uint8_t>> positions = RebuildablePositions(base);
  if (!positions.ok()) return positions.status();
  ByteReader reader(base.data(), base.size());
  formats::TableBlockView view;
  if (!formats::ParseTableBlock(reader, view).ok())
    return Status(RC_FAILURE, "not a colour table block");
  const int n = view.n;
  if (nodes.size() != static_cast<size_t>(n) * n * n)
    return Status(RC_FAILURE, "the nodes do not fill the colour table");
  const formats::TableHeader& h = view.header;
  formats::TableContent t;
  t.tag = h.tag;
  t.tableClass = h.tableClass;
  t.tableType = h.tableType;
  std::copy(h.primaryGain, h.primaryGain + 3, t.primaryGain);
  std::copy(h.hueShift, h.hueShift + 3, t.hueShift);
  t.saturationBoost = h.saturationBoost;
  std::copy(h.secondaryGain, h.secondaryGain + 3, t.secondaryGain);
  std::copy(h.weights, h.weights + 5, t.weights);
  std::copy(h.params, h.params + 4, t.params);
  t.n = n;
  t.w = 4;
  t.positions.assign(view.positions, view.positions + 3 * n);
  t.table.reserve(nodes.size() * 4);
  for (const BuiltNode& node : nodes)
    for (int i = 0; i < kInks; ++i)
      t.table.push_back(LevelForCoverage(node.ink[i], h.weights[0], h.weights[1]));
  if (view.gray != nullptr) t.gray.assign(view.gray, view.gray + n);
  else t.gray.assign(static_cast<size_t>(n), 0);
  for (int j = 0; j < n; ++j) {
    const uint8_t* node = t.table.data() + formats::TableNode(n, 4, j, j, j);
    t.diagonal.insert(t.diagonal.end(), node, node + 4);
  }
  return formats::WriteTableBlock(t);
}

Result<std::vector<uint8_t>> RebuildTableBlock(std::span<const uint8_t> base,
                                               const TableBuilder& builder) {
  Result<std::vector<uint8_t>> positions = RebuildablePositions(base);
  if (!positions.ok()) return positions.status();
  return WriteBuiltTable(base, builder.Build(*positions));
}

}  // namespace vantik::printmodel
