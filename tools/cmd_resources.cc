// vantik resources list|show BLOCK|export DIR|profile -o FILE|build -o DIR:
// the resource blocks, the ICC output profile of a print setting, and colour
// tables built by inverting the printer model.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "command.h"
#include "files.h"
#include "print_run.h"
#include "printmodel/icc_printer.h"
#include "printmodel/icc_profile.h"
#include "printmodel/node_correction.h"
#include "printmodel/screen_tables.h"
#include "printmodel/table_builder.h"
#include "pure_black.h"
#include "resources_io.h"

namespace vantik::tool {
namespace {

int PrintText(Result<std::string> text) {
  if (!text.ok()) return Fail(text.status());
  std::fputs(text->c_str(), stdout);
  return 0;
}

struct ResourcesArgs {
  std::string blockName;  // which block `show` decodes: N, colour:N or halftone:N
  std::string exportDir;
  std::string profileOut, model;
  JobChoices job;
  // build
  std::string buildOut, black = "medium", icc;
  std::string correct;  // empty: default
  std::string tables;   // empty: every four-ink table
  bool pureBlack = false;
  std::optional<double> inkLimit;
};

// The ICC output profile of the printer model and of the colour tables that
// the job's settings select.
int WriteProfile(const ResourcesArgs& a, const Globals& g) {
  Result<JobOptions> job = MakeJob(a.job);
  if (!job.ok()) return Fail(job.status());
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());
  if (job->pureBlack) *set = PureBlackResources(*set);
  std::unique_ptr<printmodel::PrintModel> owned;
  Result<const printmodel::PrintModel*> model = ChoosePrintModel(a.model, &owned);
  if (!model.ok()) return Fail(model.status());
  if (*model == nullptr) return Fail("--model ideal: a profile needs a measured printer");
  Result<ColorSettings> settings = MakeColorSettings(*job, *set, 64);
  if (!settings.ok()) return Fail(settings.status());
  Result<ColorMatcher> matcher = ColorMatcher::Create(*settings, *set);
  if (!matcher.ok()) return Fail(matcher.status());
  if (matcher->channels() != 4) return Fail("--ink black: a CMYK profile needs the four-ink tables");
  printmodel::Separation separate = [&](std::span<const uint8_t> rgb, std::span<uint8_t> cmyk) {
    return matcher->Translate(rgb, cmyk);
  };
  const std::string description = "vantik " + a.job.method + " " + a.job.resolution + " " +
                                  a.job.paper + " paper";
  Result<std::vector<uint8_t>> bytes = printmodel::BuildOutputProfile(**model, separate, description);
  if (!bytes.ok()) return Fail(bytes.status());
  Status s = WriteFileAtomically(a.profileOut, *bytes);
  return s.ok() ? 0 : Fail(s);
}

// A user's measured model and the printer that shows it, kept together.
class OwnedModelPrinter final : public printmodel::Printer {
 public:
  explicit OwnedModelPrinter(std::unique_ptr<printmodel::PrintModel> model)
      : model_(std::move(model)), printer_(*model_) {}
  printmodel::Lab Print(const std::array<double, printmodel::kInks>& ink) const override {
    return printer_.Print(ink);
  }

 private:
  std::unique_ptr<printmodel::PrintModel> model_;
  printmodel::ModelPrinter printer_;
};

// The print job that a colour table serves, for printing its nodes: its
// first four-ink entry in the index (at 720 x 720 when it serves that), as
// the method whose kind and selector the entry names.
std::optional<JobOptions> JobOfTable(const IndexNames& names, int table) {
  std::optional<JobOptions> found;
  for (const IndexNames::Entry& e : names.entries) {
    if (e.table != table || e.mode != "COLOR") continue;
    const auto kind = std::find(names.kinds.begin(), names.kinds.end(), e.kind);
    if (kind == names.kinds.end()) continue;
    for (const Method& m : Methods()) {
      if (m.kind != kind - names.kinds.begin() || m.selector != e.selector) continue;
      JobOptions job;
      job.method = m.name;
      job.resolution = {e.xResolution, e.yResolution};
      job.paper = e.paper;
      if (!found || (e.xResolution == 720 && e.yResolution == 720)) found = job;
      break;
    }
  }
  return found;
}

// The methods whose tables the correction by printing mends by default:
// engine B's four-ink kernels, whose dots of different inks fall by the
// kernel's own rules (as the built-in set's tables are made).
bool CorrectedByDefault(const std::string& method) {
  return method == "diffusion" || method == "hybrid" || method == "dither";
}

// Every four-ink colour table of the set rebuilt by inverting the printer
// (the print model or the user's ICC profile), each under its paper's ink
// limit; the other blocks are copied.
int BuildTables(const ResourcesArgs& a, const Globals& g) {
  Result<printmodel::BlackCurve> black = printmodel::BlackCurveByName(a.black);
  if (!black.ok()) return Fail(black.status());
  if (!a.icc.empty() && !a.correct.empty() && a.correct != "none") {
    return Fail("--icc and --correct: the correction reads printed patches under a print model, "
                "which a profile is not");
  }
  if (!a.icc.empty() && !a.model.empty()) {
    return Fail("--icc and --model: the tables are built for one printer, give one of them");
  }
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());
  // The printer the tables invert: the user's ICC profile, or the print model.
  std::unique_ptr<printmodel::Printer> printer;
  // The model the screens' dot rules mix their overprints under and the
  // patches printed for the correction are read under: none for an ICC
  // profile, which predicts flat tints but not dots.
  const printmodel::PrintModel* correctModel = nullptr;
  if (!a.icc.empty()) {
    Result<std::unique_ptr<printmodel::IccPrinter>> icc = printmodel::IccPrinter::Load(a.icc);
    if (!icc.ok()) return Fail(icc.status());
    printer = std::move(*icc);
  } else {
    std::unique_ptr<printmodel::PrintModel> owned;
    Result<const printmodel::PrintModel*> model = ChoosePrintModel(a.model, &owned);
    if (!model.ok()) return Fail(model.status());
    if (*model == nullptr) return Fail("--model ideal: tables are built for a measured printer");
    correctModel = *model;
    if (owned) {
      printer = std::make_unique<OwnedModelPrinter>(std::move(owned));
    } else {
      printer = std::make_unique<printmodel::ModelPrinter>(**model);
    }
  }
  const auto index = set->Find(Service::kColor, 0);
  std::optional<IndexNames> names;
  if (index) names = ReadIndexNames(*index);
  if (!names || names->entries.empty()) {
    return Fail("the resource set has no colour-table index (colour block 0) naming its tables");
  }
  std::map<int, std::string> paperOf;  // table number -> the paper it serves
  for (const IndexNames::Entry& e : names->entries) paperOf.emplace(e.table, e.paper);
  // --table narrows the rebuild to the tables it names; the rest are copied.
  if (!a.tables.empty()) {
    std::map<int, std::string> asked;
    for (size_t at = 0; at <= a.tables.size();) {
      const size_t end = std::min(a.tables.find(',', at), a.tables.size());
      const int number = std::atoi(a.tables.substr(at, end - at).c_str());
      const auto it = paperOf.find(number);
      if (it == paperOf.end()) {
        return Fail("--table " + std::to_string(number) + ": the colour-table index names no such table");
      }
      asked.insert(*it);
      at = end + 1;
    }
    paperOf = std::move(asked);
  }

  // One builder per ink limit, tone rule and screen: each samples the
  // printable gamut once.
  struct Builder {
    std::unique_ptr<printmodel::ScreenPrinter> screen;  // engine A's screen the tables serve, if any
    std::unique_ptr<printmodel::TableBuilder> builder;
  };
  std::map<std::tuple<double, bool, int, int, int>, Builder> builders;
  int rebuilt = 0;
  for (const auto& [number, paper] : paperOf) {
    const auto base = set->Find(Service::kColor, number);
    if (!base) return Fail("the index names colour table " + std::to_string(number) +
                           ", which the resource set does not hold");
    const double limit = a.inkLimit ? *a.inkLimit : InkLimitOfPaper(paper);
    // A table corrected by printing aims every node at its own tone (black
    // point compensation in the shadows only): the correction, not the
    // model's interpolation, then decides what the grays between the nodes
    // print.
    const std::optional<JobOptions> job = JobOfTable(*names, number);
    const bool correct = correctModel != nullptr && job &&
                         (a.correct == "all" || (a.correct != "none" && CorrectedByDefault(job->method)));
    // A table that engine A's screen prints is built under the screen's dot
    // rule, where the printer is the print model (a profile's flat tints
    // say nothing of how the screen lays dots).
    std::optional<printmodel::ScreenRule> rule;
    std::array<int, 2> params{0, 0};
    if (correctModel != nullptr && job) rule = ScreenRuleOfMethod(job->method);
    if (rule) {
      Result<std::array<int, 2>> read = printmodel::LevelTableParams(*base);
      if (!read.ok()) return Fail("table " + std::to_string(number) + ": " + read.status().message());
      params = *read;
    }
    Builder& slot = builders[{limit, correct, rule ? static_cast<int>(*rule) : -1, params[0], params[1]}];
    if (!slot.builder) {
      printmodel::BuildSettings settings;
      settings.inkLimit = limit;
      settings.black = *black;
      settings.pureBlack = a.pureBlack;
      settings.keepTones = correct;
      if (rule) {
        slot.screen = std::make_unique<printmodel::ScreenPrinter>(*correctModel, *rule, params[0], params[1]);
        slot.builder = std::make_unique<printmodel::TableBuilder>(*slot.screen,
                                                                  printmodel::ScreenBuildSettings(settings, *rule));
      } else {
        slot.builder = std::make_unique<printmodel::TableBuilder>(*printer, settings);
      }
    }
    // Black-only tables have no four-ink nodes to solve; they are kept, and
    // the listing says why.
    const std::vector<uint8_t> baseBytes(base->begin(), base->end());
    Result<std::vector<uint8_t>> positions = printmodel::RebuildablePositions(baseBytes);
    if (!positions.ok()) {
      if (!g.quiet) {
        std::printf("table %3d  %-6s paper  kept: %s\n", number, paper.c_str(),
                    positions.status().message().c_str());
      }
      continue;
    }
    std::vector<printmodel::BuiltNode> nodes = slot.builder->Build(*positions);
    // The nodes printed through the method the table serves and corrected
    // by what their patches printed.
    std::string corrected;
    if (correct) {
      Result<ColorSettings> settings = MakeColorSettings(*job, *set, 64);
      if (!settings.ok()) return Fail(settings.status());
      printmodel::CorrectionOptions options;
      options.inkLimit = limit;
      Result<printmodel::CorrectionFigures> figures =
          slot.screen ? printmodel::CorrectScreenTable(nodes, *positions, baseBytes, number, *settings, *set,
                                                       *correctModel, options, *slot.screen)
                      : printmodel::CorrectByPrinting(nodes, *positions, baseBytes, number, *settings, *set,
                                                      *correctModel, options);
      if (!figures.ok()) return Fail("table " + std::to_string(number) + ": " + figures.status().message());
      char text[96];
      std::snprintf(text, sizeof text, "  corrected by %s: nodes' mean dE00 %.2f -> %.2f, max %.2f -> %.2f",
                    job->method.c_str(), figures->meanBefore, figures->meanAfter, figures->maxBefore,
                    figures->maxAfter);
      corrected = text;
    } else if (slot.screen) {
      for (printmodel::BuiltNode& node : nodes) node.ink = slot.screen->Stored(node.ink);
    }
    Result<std::vector<uint8_t>> block = printmodel::WriteBuiltTable(baseBytes, nodes);
    if (!block.ok()) return Fail(block.status());
    set->Add(Service::kColor, number, std::move(*block));
    ++rebuilt;
    if (!g.quiet) {
      std::printf("table %3d  %-6s paper  ink limit %.1f  rebuilt%s\n", number, paper.c_str(), limit,
                  corrected.c_str());
    }
  }
  if (rebuilt == 0) return Fail("the resource set has no four-ink colour table to rebuild");
  Status s = EnsureDirectory(a.buildOut);
  if (s.ok()) s = WriteResourceDirectory(*set, a.buildOut);
  return s.ok() ? 0 : Fail(s);
}

const RegisterCommand kResources(
    "resources", "list, show, export or build the resource blocks", 50,
    [](CLI::App* cmd, const Globals& g) -> CommandRun {
      auto a = std::make_shared<ResourcesArgs>();
      cmd->require_subcommand(1);
      CLI::App* list = cmd->add_subcommand("list", "one line per block");
      CLI::App* show = cmd->add_subcommand("show", "decode one block");
      show->add_option("block", a->blockName, "N, colour:N or halftone:N")->required();
      CLI::App* exportCmd =
          cmd->add_subcommand("export", "write the built-in blocks to a directory");
      exportCmd->add_option("dir", a->exportDir, "directory")->required();
      CLI::App* profile = cmd->add_subcommand(
          "profile", "write the ICC output profile of the printer model and the colour tables");
      profile->add_option("-o,--output", a->profileOut, "output file (ICC)")->required();
      AddOption(profile, "--model", &a->model,
                "printer the profile describes: its measurements (CGATS) (default: the built-in "
                "measured printer)");
      AddJobOptions(profile, &a->job);
      CLI::App* build = cmd->add_subcommand(
          "build",
          "write a resource directory whose colour tables invert the printer model or ICC profile");
      build->add_option("-o,--output", a->buildOut, "directory")->required();
      AddOption(build, "--model", &a->model,
                "printer the tables are built for: its measurements (CGATS) (default: the "
                "built-in measured printer)");
      AddOption(build, "--icc", &a->icc);
      AddOption(build, "--black", &a->black);
      AddFlag(build, "--pure-black", &a->pureBlack);
      AddOption(build, "--ink-limit", &a->inkLimit);
      AddOption(build, "--correct", &a->correct);
      AddOption(build, "--table", &a->tables);
      return [a, &g, list, show, exportCmd, profile, build]() -> int {
        if (*list) return PrintText(ListResources(g.resources));
        if (*show) return PrintText(ShowResource(g.resources, a->blockName));
        if (*exportCmd) {
          Status s = ExportResources(a->exportDir);
          return s.ok() ? 0 : Fail(s);
        }
        if (*profile) return WriteProfile(*a, g);
        if (*build) return BuildTables(*a, g);
        return Fail("resources: list, show, export, profile or build");
      };
    });

}  // namespace
}  // namespace vantik::tool
