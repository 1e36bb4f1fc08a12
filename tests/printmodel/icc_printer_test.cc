// Tables built from ICC output profiles: broken profiles are refused, a
// profile of the print model stands in for the model itself, and tables
// built from the model, from Ghostscript's CMYK profile and from a profile that Argyll makes
// of press measurements print their patches close to what they aim at,
// judged through the same profile.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "printmodel/icc_printer.h"
#include "printmodel/icc_profile.h"
#include "printmodel/table_builder.h"

namespace vantik::printmodel {
namespace {

namespace fs = std::filesystem;

Status NoSeparation(std::span<const uint8_t>, std::span<uint8_t> cmyk) {
  std::fill(cmyk.begin(), cmyk.end(), 0);
  return Status::Ok();
}

std::vector<uint8_t> ProfileOf(const PrintModel& model) {
  Result<std::vector<uint8_t>> bytes = BuildOutputProfile(model, NoSeparation, "test printer");
  EXPECT_TRUE(bytes.ok());
  return bytes.ok() ? *bytes : std::vector<uint8_t>{};
}

std::vector<uint8_t> Saved(cmsHPROFILE p) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(p, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(p, bytes.data(), &size);
  cmsCloseProfile(p);
  return bytes;
}

TEST(IccPrinter, RefusesWhatIsNotAUsablePrinterProfile) {
  const std::vector<uint8_t> good = ProfileOf(PrintModel::Default());
  ASSERT_TRUE(IccPrinter::Open(good, "good").ok());

  std::vector<uint8_t> input = good;  // device class 'scnr': an input profile
  std::copy_n("scnr", 4, input.begin() + 12);
  std::vector<uint8_t> noA2B;  // the CMYK to Lab tags removed
  {
    cmsHPROFILE p = cmsOpenProfileFromMem(good.data(), static_cast<cmsUInt32Number>(good.size()));
    for (cmsTagSignature t : {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag}) cmsWriteTag(p, t, nullptr);
    noA2B = Saved(p);
  }
  // A printer whose every overprint is the paper: ink changes nothing.
  std::array<Xyz, kOverprints> blank;
  blank.fill(PrintModel::Default().paper());
  const std::vector<uint8_t> flat = ProfileOf(PrintModel(blank, 1.0));
  std::vector<uint8_t> torn = good;  // the header and tag directory, the tables cut off
  torn.resize(400);
  std::vector<uint8_t> rubbish(2000);
  for (size_t i = 0; i < rubbish.size(); ++i) rubbish[i] = static_cast<uint8_t>(i * 37);

  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* says;
  } cases[] = {
      {"empty", {}, "not an ICC profile"},
      {"rubbish", rubbish, "not an ICC profile"},
      {"torn", torn, "CMYK to Lab"},
      {"sRGB", Saved(cmsCreate_sRGBProfile()), "not a CMYK profile"},
      {"input class", input, "not an output"},
      {"no A2B", noA2B, "no CMYK to Lab table"},
      {"flat A2B", flat, "no darker than paper"},
  };
  for (const auto& c : cases) {
    Result<std::unique_ptr<IccPrinter>> got = IccPrinter::Open(c.bytes, c.name);
    ASSERT_FALSE(got.ok()) << c.name;
    EXPECT_NE(got.status().message().find(c.says), std::string::npos)
        << c.name << ": " << got.status().message();
    EXPECT_EQ(got.status().message().find('\n'), std::string::npos);
  }
  EXPECT_FALSE(IccPrinter::Load("/nonexistent/printer.icc").ok());
}

// The profile vantik writes of its model, read back as the printer, builds
// tables that print like the model's own: the profile is the model sampled on
// a 17-node grid.
TEST(IccPrinter, ProfileOfTheModelBuildsTheModelsTables) {
  const std::vector<uint8_t> bytes = ProfileOf(PrintModel::Default());
  Result<std::unique_ptr<IccPrinter>> icc = IccPrinter::Open(bytes, "model");
  ASSERT_TRUE(icc.ok()) << icc.status().message();
  const BuildSettings settings;
  const TableBuilder fromModel(PrintModel::Default(), settings);
  const TableBuilder fromIcc(**icc, settings);
  const std::vector<uint8_t> positions = {0, 48, 96, 144, 192, 255};
  const std::vector<BuiltNode> a = fromModel.Build(positions), b = fromIcc.Build(positions);
  ASSERT_EQ(a.size(), b.size());
  // What the model prints for the two tables' inks.  The searches may end
  // in different places for a colour outside the gamut, so the bulk of the
  // nodes is held to agree, and the worst is reported.
  std::vector<double> de;
  for (size_t i = 0; i < a.size(); ++i) de.push_back(DeltaE2000(fromModel.Printed(b[i].ink), a[i].printed));
  std::sort(de.begin(), de.end());
  double mean = 0;
  for (double d : de) mean += d / de.size();
  const double p95 = de[de.size() * 95 / 100];
  std::printf("round trip through the model's profile: Delta E 2000 mean %.2f, 95th percentile %.2f, "
              "max %.2f over %zu nodes\n", mean, p95, de.back(), de.size());
  EXPECT_LT(mean, 0.5);
  EXPECT_LT(p95, 2.0);
}

// The inks a table holds for an sRGB colour: trilinear between its nodes.
Inks Lookup(const std::vector<BuiltNode>& nodes, const std::vector<uint8_t>& pos, const int rgb[3]) {
  const int n = static_cast<int>(pos.size());
  int i0[3];
  double t[3];
  for (int c = 0; c < 3; ++c) {
    int j = 0;
    while (j < n - 2 && pos[j + 1] <= rgb[c]) ++j;
    i0[c] = j;
    t[c] = static_cast<double>(rgb[c] - pos[j]) / (pos[j + 1] - pos[j]);
  }
  Inks ink{};
  for (int corner = 0; corner < 8; ++corner) {
    double w = 1;
    int idx[3];
    for (int c = 0; c < 3; ++c) {
      const int bit = (corner >> (2 - c)) & 1;
      idx[c] = i0[c] + bit;
      w *= bit ? t[c] : 1 - t[c];
    }
    const BuiltNode& node = nodes[(static_cast<size_t>(idx[0]) * n + idx[1]) * n + idx[2]];
    for (int k = 0; k < kInks; ++k) ink[k] += w * node.ink[k];
  }
  return ink;
}

struct Patch {
  int rgb[3];
};

// A gray ramp, primaries and secondaries, dark saturated colours and the
// colour checker's sRGB values.
std::vector<Patch> PatchSet() {
  std::vector<Patch> set;
  for (int v = 0; v <= 255; v += 15) set.push_back({{v, v, v}});
  const Patch colours[] = {
      {{255, 0, 0}},     {{0, 255, 0}},     {{0, 0, 255}},     {{0, 255, 255}},   {{255, 0, 255}},
      {{255, 255, 0}},   {{40, 6, 3}},      {{4, 24, 8}},      {{36, 24, 15}},    {{26, 17, 10}},
      {{60, 10, 60}},    {{10, 20, 70}},    {{115, 82, 68}},   {{194, 150, 130}}, {{98, 122, 157}},
      {{87, 108, 67}},   {{133, 128, 177}}, {{103, 189, 170}}, {{214, 126, 44}},  {{80, 91, 166}},
      {{193, 90, 99}},   {{94, 60, 108}},   {{157, 188, 64}},  {{224, 163, 46}},  {{56, 61, 150}},
      {{70, 148, 73}},   {{175, 54, 60}},   {{231, 199, 31}},  {{187, 86, 149}},  {{8, 133, 161}},
      {{243, 243, 242}}, {{200, 200, 200}}, {{160, 160, 160}}, {{122, 122, 121}}, {{85, 85, 85}},
      {{52, 52, 52}},
  };
  set.insert(set.end(), std::begin(colours), std::end(colours));
  return set;
}

// Builds the tables the tool builds for plain paper from `printer` and
// checks them through the same printer: the in-gamut patches (those the
// gamut mapping leaves their chroma) print close to what they aim at, and the
// neutral axis falls in lightness at every step.
void CheckTablesFrom(const Printer& printer, const char* name) {
  BuildSettings settings;  // plain paper's ink limit, medium black
  const TableBuilder builder(printer, settings);
  std::vector<uint8_t> positions;
  for (int v = 0; v < 255; v += 16) positions.push_back(static_cast<uint8_t>(v));
  positions.push_back(255);
  const std::vector<BuiltNode> nodes = builder.Build(positions);

  double sumAim = 0, maxAim = 0, sumSource = 0;
  int inGamut = 0, total = 0;
  for (const Patch& p : PatchSet()) {
    ++total;
    const Lab source = SrgbToLab(p.rgb[0] / 255.0, p.rgb[1] / 255.0, p.rgb[2] / 255.0);
    const bool gray = p.rgb[0] == p.rgb[1] && p.rgb[1] == p.rgb[2];
    const Lab aim = builder.gamut().Map(gray ? Lab{source.l, 0, 0} : source);
    if (!gray && std::fabs(std::hypot(aim.a, aim.b) - std::hypot(source.a, source.b)) > 1e-6) {
      continue;  // outside the printable gamut: compressed, not reproduced
    }
    const Lab printed = printer.Print(Lookup(nodes, positions, p.rgb));
    const double de = DeltaE2000(printed, aim);
    EXPECT_LT(de, 5.0) << name << " " << p.rgb[0] << "," << p.rgb[1] << "," << p.rgb[2];
    sumAim += de;
    maxAim = std::max(maxAim, de);
    sumSource += DeltaE2000(printed, gray ? Lab{source.l, 0, 0} : source);
    ++inGamut;
  }
  ASSERT_GT(inGamut, total / 2) << name;
  std::printf("%s: %d of %d patches in gamut, Delta E 2000 to the aim mean %.2f max %.2f "
              "(to the unmapped source, black point not compensated: mean %.2f)\n",
              name, inGamut, total, sumAim / inGamut, maxAim, sumSource / inGamut);
  EXPECT_LT(sumAim / inGamut, 3.0) << name;

  // The neutral axis falls at every node; in fine steps through the
  // table's interpolation it never steps back visibly.  (At the darkest
  // nodes, whose inks differ in mix but print within a fraction of an L*,
  // a mix of two nodes can print a hair darker than either.)
  const int n = static_cast<int>(positions.size());
  for (int j = 1; j < n; ++j) {
    const BuiltNode& dark = nodes[(static_cast<size_t>(j - 1) * n + j - 1) * n + j - 1];
    const BuiltNode& light = nodes[(static_cast<size_t>(j) * n + j) * n + j];
    EXPECT_LT(dark.printed.l, light.printed.l) << name << " node " << j;
  }
  double lighter = 101, worst = 0;
  for (int v = 255; v >= 0; v -= 3) {
    const int rgb[3] = {v, v, v};
    const Lab printed = printer.Print(Lookup(nodes, positions, rgb));
    EXPECT_LT(printed.l, lighter + 0.2) << name << " gray " << v;
    worst = std::max(worst, printed.l - lighter);
    lighter = printed.l;
  }
  std::printf("%s: gray ramp in steps of 3, largest step back %.2f L*\n", name, std::max(0.0, worst));
}

TEST(IccTables, FromTheMeasuredModel) {
  const ModelPrinter printer(PrintModel::Default());
  CheckTablesFrom(printer, "measured model");
}

TEST(IccTables, FromGhostscriptsCmykProfile) {
  const char* path = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
  if (!fs::exists(path)) GTEST_SKIP() << path << " is absent (Debian package ghostscript)";
  Result<std::unique_ptr<IccPrinter>> icc = IccPrinter::Load(path);
  ASSERT_TRUE(icc.ok()) << icc.status().message();
  CheckTablesFrom(**icc, "ghostscript default_cmyk.icc");
}

TEST(IccTables, FromArgyllsProfileOfFogra39) {
  const char* ti3 = "/usr/share/color/icc/FOGRA39L.ti3";
  if (!fs::exists(ti3)) GTEST_SKIP() << ti3 << " is absent (Debian package icc-profiles-free)";
  if (std::system("command -v colprof >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "colprof is absent (Debian package argyll)";
  }
  const fs::path dir = fs::temp_directory_path() / ("vantik-colprof-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(ti3, dir / "fogra39.ti3");
  // Low quality and no Lab to CMYK tables: the CMYK to Lab direction is
  // all the builder reads, and it is made in a few seconds.
  const std::string cmd = "cd " + dir.string() + " && colprof -ql -bn -D fogra39 fogra39 >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  Result<std::unique_ptr<IccPrinter>> icc = IccPrinter::Load((dir / "fogra39.icc").string());
  fs::remove_all(dir);
  ASSERT_EQ(rc, 0) << cmd;
  ASSERT_TRUE(icc.ok()) << icc.status().message();
  CheckTablesFrom(**icc, "argyll colprof FOGRA39");
}

}  // namespace
}  // namespace vantik::printmodel
