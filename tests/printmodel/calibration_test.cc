// Calibration from measured ramps: ramps of a printer with strong, uneven dot
// gain, turned into calibration blocks and read back through the library's
// own resource sequence, print each ink with density linear in its value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "printmodel/calibration.h"
#include "printmodel/synthetic_printer.h"
#include "vantik/default_resources.h"

namespace vantik::printmodel {
namespace {

// A printer far from linear, each ink in its own way: cyan spreads a lot,
// magenta loses small dots, yellow spreads less, black follows an S.
PrintModel NonlinearPrinter() {
  PrintModel printer = SyntheticModel();
  double (*gain[kInks])(double) = {
      [](double c) { return 1 - std::pow(1 - c, 2.5); }, [](double c) { return std::pow(c, 1.6); },
      [](double c) { return 1 - std::pow(1 - c, 1.8); },
      [](double c) { return 0.5 - 0.5 * std::cos(3.14159265358979 * c); }};
  for (int k = 0; k < kInks; ++k) {
    std::vector<std::array<double, 2>> pts;
    for (int i = 1; i < 100; ++i) pts.push_back({i / 100.0, gain[k](i / 100.0)});
    printer.SetDotGain(k, pts);
  }
  return printer;
}

MeasurementSet Measure(const PrintModel& printer, int steps) {
  MeasurementSet set;
  set.name = "ramps";
  for (const auto& p : CalibrationPatches(steps)) set.samples.push_back({p, printer.Predict(p)});
  return set;
}

// Density of ink k alone at value v, relative to its solid, in the channel
// the solid absorbs most.
double RelativeDensity(const PrintModel& printer, int k, double v) {
  auto channel = [](const Xyz& c, int i) { return i == 0 ? c.x : i == 1 ? c.y : c.z; };
  std::array<double, kInks> solid{};
  solid[k] = 1;
  const Xyz s = printer.Predict(solid), paper = printer.paper();
  int ch = 0;
  for (int i = 1; i < 3; ++i) {
    if (channel(s, i) / channel(paper, i) < channel(s, ch) / channel(paper, ch)) ch = i;
  }
  std::array<double, kInks> tint{};
  tint[k] = v;
  return std::log10(channel(paper, ch) / channel(printer.Predict(tint), ch)) /
         std::log10(channel(paper, ch) / channel(s, ch));
}

// Largest distance of relative density from value / 255 along a ramp whose
// value u prints as curve[u].
double Nonlinearity(const PrintModel& printer, int k, const uint8_t* curve) {
  double worst = 0;
  for (int u = 0; u < 256; ++u) {
    worst = std::max(worst, std::abs(RelativeDensity(printer, k, curve[u] / 255.0) - u / 255.0));
  }
  return worst;
}

ResourceSet DefaultsWith(const CalibrationBlocks& b) {
  ResourceSet set;
  for (const resources::Block& block : resources::Defaults()) {
    set.AddView(block.service == resources::Service::kColor ? Service::kColor : Service::kHalftone,
                block.number, block.bytes);
  }
  set.Add(Service::kColor, 990, std::vector<uint8_t>(b.reference.begin(), b.reference.end()));
  // Every curve block the calibration index names, as `calibrate build`
  // replaces them.
  const auto index = set.Find(Service::kColor, resources::kCalibrationIndex);
  EXPECT_TRUE(index.has_value());
  std::optional<IndexNames> names;
  if (index) names = ReadIndexNames(*index);
  EXPECT_TRUE(names.has_value());
  if (names) {
    for (const IndexNames::Entry& e : names->entries) set.Add(Service::kColor, e.table, b.curves);
  }
  return set;
}

TEST(Calibration, MeasuredRampsPrintLinearThroughTheResourceSequence) {
  const PrintModel printer = NonlinearPrinter();
  Result<CalibrationBlocks> b = BuildCalibration(Measure(printer, 20));
  ASSERT_TRUE(b.ok()) << b.status().message();

  uint8_t identity[256];
  for (int u = 0; u < 256; ++u) identity[u] = static_cast<uint8_t>(u);
  for (int k = 0; k < kInks; ++k) {
    const double before = Nonlinearity(printer, k, identity);
    const double own = Nonlinearity(printer, k, b->linearising[k].data());
    const double row = Nonlinearity(printer, k, &b->curves[size_t(b->row[k]) * 256]);
    std::printf("ink %d: row %d (reference %d), density off by %.3f uncalibrated, %.3f on its "
                "own curve, %.3f on its row\n",
                k, b->row[k], b->reference[k], before, own, row);
    EXPECT_GT(before, 0.1) << "the printer must be far from linear for the test to mean much";
    EXPECT_LT(own, 0.01) << k;
    EXPECT_LT(row, 0.03) << k;
  }
  // The inks gain differently, so they do not all take one row.
  EXPECT_NE(*std::min_element(b->row.begin(), b->row.end()),
            *std::max_element(b->row.begin(), b->row.end()));

  // The library applies, node by node, the row each ink's reference level
  // selects for the user's level.
  const ResourceSet resources = DefaultsWith(*b);
  ColorSettings plain;
  Result<ColorMatcher> uncalibrated = ColorMatcher::Create(plain, resources);
  ASSERT_TRUE(uncalibrated.ok()) << uncalibrated.status().message();
  std::vector<uint8_t> rgb;
  const int nodes[] = {0, 32, 64, 96, 128, 160, 192, 224, 255};
  for (int r : nodes)
    for (int g : nodes)
      for (int bl : nodes) rgb.insert(rgb.end(), {uint8_t(r), uint8_t(g), uint8_t(bl)});
  const size_t n = rgb.size() / 3;
  std::vector<uint8_t> base(n * 4);
  ASSERT_TRUE(uncalibrated->Translate(rgb, base).ok());
  for (int level : {30, 50, 70}) {
    ColorSettings calibrated = plain;
    calibrated.calibration = Calibration{0, {level, level, level, level}};
    Result<ColorMatcher> m = ColorMatcher::Create(calibrated, resources);
    ASSERT_TRUE(m.ok()) << m.status().message();
    std::vector<uint8_t> out(n * 4);
    ASSERT_TRUE(m->Translate(rgb, out).ok());
    for (int k = 0; k < kInks; ++k) {
      const uint8_t* curve = &b->curves[size_t(CalibrationRow(level, b->reference[k])) * 256];
      int worst = 0;
      for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(out[i * 4 + k] - curve[base[i * 4 + k]]));
      EXPECT_LE(worst, 1) << "level " << level << " ink " << k;
    }
  }
}

// Lower levels print lighter, higher darker, on every ink.
TEST(Calibration, LevelsStillRunFromLighterToDarker) {
  Result<CalibrationBlocks> b = BuildCalibration(Measure(NonlinearPrinter(), 20));
  ASSERT_TRUE(b.ok());
  for (int k = 0; k < kInks; ++k) {
    for (int u : {64, 128, 192}) {
      int previous = -1;
      for (int level = 30; level <= 70; level += 10) {
        const int v = b->curves[size_t(CalibrationRow(level, b->reference[k])) * 256 + u];
        EXPECT_GE(v, previous) << "ink " << k << " value " << u << " level " << level;
        previous = v;
      }
    }
  }
}

TEST(Calibration, RampsThatCannotCalibrateAreRefused) {
  const PrintModel printer = SyntheticModel();
  MeasurementSet noPaper = Measure(printer, 10);
  noPaper.samples.erase(noPaper.samples.begin());
  MeasurementSet noYellowRamp = Measure(printer, 10);
  std::erase_if(noYellowRamp.samples, [](const Sample& s) { return s.ink[kYellow] > 0 && s.ink[kYellow] < 1; });
  struct Case {
    const char* what;
    const MeasurementSet& set;
    const char* message;
  } cases[] = {{"no paper", noPaper, "bare paper"}, {"no yellow ramp", noYellowRamp, "yellow"}};
  for (const Case& c : cases) {
    Result<CalibrationBlocks> r = BuildCalibration(c.set);
    ASSERT_FALSE(r.ok()) << c.what;
    EXPECT_NE(r.status().message().find(c.message), std::string::npos) << r.status().message();
  }
}

TEST(Calibration, TargetListsPaperAndEachInkAlone) {
  Result<MeasurementSet> none = ParseMeasurements(CalibrationTarget(4), "target");
  // The target has no colour columns until it is measured.
  ASSERT_FALSE(none.ok());
  EXPECT_NE(none.status().message().find("XYZ"), std::string::npos);
  EXPECT_EQ(CalibrationPatches(4).size(), 1u + 4 * 4);
}

}  // namespace
}  // namespace vantik::printmodel
