#include "printmodel/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantik::printmodel {

namespace {

constexpr const char* kNames[kInks] = {"cyan", "magenta", "yellow", "black"};
constexpr int kRows = 21;

double Channel(const Xyz& c, int i) { return i == 0 ? c.x : i == 1 ? c.y : c.z; }

// Makes the second members non-decreasing by pooling neighbours that fall
// (measurement noise must not make a ramp lighter as ink is added).
void PoolAdjacent(std::vector<std::array<double, 2>>* points) {
  std::vector<std::array<double, 2>> pools;  // mean, weight
  for (const auto& p : *points) {
    pools.push_back({p[1], 1});
    while (pools.size() > 1 && pools[pools.size() - 2][0] > pools.back()[0]) {
      const auto b = pools.back();
      pools.pop_back();
      auto& a = pools.back();
      a[0] = (a[0] * a[1] + b[0] * b[1]) / (a[1] + b[1]);
      a[1] += b[1];
    }
  }
  size_t i = 0;
  for (const auto& pool : pools) {
    for (int w = 0; w < static_cast<int>(pool[1]); ++w) (*points)[i++][1] = pool[0];
  }
}

// Value 0..1 at which the density curve reaches `target` (the first such
// value where the curve is flat).
double Inverse(const std::vector<std::array<double, 2>>& d, double target) {
  if (target <= d.front()[1]) return d.front()[0];
  for (size_t i = 1; i < d.size(); ++i) {
    if (d[i][1] >= target) {
      const double span = d[i][1] - d[i - 1][1];
      if (span <= 0) return d[i - 1][0];
      return d[i - 1][0] + (d[i][0] - d[i - 1][0]) * (target - d[i - 1][1]) / span;
    }
  }
  return d.back()[0];
}

double Lerp(const std::array<double, 256>& curve, double u) {
  u = std::clamp(u, 0.0, 255.0);
  const int i = std::min(254, static_cast<int>(u));
  const double f = u - i;
  return curve[i] * (1 - f) + curve[i + 1] * f;
}

// The lightness step with exponent e: value u asks for u' = 255 (u / 255)^e.
double Lightness(double e, double u) { return 255.0 * std::pow(u / 255.0, e); }

}  // namespace

int CalibrationRow(int level, int reference) {
  return std::clamp((level - reference + 20) / 2, 0, 20);
}

Result<std::array<std::vector<std::array<double, 2>>, kInks>> InkDensities(
    const MeasurementSet& set) {
  Xyz paper;
  int papers = 0;
  for (const Sample& s : set.samples) {
    if (s.ink[0] == 0 && s.ink[1] == 0 && s.ink[2] == 0 && s.ink[3] == 0) {
      paper.x += s.xyz.x;
      paper.y += s.xyz.y;
      paper.z += s.xyz.z;
      ++papers;
    }
  }
  if (papers == 0) return Status(RC_BAD_RESOURCE, set.name + ": no patch of bare paper");
  paper = {paper.x / papers, paper.y / papers, paper.z / papers};
  if (paper.x <= 0 || paper.y <= 0 || paper.z <= 0) {
    return Status(RC_BAD_RESOURCE, set.name + ": the paper measures black");
  }
  std::array<std::vector<std::array<double, 2>>, kInks> out;
  for (int k = 0; k < kInks; ++k) {
    std::vector<const Sample*> ramp;
    for (const Sample& s : set.samples) {
      bool alone = s.ink[k] > 0;
      for (int j = 0; j < kInks; ++j) alone = alone && (j == k || s.ink[j] == 0);
      if (alone) ramp.push_back(&s);
    }
    if (ramp.size() < 2) {
      return Status(RC_BAD_RESOURCE, set.name + ": fewer than two steps of " + kNames[k] +
                                         " alone; calibration needs a ramp of each ink");
    }
    // The channel the ink absorbs most, judged by its strongest patch.
    const Sample* strongest = *std::max_element(
        ramp.begin(), ramp.end(), [k](const Sample* a, const Sample* b) { return a->ink[k] < b->ink[k]; });
    int channel = 0;
    double best = -1;
    for (int i = 0; i < 3; ++i) {
      const double d = -std::log10(std::max(Channel(strongest->xyz, i), 1e-6) / Channel(paper, i));
      if (d > best) {
        best = d;
        channel = i;
      }
    }
    std::vector<std::array<double, 2>> d = {{0, 0}};
    for (const Sample* s : ramp) {
      d.push_back({s->ink[k], -std::log10(std::max(Channel(s->xyz, channel), 1e-6) /
                                          Channel(paper, channel))});
    }
    std::sort(d.begin(), d.end());
    PoolAdjacent(&d);
    out[k] = std::move(d);
  }
  return out;
}

Result<CalibrationBlocks> BuildCalibration(const MeasurementSet& set) {
  auto densities = InkDensities(set);
  if (!densities.ok()) return densities.status();
  CalibrationBlocks b;
  std::array<std::array<double, 256>, kInks> lin;
  for (int k = 0; k < kInks; ++k) {
    const auto& d = (*densities)[k];
    // The ramp's top step is the most the ink can print; values above the
    // measured range keep the last step's value.
    const double top = d.back()[1];
    for (int u = 0; u < 256; ++u) {
      lin[k][u] = top > 0 ? 255.0 * Inverse(d, top * u / 255.0) : u;
      b.linearising[k][u] = static_cast<uint8_t>(std::lround(std::clamp(lin[k][u], 0.0, 255.0)));
    }
  }
  // Each ink takes its own row, placed by how much ink its curve asks for
  // on average: one row for every 3.7 levels of difference from the mean of
  // the inks, about one step of the built-in curve block's lightness family.
  std::array<double, kInks> strength{};
  double meanStrength = 0;
  for (int k = 0; k < kInks; ++k) {
    for (int u = 0; u < 256; ++u) strength[k] += lin[k][u] / 256;
    meanStrength += strength[k] / kInks;
  }
  for (int k = 0; k < kInks; ++k) {
    b.row[k] = std::clamp(10 + static_cast<int>(std::lround((strength[k] - meanStrength) / 3.7)), 1, 19);
  }
  // Anchor rows hold their inks' curves (averaged where inks share a row).
  std::array<std::array<double, 256>, kRows> rows{};
  std::array<int, kRows> inksOnRow{};
  for (int k = 0; k < kInks; ++k) {
    for (int u = 0; u < 256; ++u) rows[b.row[k]][u] += lin[k][u];
    ++inksOnRow[b.row[k]];
  }
  std::vector<int> anchors;
  for (int r = 0; r < kRows; ++r) {
    if (inksOnRow[r] == 0) continue;
    for (int u = 0; u < 256; ++u) rows[r][u] /= inksOnRow[r];
    anchors.push_back(r);
  }
  // Rows between anchors blend their curves; rows beyond the outer anchors
  // step lightness from them as the built-in block does, exponent
  // 1.8^(rows / 10), lighter below and darker above.
  for (int r = 0; r < kRows; ++r) {
    if (inksOnRow[r] != 0) continue;
    if (r < anchors.front() || r > anchors.back()) {
      const int a = r < anchors.front() ? anchors.front() : anchors.back();
      const double e = std::pow(1.8, (a - r) / 10.0);
      for (int u = 0; u < 256; ++u) rows[r][u] = Lerp(rows[a], Lightness(e, u));
      continue;
    }
    const int hi = *std::upper_bound(anchors.begin(), anchors.end(), r);
    const int lo = *(std::upper_bound(anchors.begin(), anchors.end(), r) - 1);
    const double t = double(r - lo) / (hi - lo);
    for (int u = 0; u < 256; ++u) rows[r][u] = rows[lo][u] * (1 - t) + rows[hi][u] * t;
  }
  b.curves.resize(size_t(kRows) * 256);
  for (int r = 0; r < kRows; ++r) {
    for (int u = 0; u < 256; ++u) {
      b.curves[size_t(r) * 256 + u] = static_cast<uint8_t>(std::lround(std::clamp(rows[r][u], 0.0, 255.0)));
    }
  }
  for (int k = 0; k < kInks; ++k) {
    int worst = 0;
    for (int u = 0; u < 256; ++u) {
      worst = std::max(worst, std::abs(b.curves[size_t(b.row[k]) * 256 + u] - b.linearising[k][u]));
    }
    b.rowError[k] = worst;
    // Level 50 selects row (70 - reference) / 2.
    b.reference[k] = static_cast<uint8_t>(70 - 2 * b.row[k]);
  }
  return b;
}

std::vector<std::array<double, kInks>> CalibrationPatches(int steps) {
  std::vector<std::array<double, kInks>> patches = {{0, 0, 0, 0}};
  for (int k = 0; k < kInks; ++k) {
    for (int i = 1; i <= steps; ++i) {
      std::array<double, kInks> p{};
      p[k] = static_cast<double>(i) / steps;
      patches.push_back(p);
    }
  }
  return patches;
}

std::string CalibrationTarget(int steps) {
  const auto patches = CalibrationPatches(steps);
  std::string s =
      "CTI1\n\nDESCRIPTOR \"vantik calibration chart: paper, then each ink alone\"\n"
      "NUMBER_OF_FIELDS 5\nBEGIN_DATA_FORMAT\nSAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K\n"
      "END_DATA_FORMAT\nNUMBER_OF_SETS " +
      std::to_string(patches.size()) + "\nBEGIN_DATA\n";
  char line[128];
  for (size_t i = 0; i < patches.size(); ++i) {
    std::snprintf(line, sizeof line, "%zu %.2f %.2f %.2f %.2f\n", i + 1, patches[i][0] * 100,
                  patches[i][1] * 100, patches[i][2] * 100, patches[i][3] * 100);
    s += line;
  }
  s += "END_DATA\n";
  return s;
}

}  // namespace vantik::printmodel
