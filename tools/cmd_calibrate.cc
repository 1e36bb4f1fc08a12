// vantik calibrate chart|build: calibration from measured ink ramps.
//
// `chart` writes the list of patches to print and measure (paper, then each
// ink alone in even steps), as CGATS text that measuring software fills in.
// `build` turns the measurements into the curve block and reference levels
// that the colour-matching resource sequence reads, and writes a resource
// directory (the current set with those blocks replaced) for --resources.

#include <cstdio>
#include <memory>
#include <set>

#include "command.h"
#include "files.h"
#include "printmodel/calibration.h"
#include "resources_io.h"

namespace vantik::tool {
namespace {

namespace pm = printmodel;

constexpr int kCalibrationIndex = 900;
constexpr int kReferenceLevels = 990;

struct CalibrateArgs {
  std::string out, measurements, ink = "colour";
  int steps = 20;
};

int Chart(const CalibrateArgs& a) {
  const std::string text = pm::CalibrationTarget(a.steps);
  Status s = WriteFileAtomically(a.out, std::vector<uint8_t>(text.begin(), text.end()));
  return s.ok() ? 0 : Fail(s);
}

int Build(const CalibrateArgs& a, const Globals& g) {
  Result<pm::MeasurementSet> measured = pm::LoadMeasurements(a.measurements);
  if (!measured.ok()) return Fail(measured.status());
  Result<pm::CalibrationBlocks> blocks = pm::BuildCalibration(*measured);
  if (!blocks.ok()) return Fail(blocks.status());
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());

  // The curve blocks are the ones the calibration index names.
  const auto index = set->Find(Service::kColor, kCalibrationIndex);
  std::optional<IndexNames> names;
  if (index) names = ReadIndexNames(*index);
  if (!names || names->entries.empty()) {
    return Fail("the resource set has no calibration index (colour block 900) naming a curve block");
  }
  std::set<int> curveBlocks;
  for (const IndexNames::Entry& e : names->entries) curveBlocks.insert(e.table);
  for (int number : curveBlocks) set->Add(Service::kColor, number, blocks->curves);
  // A black-only job reads one reference level, the first; it must be
  // black's there.
  std::vector<uint8_t> levels(blocks->reference.begin(), blocks->reference.end());
  if (a.ink == "black") levels = {blocks->reference[pm::kBlack]};
  set->Add(Service::kColor, kReferenceLevels, levels);

  Status s = EnsureDirectory(a.out);
  if (s.ok()) s = WriteResourceDirectory(*set, a.out);
  if (!s.ok()) return Fail(s);
  if (!g.quiet) {
    const char* names4[pm::kInks] = {"cyan", "magenta", "yellow", "black"};
    for (int k = 0; k < pm::kInks; ++k) {
      if (a.ink == "black" && k != pm::kBlack) continue;
      std::printf("%-8s row %2d, reference level %d, within %d of its own curve\n", names4[k],
                  blocks->row[k], blocks->reference[k], blocks->rowError[k]);
    }
    std::printf("print with: vantik --resources %s print ... --calibration 50\n", a.out.c_str());
  }
  return 0;
}

const RegisterCommand kCalibrate(
    "calibrate", "calibration from measured ink ramps", 45,
    [](CLI::App* cmd, const Globals& g) -> CommandRun {
      auto a = std::make_shared<CalibrateArgs>();
      cmd->require_subcommand(1);
      CLI::App* chart = cmd->add_subcommand(
          "chart", "write the patches to print and measure (CGATS: paper, each ink alone)");
      chart->add_option("-o,--output", a->out, "output file (CGATS text)")->required();
      AddOption(chart, "--steps", &a->steps);
      CLI::App* build = cmd->add_subcommand(
          "build", "turn measured ramps into calibration blocks in a resource directory");
      build->add_option("measurements", a->measurements,
                        "CGATS measurements of the chart (CMYK and XYZ or L*a*b*)")
          ->required();
      build->add_option("-o,--output", a->out, "resource directory to write")->required();
      AddOption(build, "--ink", &a->ink,
                "colour, or black for a resource directory that prints black only");
      return [a, &g, chart, build]() -> int {
        if (*chart) return Chart(*a);
        if (*build) return Build(*a, g);
        return Fail("calibrate: chart or build");
      };
    });

}  // namespace
}  // namespace vantik::tool
