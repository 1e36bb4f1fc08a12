#include "built_tables.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

#include "printmodel/node_correction.h"
#include "printmodel/print_model.h"
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

// One builder per paper: each samples the printable gamut once.
const printmodel::TableBuilder& BuilderFor(const PaperModel& paper) {
  static std::map<std::pair<double, std::pair<double, double>>, std::unique_ptr<printmodel::TableBuilder>>
      builders;
  auto& slot = builders[{paper.inkLimit, {paper.blackStart, paper.blackPower}}];
  if (!slot) {
    printmodel::BuildSettings settings;
    settings.inkLimit = paper.inkLimit;
    settings.black = {paper.blackStart, paper.blackPower};
    settings.keepTones = true;
    slot = std::make_unique<printmodel::TableBuilder>(printmodel::PrintModel::Default(), settings);
  }
  return *slot;
}

// The nodes the model inverts to, before correction: the same for every
// table of a paper with the same node positions, so each is built once.
const std::vector<printmodel::BuiltNode>& NodesFor(const PaperModel& paper,
                                                   const std::vector<uint8_t>& positions) {
  static std::map<std::pair<std::array<double, 3>, std::vector<uint8_t>>, std::vector<printmodel::BuiltNode>>
      built;
  const std::array<double, 3> key = {paper.inkLimit, paper.blackStart, paper.blackPower};
  auto [it, fresh] = built.try_emplace({key, positions});
  if (fresh) it->second = BuilderFor(paper).Build(positions);
  return it->second;
}

}  // namespace

std::vector<uint8_t> BuildCorrectedTable(const std::vector<uint8_t>& base, const PaperModel& paper,
                                         const PrintTarget& target, ResourceSet resources) {
  const auto start = std::chrono::steady_clock::now();
  Result<std::vector<uint8_t>> positions = printmodel::RebuildablePositions(base);
  if (!positions.ok()) Die(target.tableNumber, positions.status().message());
  std::vector<printmodel::BuiltNode> nodes = NodesFor(paper, *positions);
  printmodel::CorrectionOptions options;
  options.inkLimit = paper.inkLimit;
  Result<printmodel::CorrectionFigures> figures =
      printmodel::CorrectByPrinting(nodes, *positions, base, target.tableNumber,
                                    PrintSettings(resources, target), resources,
                                    printmodel::PrintModel::Default(), options);
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
