#include "printmodel/screen_tables.h"

#include "formats/table_block.h"
#include "interface/byte_reader.h"
#include "printmodel/gamut_map.h"

namespace vantik::printmodel {
namespace {

// Grays darker than this multiple of the darkest print are spread over the
// range between them: enough room for a darker calibration to keep them
// apart, while the mid grays keep their own lightness.
constexpr double kBlackKnee = 1.6;

// Rounds of TableBuilder::SmoothRecipes for the stacked screen, whose black,
// cyan and magenta dots share the threshold axis: a table interpolating
// between a node with black and its neighbour with colour in its place
// prints neither.  Four rounds settle the recipes.
constexpr int kStackedContinuityRounds = 4;

// A neutral axis of black ink alone reaches its darkest print (solid black)
// at gray 0; mapped by lightness, every gray below that print's lightness
// would land on solid black too, and a darker calibration could not darken
// them apart.  Their lightness is spread linearly from solid black at gray 0
// to the knee, and each black-only gray takes the black that prints it.
void SpreadBlackAxis(std::vector<BuiltNode>& nodes, std::span<const uint8_t> positions, const Printer& printer) {
  const size_t n = positions.size();
  const double black = printer.Print({0, 0, 0, 1}).l;
  const double knee = kBlackKnee * black;
  for (size_t j = 0; j < n; ++j) {
    BuiltNode& node = nodes[(j * n + j) * n + j];
    if (node.ink[0] + node.ink[1] + node.ink[2] > 0 || node.ink[3] <= 0) continue;
    const double v = positions[j] / 255.0;
    const double source = SrgbToLab(v, v, v).l;
    if (source >= knee) continue;
    node.target.l = black + source * (knee - black) / knee;
    double lo = 0, hi = 1;
    for (int i = 0; i < 40; ++i) {
      const double mid = 0.5 * (lo + hi);
      if (printer.Print({0, 0, 0, mid}).l > node.target.l) lo = mid;
      else hi = mid;
    }
    node.ink = {0, 0, 0, 0.5 * (lo + hi)};
    node.printed = printer.Print(node.ink);
  }
}

}  // namespace

Result<std::array<int, 2>> LevelTableParams(std::span<const uint8_t> block) {
  ByteReader reader(block.data(), block.size());
  formats::TableBlockView view{};
  if (!formats::ParseTableBlock(reader, view).ok()) return Status(RC_BAD_RESOURCE, "not a colour table block");
  return std::array<int, 2>{view.header.params[0], view.header.params[2]};
}

BuildSettings ScreenBuildSettings(BuildSettings settings, ScreenRule rule) {
  if (rule == ScreenRule::kStacked) {
    settings.pureBlack = true;
    settings.pureBlackFrom = 0.0;
    settings.continuityRounds = kStackedContinuityRounds;
  }
  return settings;
}

Result<CorrectionFigures> CorrectScreenTable(std::vector<BuiltNode>& nodes, std::span<const uint8_t> positions,
                                             std::span<const uint8_t> base, int tableNumber,
                                             const ColorSettings& settings, ResourceSet& resources,
                                             const PrintModel& model, CorrectionOptions options,
                                             const ScreenPrinter& printer) {
  options.printer = &printer;
  if (printer.rule() == ScreenRule::kStacked) SpreadBlackAxis(nodes, positions, printer);
  Result<CorrectionFigures> figures =
      CorrectByPrinting(nodes, positions, base, tableNumber, settings, resources, model, options);
  if (!figures.ok()) return figures.status();
  for (BuiltNode& node : nodes) node.ink = printer.Stored(node.ink);
  return figures;
}

}  // namespace vantik::printmodel
