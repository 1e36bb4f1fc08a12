#include "built_tables.h"

#include <array>
#include <chrono>
#include <compare>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "formats/table_block.h"
#include "interface/byte_reader.h"
#include "printmodel/gamut_map.h"
#include "printmodel/node_correction.h"
#include "printmodel/print_model.h"
#include "printmodel/screen_tables.h"
#include "printmodel/table_builder.h"

namespace vantik::resgen {
namespace {

[[noreturn]] void Die(int table, const std::string& what) {
  std::fprintf(stderr, "vantik_resgen: table %d: %s\n", table, what.c_str());
  std::exit(1);
}

}  // namespace

ColorSettings PrintSettings(const ResourceSet& resources, const PrintTarget& target) {
  ColorSettings cs;
  HalftoneSettings& h = cs.halftone;
  h.kind = target.kind;
  h.variant = target.variant;
  h.xResolution = target.xResolution;
  h.yResolution = target.yResolution;
  h.renderMode = 3;  // RGB pixels through the colour table
  h.lutMode = 1;
  cs.inks = InkSet::kColor;
  cs.selector = target.selector;
  auto index = resources.Find(Service::kColor, cs.indexBlock);
  std::optional<IndexNames> names;
  if (index) names = ReadIndexNames(*index);
  std::optional<int> paper;
  if (names) paper = names->PaperNumber(target.paper);
  if (!paper) Die(target.tableNumber, std::string("the index names no paper ") + target.paper);
  cs.paper = *paper;
  return cs;
}

namespace {

// What the nodes are built for: a paper's ink limit and black curve, and
// the screen rule and level-table parameters when engine A prints them.
struct BuildKey {
  std::array<double, 3> paper;
  int screen;  // -1: independent dots
  int paramA, paramB;
  auto operator<=>(const BuildKey&) const = default;
};

BuildKey KeyFor(const PaperModel& paper, const PrintTarget& target, std::span<const uint8_t> base) {
  BuildKey key{{paper.inkLimit, paper.blackStart, paper.blackPower}, -1, 0, 0};
  if (!target.screen) return key;
  key.screen = static_cast<int>(*target.screen);
  Result<std::array<int, 2>> params = printmodel::LevelTableParams(base);
  if (!params.ok()) Die(target.tableNumber, params.status().message());
  key.paramA = (*params)[0];
  key.paramB = (*params)[1];
  return key;
}

// One builder per paper and screen rule: each samples the printable gamut
// once.
const printmodel::TableBuilder& BuilderFor(const PaperModel& paper, const BuildKey& key) {
  static std::map<BuildKey, std::pair<std::unique_ptr<printmodel::Printer>,
                                      std::unique_ptr<printmodel::TableBuilder>>> builders;
  auto& slot = builders[key];
  if (!slot.second) {
    printmodel::BuildSettings settings;
    settings.inkLimit = paper.inkLimit;
    settings.black = {paper.blackStart, paper.blackPower};
    settings.keepTones = true;
    const printmodel::PrintModel& model = printmodel::PrintModel::Default();
    if (key.screen >= 0) {
      const auto rule = static_cast<printmodel::ScreenRule>(key.screen);
      slot.first = std::make_unique<printmodel::ScreenPrinter>(model, rule, key.paramA, key.paramB);
      slot.second = std::make_unique<printmodel::TableBuilder>(*slot.first,
                                                               printmodel::ScreenBuildSettings(settings, rule));
    } else {
      slot.second = std::make_unique<printmodel::TableBuilder>(model, settings);
    }
  }
  return *slot.second;
}

// The nodes the model inverts to, before correction: the same for every
// table with the same build key and node positions, so each is built once.
const std::vector<printmodel::BuiltNode>& NodesFor(const PaperModel& paper, const BuildKey& key,
                                                   const std::vector<uint8_t>& positions) {
  static std::map<std::pair<BuildKey, std::vector<uint8_t>>, std::vector<printmodel::BuiltNode>> built;
  auto [it, fresh] = built.try_emplace({key, positions});
  if (fresh) it->second = BuilderFor(paper, key).Build(positions);
  return it->second;
}

}  // namespace

std::vector<uint8_t> BuildCorrectedTable(const std::vector<uint8_t>& base, const PaperModel& paper,
                                         const PrintTarget& target, ResourceSet resources) {
  const auto start = std::chrono::steady_clock::now();
  Result<std::vector<uint8_t>> positions = printmodel::RebuildablePositions(base);
  if (!positions.ok()) Die(target.tableNumber, positions.status().message());
  const BuildKey key = KeyFor(paper, target, base);
  std::vector<printmodel::BuiltNode> nodes = NodesFor(paper, key, *positions);
  printmodel::CorrectionOptions options;
  options.inkLimit = paper.inkLimit;
  const ColorSettings settings = PrintSettings(resources, target);
  const printmodel::PrintModel& model = printmodel::PrintModel::Default();
  Result<printmodel::CorrectionFigures> figures = [&]() -> Result<printmodel::CorrectionFigures> {
    if (!target.screen)
      return printmodel::CorrectByPrinting(nodes, *positions, base, target.tableNumber, settings, resources,
                                           model, options);
    const printmodel::ScreenPrinter printer(model, *target.screen, key.paramA, key.paramB);
    return printmodel::CorrectScreenTable(nodes, *positions, base, target.tableNumber, settings, resources, model,
                                          options, printer);
  }();
  if (!figures.ok()) Die(target.tableNumber, "correcting by printing: " + figures.status().message());
  Result<std::vector<uint8_t>> block = printmodel::WriteBuiltTable(base, nodes);
  if (!block.ok()) Die(target.tableNumber, block.status().message());
  if (std::getenv("VANTIK_RESGEN_TRACE") != nullptr) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr,
                 "table %d built and corrected in %.2f s: nodes' mean dE00 %.2f -> %.2f, max %.2f -> %.2f, "
                 "largest cast between grays %.2f -> %.2f\n",
                 target.tableNumber, took.count(), figures->meanBefore, figures->meanAfter,
                 figures->maxBefore, figures->maxAfter, figures->axisCastBefore, figures->axisCastAfter);
  }
  return std::move(*block);
}

}  // namespace vantik::resgen
