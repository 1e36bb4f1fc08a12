// The print model: fitting recovers a known model from its own measurements,
// the shipped measurement set fits within a stated error, bad measurement
// files are refused with a message that names the fault, and the dot-level
// mix agrees with the flat-tint prediction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

#include "printmodel/print_model.h"
#include "printmodel/synthetic_printer.h"

namespace vantik::printmodel {
namespace {

// Measurement text of `model`: the 16 overprints, a ramp per ink in steps
// of 10 %, and fixed pseudo-random mixes.
std::string MeasureAsCgats(const PrintModel& model, bool lab) {
  std::vector<std::array<double, kInks>> patches;
  for (int m = 0; m < kOverprints; ++m) {
    patches.push_back({double(m & 1), double(m >> 1 & 1), double(m >> 2 & 1), double(m >> 3 & 1)});
  }
  for (int k = 0; k < kInks; ++k) {
    for (int v = 10; v < 100; v += 10) {
      std::array<double, kInks> p{};
      p[k] = v / 100.0;
      patches.push_back(p);
    }
  }
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % 101 / 100.0;
  };
  for (int i = 0; i < 150; ++i) patches.push_back({next(), next(), next(), next() * 0.6});

  std::ostringstream s;
  s << "CTI3\n\nDESCRIPTOR \"synthetic printer\"\nNUMBER_OF_FIELDS 7\nBEGIN_DATA_FORMAT\n"
    << "CMYK_C CMYK_M CMYK_Y CMYK_K " << (lab ? "LAB_L LAB_A LAB_B" : "XYZ_X XYZ_Y XYZ_Z")
    << "\nEND_DATA_FORMAT\nNUMBER_OF_SETS " << patches.size() << "\nBEGIN_DATA\n";
  char line[200];
  for (const auto& p : patches) {
    const Xyz c = model.Predict(p);
    const Lab l = ToLab(c);
    std::snprintf(line, sizeof line, "%.2f %.2f %.2f %.2f %.6f %.6f %.6f\n", p[0] * 100,
                  p[1] * 100, p[2] * 100, p[3] * 100, lab ? l.l : c.x * 100,
                  lab ? l.a : c.y * 100, lab ? l.b : c.z * 100);
    s << line;
  }
  s << "END_DATA\n";
  return s.str();
}

class SyntheticFit : public testing::TestWithParam<bool> {};

TEST_P(SyntheticFit, RecoversTheModelThatMadeTheMeasurements) {
  const PrintModel truth = SyntheticModel();
  Result<MeasurementSet> set = ParseMeasurements(MeasureAsCgats(truth, GetParam()), "synthetic");
  ASSERT_TRUE(set.ok()) << set.status().message();
  EXPECT_EQ(set->description, "synthetic printer");
  ASSERT_EQ(set->samples.size(), 16u + 36u + 150u);

  Result<PrintModel> fit = PrintModel::Fit(*set);
  ASSERT_TRUE(fit.ok()) << fit.status().message();
  EXPECT_NEAR(fit->yuleNielsen(), kTrueN, 0.05);
  for (int k = 0; k < kInks; ++k) {
    for (double c : {0.1, 0.35, 0.5, 0.8}) {
      EXPECT_NEAR(fit->EffectiveCoverage(k, c), TrueGain(k, c), 0.01) << "ink " << k << " at " << c;
    }
  }
  EXPECT_LT(fit->fitError().mean, 0.1);
  EXPECT_LT(fit->fitError().max, 0.5);
}

INSTANTIATE_TEST_SUITE_P(XyzAndLabColumns, SyntheticFit, testing::Bool(),
                         [](const auto& info) { return info.param ? "Lab" : "Xyz"; });

// The shipped press characterisation: the fitted model's error on it is the
// figure reported for the default model.
TEST(DefaultModel, FitsTheShippedMeasurements) {
  const PrintModel& model = PrintModel::Default();
  const FitError& e = model.fitError();
  std::printf("default model: n = %.3f, Delta E 2000 on %zu patches: mean %.2f, 95%% %.2f, max %.2f\n",
              model.yuleNielsen(), e.samples, e.mean, e.p95, e.max);
  EXPECT_EQ(e.samples, PrintModel::DefaultMeasurements().samples.size());
  EXPECT_GT(e.samples, 1000u);
  EXPECT_GT(model.yuleNielsen(), 1.0);
  EXPECT_LT(e.mean, 3.0);
  EXPECT_LT(e.p95, 6.0);
  // Paper is lighter than any ink, black the darkest overprint.
  for (int m = 1; m < kOverprints; ++m) EXPECT_LT(model.overprint(m).y, model.paper().y);
  for (int m = 0; m < kOverprints; ++m) {
    if (m & 8) continue;
    EXPECT_GT(model.overprint(m).y, model.overprint(8).y) << m;
  }
}

TEST(DefaultModel, ScreenShowsPaperWhiteAndSolidsInTheirHues) {
  const PrintModel& model = PrintModel::Default();
  SrgbEncoder encoder(model.paper());
  Xyz in[5] = {model.paper(), model.overprint(1), model.overprint(2), model.overprint(4),
               model.overprint(15)};
  uint8_t rgb[15];
  encoder.Encode(in, rgb, 5);
  EXPECT_EQ(rgb[0], 255);
  EXPECT_EQ(rgb[1], 255);
  EXPECT_EQ(rgb[2], 255);
  EXPECT_LT(rgb[3], rgb[5]);   // cyan: little red
  EXPECT_LT(rgb[7], rgb[6]);   // magenta: little green
  EXPECT_LT(rgb[11], rgb[10]); // yellow: little blue
  for (int c = 12; c < 15; ++c) EXPECT_LT(rgb[c], 40);
}

// Encode takes most pixels without LittleCMS; its bytes must be the
// transform's own.  Random colours over and beyond the gamut, the paper's
// scale applied, and fine ramps along the gray axis and each XYZ axis whose
// steps are closer than the rounding margin, so that values fall right at
// and beside every edge between two bytes; also black, white, values past
// the range the fast path takes and values that are not numbers.
TEST(SrgbEncoderBytes, FastPathGivesLittleCmsBytes) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> u(-0.05, 1.3);
  std::vector<Xyz> in;
  for (int i = 0; i < 400000; ++i) in.push_back({u(rng), u(rng), u(rng)});
  constexpr int kRamp = 400000;
  for (int i = 0; i <= kRamp; ++i) {
    const double t = 1.05 * i / kRamp;
    in.push_back({0.9642 * t, t, 0.8249 * t});
    in.push_back({t, 0.3, 0.3});
    in.push_back({0.4, t, 0.3});
    in.push_back({0.4, 0.3, t});
  }
  const double nan = std::nan("");
  for (const Xyz& x : {Xyz{0, 0, 0}, Xyz{0.9642, 1, 0.8249}, Xyz{2.5, 2.5, 2.5}, Xyz{-1, 0.5, 0.5},
                       Xyz{1e300, 0, 0}, Xyz{nan, 0.5, 0.5}, Xyz{0.5, nan, nan}}) {
    in.push_back(x);
  }
  for (const Xyz& paper : {Xyz{0.9642, 1.0, 0.8249}, PrintModel::Default().paper()}) {
    SrgbEncoder encoder(paper);
    std::vector<uint8_t> fast(in.size() * 3), reference(in.size() * 3);
    encoder.Encode(in.data(), fast.data(), in.size());
    encoder.EncodeReference(in.data(), reference.data(), in.size());
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < in.size(); ++i) {
      if (std::memcmp(&fast[i * 3], &reference[i * 3], 3) == 0) continue;
      if (differ++ == 0) first = i;
    }
    EXPECT_EQ(differ, 0u) << "first at " << in[first].x << "," << in[first].y << ","
                          << in[first].z;
  }
}

// A dot-level mix of independent dots is the flat-tint prediction.
TEST(PrintModelMix, IndependentDotsMixAsTheTintPredicts) {
  const PrintModel model = SyntheticModel();
  for (const std::array<double, kInks>& c :
       {std::array<double, kInks>{0.2, 0.7, 0.1, 0.0}, {0.5, 0.5, 0.5, 0.5}, {0.0, 0.0, 0.0, 0.9},
        {1.0, 0.3, 0.0, 0.0}}) {
    std::array<double, kOverprints> w{};
    for (int m = 0; m < kOverprints; ++m) {
      w[m] = 1;
      for (int k = 0; k < kInks; ++k) w[m] *= (m >> k & 1) ? c[k] : 1 - c[k];
    }
    const Xyz a = model.Mix(w), b = model.Predict(c);
    EXPECT_NEAR(a.x, b.x, 1e-9);
    EXPECT_NEAR(a.y, b.y, 1e-9);
    EXPECT_NEAR(a.z, b.z, 1e-9);
  }
}

// The dot-gain curve as a plain walk along the points: what the table
// lookup must give, bit for bit.
double WalkCurve(const std::vector<std::array<double, 2>>& points, double x) {
  x = std::clamp(x, 0.0, 1.0);
  double x0 = 0, y0 = 0;
  for (const auto& p : points) {
    if (x <= p[0]) {
      if (p[0] <= x0) return p[1];
      return y0 + (p[1] - y0) * (x - x0) / (p[0] - x0);
    }
    x0 = p[0];
    y0 = p[1];
  }
  if (x0 >= 1) return y0;
  return y0 + (1 - y0) * (x - x0) / (1 - x0);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Curves with the shapes fitting can give and a few it cannot: repeated
// amounts, points at 0 and 1, a curve below the diagonal (dots lose area),
// none at all.
std::vector<std::vector<std::array<double, 2>>> GainCurves() {
  return {{{0.1, 0.18}, {0.3, 0.45}, {0.5, 0.66}, {0.7, 0.82}, {0.9, 0.95}},
          {{0.0, 0.05}, {0.25, 0.3}, {0.25, 0.35}, {0.5, 0.5}, {1.0, 1.0}},
          {{0.2, 0.1}, {0.6, 0.45}, {1.0, 0.9}},
          {}};
}

TEST(PrintModelMix, GainCurveLookupIsTheWalkAlongThePoints) {
  std::vector<std::vector<std::array<double, 2>>> curves = GainCurves();
  // The shipped model's fitted curves.
  for (int k = 0; k < kInks; ++k) curves.push_back(PrintModel::Default().dotGain(k).points());
  // Many points, several to a table step, some on a step's edge and some
  // just either side of one; a point past 1.
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<std::array<double, 2>> dense;
  for (int i = 0; i < 300; ++i) dense.push_back({unit(rng) * 0.05, unit(rng)});
  for (int b = 1; b < 1024; b += 97) {
    const double edge = b / 1024.0;
    for (double x : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, 1.0)}) {
      dense.push_back({x, unit(rng)});
    }
  }
  std::sort(dense.begin(), dense.end());
  curves.push_back(dense);
  curves.push_back({{0.4, 0.5}, {1.5, 0.8}});
  // Curves the table cannot take: out of order, or holding a non-number.
  curves.push_back({{0.6, 0.7}, {0.2, 0.1}, {0.9, 0.95}, {0.4, 0.3}, {0.8, 0.2}});
  curves.push_back({{0.2, 0.3}, {std::nan(""), 0.5}, {0.7, 0.8}});
  for (size_t c = 0; c < curves.size(); ++c) {
    SCOPED_TRACE(c);
    const auto& curve = curves[c];
    const DotGainCurve gain(curve);
    std::vector<double> xs = {-0.5, -0.0, 0.0, 1.0, 1.5, std::nan(""), 1e-300, 0.999999999};
    for (const auto& p : curve) {
      xs.push_back(p[0]);
      xs.push_back(std::nextafter(p[0], 0.0));
      xs.push_back(std::nextafter(p[0], 1.0));
    }
    for (int i = 0; i <= 1000; ++i) xs.push_back(i / 1000.0);
    for (int i = 0; i < 20000; ++i) xs.push_back(unit(rng));
    size_t differ = 0;
    for (double x : xs) {
      if (!SameBits(gain(x), WalkCurve(curve, x))) ++differ;
    }
    EXPECT_EQ(differ, 0u);
  }
}

// MixMany takes four areas at a time where it can; every area's colour
// must be Mix's to the last bit, since the simulated print's bytes follow
// from it.
TEST(PrintModelMix, ManyAreasAtOnceMixAsOneByOne) {
  std::mt19937 rng(7);
  std::vector<std::array<double, kOverprints>> areas;
  // Counts of dots per overprint over a pixel, as the simulated print has
  // them: sparse and dense, one overprint alone, nothing but paper.
  for (int i = 0; i < 3000; ++i) {
    std::array<uint32_t, kOverprints> counts{};
    const int kinds = 1 + int(rng() % 16);
    const int dots = 1 + int(rng() % 200);
    for (int d = 0; d < dots; ++d) ++counts[rng() % uint32_t(kinds) * 7 % kOverprints];
    uint32_t total = 0;
    for (uint32_t c : counts) total += c;
    std::array<double, kOverprints>& f = areas.emplace_back();
    for (int m = 0; m < kOverprints; ++m) f[m] = double(counts[m]) / double(total);
  }
  for (int m = 0; m < kOverprints; ++m) {
    std::array<double, kOverprints>& f = areas.emplace_back();
    f[m] = 1;
  }
  areas.emplace_back();  // no area at all: every weight 0
  areas.push_back({0.5, 0.5});
  std::vector<PrintModel> models = {PrintModel::Default(), SyntheticModel()};
  for (const auto& curve : GainCurves()) {
    PrintModel& m = models.emplace_back(SyntheticModel());
    for (int k = 0; k < kInks; ++k) m.SetDotGain(k, curve);
  }
  for (size_t which = 0; which < models.size(); ++which) {
    SCOPED_TRACE(which);
    const PrintModel& model = models[which];
    // An odd count, so the last areas go one by one.
    std::vector<Xyz> many(areas.size());
    model.MixMany(areas.data(), many.data(), areas.size());
    size_t differ = 0;
    for (size_t i = 0; i < areas.size(); ++i) {
      const Xyz one = model.Mix(areas[i]);
      if (!SameBits(one.x, many[i].x) || !SameBits(one.y, many[i].y) ||
          !SameBits(one.z, many[i].z)) {
        ++differ;
      }
    }
    EXPECT_EQ(differ, 0u);
  }
}

std::string Cgats(const std::string& format, const std::string& rows, int sets) {
  const auto fields = std::count(format.begin(), format.end(), ' ') + 1;
  return "CTI3\nNUMBER_OF_FIELDS " + std::to_string(fields) + "\nBEGIN_DATA_FORMAT\n" + format +
         "\nEND_DATA_FORMAT\nNUMBER_OF_SETS " + std::to_string(sets) + "\nBEGIN_DATA\n" + rows +
         "END_DATA\n";
}

TEST(Measurements, BadFilesAreRefusedNamingTheFault) {
  const std::string fmt = "CMYK_C CMYK_M CMYK_Y CMYK_K XYZ_X XYZ_Y XYZ_Z";
  struct Case {
    const char* what;
    std::string text;
    const char* message;
  } cases[] = {
      {"empty", "", "empty"},
      {"no measurement table", "hello, world\n", "not CMYK measurement data (no CMYK_C column)"},
      {"no black column", Cgats("CMYK_C CMYK_M CMYK_Y XYZ_X XYZ_Y XYZ_Z", "0 0 0 80 80 80\n", 1),
       "CMYK_K"},
      {"no colour columns", Cgats("CMYK_C CMYK_M CMYK_Y CMYK_K", "0 0 0 0\n", 1), "XYZ"},
      {"ink above 100", Cgats(fmt, "0 120 0 0 80 80 80\n", 1), "CMYK_M is outside 0..100"},
      {"negative XYZ", Cgats(fmt, "0 0 0 0 80 -1 80\n", 1), "XYZ is outside"},
      {"not a number", Cgats(fmt, "0 0 abc 0 80 80 80\n", 1), "CMYK_Y is missing or not a number"},
      {"fewer rows than announced", Cgats(fmt, "0 0 0 0 80 80 80\n", 2), "NUMBER_OF_SETS was 2, found 1"},
  };
  for (const Case& c : cases) {
    Result<MeasurementSet> r = ParseMeasurements(c.text, "m.ti3");
    ASSERT_FALSE(r.ok()) << c.what;
    EXPECT_NE(r.status().message().find(c.message), std::string::npos)
        << c.what << ": " << r.status().message();
    EXPECT_EQ(r.status().message().rfind("m.ti3: ", 0), 0u) << c.what;
  }
}

TEST(Measurements, FitNeedsEveryOverprint) {
  std::string rows;
  for (int m = 0; m < kOverprints; ++m) {
    if (m == 13) continue;  // cyan + yellow + black
    char line[80];
    std::snprintf(line, sizeof line, "%d %d %d %d 40 40 40\n", (m & 1) * 100, (m >> 1 & 1) * 100,
                  (m >> 2 & 1) * 100, (m >> 3 & 1) * 100);
    rows += line;
  }
  Result<MeasurementSet> set =
      ParseMeasurements(Cgats("CMYK_C CMYK_M CMYK_Y CMYK_K XYZ_X XYZ_Y XYZ_Z", rows, 15), "m.ti3");
  ASSERT_TRUE(set.ok()) << set.status().message();
  Result<PrintModel> fit = PrintModel::Fit(*set);
  ASSERT_FALSE(fit.ok());
  EXPECT_NE(fit.status().message().find("cyan+yellow+black"), std::string::npos)
      << fit.status().message();
}

TEST(Measurements, MissingFileIsRefused) {
  Result<MeasurementSet> r = LoadMeasurements("/nonexistent/m.ti3");
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.status().message().find("cannot open"), std::string::npos);
}

}  // namespace
}  // namespace vantik::printmodel
