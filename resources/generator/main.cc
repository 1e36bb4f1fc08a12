// Writes the default resource set: one file per block under
// <out>/color/<number>.bin and <out>/halftone/<number>.bin, and a C++ source
// that embeds the same bytes.  Everything is computed from fixed seeds, so
// two runs give identical output.
//
// usage: vantik_resgen OUT_DIR GENERATED_CC

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "formats/curve_rows.h"
#include "formats/curve_slots.h"
#include "formats/format.h"
#include "formats/id_list.h"
#include "formats/matrix16.h"
#include "formats/matrix8.h"
#include "formats/node_positions.h"
#include "formats/reference_levels.h"
#include "formats/table_block.h"
#include "built_tables.h"
#include "neutral_curves.h"
#include "printmodel/patch_printer.h"
#include "printmodel/print_model.h"
#include "screens.h"
#include "separation.h"
#include "text_blocks.h"
#include "vantik/default_resources.h"

namespace vantik::resgen {
namespace {

using resources::Service;
using formats::Kind;

struct GenBlock {
  Service service;
  int number;
  std::string kind;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Matrix16Block(const RankMatrix& m) {
  return formats::WriteMatrix16(m.width, m.height, m.rank);
}

std::vector<uint8_t> Matrix8Block(const RankMatrix& m) {
  return formats::WriteMatrix8(m.width, m.height, ByteThresholds(m));
}

// Engine A's node choice made from a screen (screens.h).
std::vector<uint8_t> NodeDitherBlock(const RankMatrix& screen) {
  return formats::WriteMatrix8(screen.width, screen.height, NodeDitherFor(screen));
}

// 32 node positions for all three axes of engine B's re-sampled table.
std::vector<uint8_t> ColorNodes() {
  std::vector<uint8_t> positions;
  for (int i = 0; i < formats::kNodePositionCount; ++i)
    positions.push_back(static_cast<uint8_t>((i * 255 + 15) / 31));
  return formats::WriteNodePositions(positions);
}

// Calibration slot records: key 0 keeps every channel on its own curve.
std::vector<uint8_t> CalibrationSlots() { return formats::WriteCurveSlots({{0, {0, 1, 2, 3}}}); }

// Reference level of every channel; a calibration level equal to it selects
// the identity row of the curve block.
std::vector<uint8_t> CalibrationLevels() { return formats::WriteReferenceLevels({50, 50, 50, 50}); }

// 21 tone curves shared by all inks, row 10 the identity; rows below it
// print lighter (less ink), rows above darker.  They are fitted to the
// neutral axes of the four-ink tables in `blocks` (neutral_curves.h), so a
// calibration level moves grays along the gray axis instead of tinting them.
// `weightEncoded` says which tables hold dot-weight encoded values.
// The neutral axis of a four-ink table block and its node positions, or
// nothing for a block that is no such table.
std::optional<std::pair<NeutralAxis, std::vector<uint8_t>>> AxisOf(const GenBlock& b,
                                                                   const std::vector<int>& weightEncoded) {
  if (b.service != Service::kColor || b.kind != formats::HandlerOf(Kind::kTable).name) return std::nullopt;
  ByteReader reader(b.bytes.data(), b.bytes.size());
  formats::TableBlockView view{};
  if (!formats::ParseTableBlock(reader, view).ok() || view.w != 4 || view.diagonal == nullptr) return std::nullopt;
  NeutralAxis axis;
  axis.compensated = std::find(weightEncoded.begin(), weightEncoded.end(), b.number) != weightEncoded.end();
  axis.weightLight = view.header.weights[0];
  axis.weightFull = view.header.weights[1];
  for (int j = 0; j < view.n; ++j) {
    const uint8_t* node = view.diagonal + static_cast<size_t>(j) * 4;
    axis.nodes.push_back({node[0], node[1], node[2], node[3]});
  }
  return std::pair{std::move(axis), std::vector<uint8_t>(view.positions, view.positions + view.n)};
}

std::vector<uint8_t> CurveBlock(const std::vector<GenBlock>& blocks, const std::vector<int>& weightEncoded) {
  std::vector<NeutralAxis> axes;
  for (const GenBlock& b : blocks) {
    if (auto axis = AxisOf(b, weightEncoded)) axes.push_back(std::move(axis->first));
  }
  if (axes.empty()) {
    std::cerr << "vantik_resgen: no four-ink colour table to fit the calibration curves to\n";
    std::exit(1);
  }
  const auto start = std::chrono::steady_clock::now();
  const auto fitted = NeutralCurveRows(axes, printmodel::PrintModel::Default());
  if (std::getenv("VANTIK_RESGEN_TRACE") != nullptr) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "calibration curves: %zu tables fitted in %.2f s\n", axes.size(), took.count());
  }
  std::array<std::array<uint8_t, formats::kCurveRowBytes>, formats::kCurveRowCount> rows{};
  for (int r = 0; r < formats::kCurveRowCount; ++r) std::copy(fitted[r].begin(), fitted[r].end(), rows[r].begin());
  return formats::WriteCurveRows(rows);
}

// The curves of one table corrected by printing, fitted to the gray ramp
// that its method prints (neutral_curves.h): every candidate curve is put
// on all 21 rows of the table's curve block and the ramp printed at a
// calibration level.  `set` holds the finished blocks.
std::vector<uint8_t> PrintedCurveBlock(const GenBlock& table, const std::vector<int>& weightEncoded,
                                       const PrintTarget& target, ResourceSet set) {
  auto axis = AxisOf(table, weightEncoded);
  if (!axis) {
    std::cerr << "vantik_resgen: table " << table.number << " has no neutral axis to fit curves to\n";
    std::exit(1);
  }
  // The report's ramp (every 5 levels) and the nodes of the axis.
  std::vector<uint8_t> grays;
  for (int v = 0; v <= 255; v += 5) grays.push_back(static_cast<uint8_t>(v));
  grays.insert(grays.end(), axis->second.begin(), axis->second.end());
  std::sort(grays.begin(), grays.end());
  grays.erase(std::unique(grays.begin(), grays.end()), grays.end());
  std::vector<printmodel::Rgb> probes;
  for (uint8_t g : grays) probes.push_back({g, g, g});
  // 56 dots square read of each diffusion patch; kind 3 reads whole
  // periods of its matrices.
  const printmodel::PatchPrinter printer(probes, 64, 8, target.kind);
  ColorSettings settings = PrintSettings(set, target);
  settings.halftone.lineWidth = static_cast<uint32_t>(printer.width());
  settings.calibration = Calibration{0, {30, 30, 30, 30}};
  const int number = CurveBlockOf(table.number);
  const printmodel::PrintModel& model = printmodel::PrintModel::Default();
  auto print = [&](const std::array<uint8_t, 256>& curve) -> std::vector<printmodel::Lab> {
    std::array<std::array<uint8_t, formats::kCurveRowBytes>, formats::kCurveRowCount> rows{};
    for (auto& row : rows) std::copy(curve.begin(), curve.end(), row.begin());
    set.Add(vantik::Service::kColor, number, formats::WriteCurveRows(rows));
    Result<std::vector<printmodel::Lab>> labs = printer.Print(settings, set, model);
    if (!labs.ok()) {
      std::cerr << "vantik_resgen: table " << table.number << ": " << labs.status().message() << "\n";
      return {};
    }
    return std::move(*labs);
  };
  const auto start = std::chrono::steady_clock::now();
  PrintedCurveFigures figures;
  constexpr int kRounds = 3;
  const auto fitted = PrintedCurveRows(axis->first, axis->second, grays, model, print, kRounds, &figures);
  if (std::getenv("VANTIK_RESGEN_TRACE") != nullptr) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr,
                 "table %d: calibration curves fitted by %d prints in %.2f s; largest cast of the ramp "
                 "at levels 30, 50, 70: %.2f, %.2f, %.2f\n",
                 table.number, figures.prints, took.count(), figures.castLight, figures.castMid,
                 figures.castDark);
  }
  std::array<std::array<uint8_t, formats::kCurveRowBytes>, formats::kCurveRowCount> rows{};
  for (int r = 0; r < formats::kCurveRowCount; ++r) std::copy(fitted[r].begin(), fitted[r].end(), rows[r].begin());
  return formats::WriteCurveRows(rows);
}

std::vector<GenBlock> BuildAll() {
  std::vector<GenBlock> blocks;
  // The kind written beside each block is its format's name.
  auto add = [&](Service s, int number, formats::Kind kind, std::vector<uint8_t> bytes) {
    blocks.push_back({s, number, std::string(formats::HandlerOf(kind).name), std::move(bytes)});
  };

  // Papers.  Plain paper takes less ink and starts black earlier; photo
  // paper holds more ink and keeps black out of the midtones.
  const PaperModel plain{"PLAIN", 2.6, 0.50, 1.8, 250, 100, 663};
  const PaperModel photo{"PHOTO", 3.0, 0.60, 2.0, 350, 100, 765};

  const Service kC = Service::kColor;
  const Service kH = Service::kHalftone;
  add(kC, resources::kColorIndexNumber, Kind::kIndex, ColorIndexBlock());
  // Error diffusion: one table per paper and dot shape, each built by
  // inverting the print model and corrected by printing at a resolution of
  // that shape (below).
  struct Built {
    TableDesign design;
    PrintTarget target;
  };
  std::vector<Built> diffusion = {
      {{"VANTIK B PLAIN", 4, DotLayout::kDiffusion, true, plain}, {kTableDiffusionPlain, "PLAIN"}},
      {{"VANTIK B PHOTO", 4, DotLayout::kDiffusion, true, photo}, {kTableDiffusionPhoto, "PHOTO"}},
      {{"VANTIK BW PLAIN", 4, DotLayout::kDiffusion, true, plain},
       {kTableDiffusionWidePlain, "PLAIN", 1, 0, 0, 1440, 720}},
      {{"VANTIK BW PHOTO", 4, DotLayout::kDiffusion, true, photo},
       {kTableDiffusionWidePhoto, "PHOTO", 1, 0, 0, 1440, 720}},
      {{"VANTIK BT PLAIN", 4, DotLayout::kDiffusion, true, plain},
       {kTableDiffusionTallPlain, "PLAIN", 1, 0, 0, 720, 1440}},
      {{"VANTIK BT PHOTO", 4, DotLayout::kDiffusion, true, photo},
       {kTableDiffusionTallPhoto, "PHOTO", 1, 0, 0, 720, 1440}},
  };
  // Tables whose values are dot-weight encoded, for the calibration curves.
  std::vector<int> weightEncoded;
  auto addTable = [&](int number, const TableDesign& design) {
    if (design.compensateWeights) weightEncoded.push_back(number);
    add(Service::kColor, number, Kind::kTable, BuildTableBlock(design));
  };
  for (const Built& d : diffusion) addTable(d.target.tableNumber, d.design);
  addTable(kTableMonoPlain, {"VANTIK K PLAIN", 1, DotLayout::kIndependent, true, plain});
  addTable(kTableMonoPhoto, {"VANTIK K PHOTO", 1, DotLayout::kIndependent, true, photo});
  // Engine A's screens: one table per screen and paper, built under the
  // screen's own dot rule and corrected by printing at 720 x 720.  Engine A
  // compares levels with its thresholds directly, so the tables carry flat
  // dot weights (a level prints its own share of the cells).
  PaperModel plainScreen = plain, photoScreen = photo;
  plainScreen.weightLight = plainScreen.weightFull = 100;
  photoScreen.weightLight = photoScreen.weightFull = 100;
  using printmodel::ScreenRule;
  const int kindScreen = 2;
  std::vector<Built> screens = {
      {{"VANTIK A PLAIN", 4, DotLayout::kNested, false, plainScreen},
       {kTableScreenPlain, "PLAIN", kindScreen, 0, resources::kSelectorBlueNoise, 720, 720,
        ScreenRule::kBlackFirstInkLimited}},
      {{"VANTIK A PHOTO", 4, DotLayout::kNested, false, photoScreen},
       {kTableScreenPhoto, "PHOTO", kindScreen, 0, resources::kSelectorBlueNoise, 720, 720,
        ScreenRule::kBlackFirstInkLimited}},
      {{"VANTIK C PLAIN", 4, DotLayout::kNested, false, plainScreen},
       {kTableClusteredPlain, "PLAIN", kindScreen, 0, resources::kSelectorClustered, 720, 720,
        ScreenRule::kBlackFirst}},
      {{"VANTIK C PHOTO", 4, DotLayout::kNested, false, photoScreen},
       {kTableClusteredPhoto, "PHOTO", kindScreen, 0, resources::kSelectorClustered, 720, 720,
        ScreenRule::kBlackFirst}},
      {{"VANTIK S PLAIN", 4, DotLayout::kStacked, false, plainScreen},
       {kTableStackedPlain, "PLAIN", kindScreen, 0, resources::kSelectorStacked, 720, 720, ScreenRule::kStacked}},
      {{"VANTIK S PHOTO", 4, DotLayout::kStacked, false, photoScreen},
       {kTableStackedPhoto, "PHOTO", kindScreen, 0, resources::kSelectorStacked, 720, 720, ScreenRule::kStacked}},
  };
  for (const Built& d : screens) addTable(d.target.tableNumber, d.design);
  // Kind 3's two kernels (magenta diffused, every ink dithered): one table
  // per paper for every dot shape, built and corrected like the diffusion
  // tables at 720 x 720.
  std::vector<Built> dither = {
      {{"VANTIK D PLAIN", 4, DotLayout::kDitherBesideBlack, true, plain},
       {kTableDitherPlain, "PLAIN", 3, 0, resources::kSelectorDiffusedMagenta}},
      {{"VANTIK D PHOTO", 4, DotLayout::kDitherBesideBlack, true, photo},
       {kTableDitherPhoto, "PHOTO", 3, 0, resources::kSelectorDiffusedMagenta}},
      {{"VANTIK E PLAIN", 4, DotLayout::kAllBesideBlack, true, plain},
       {kTableDitherAllPlain, "PLAIN", 3, 1, resources::kSelectorAllDithered}},
      {{"VANTIK E PHOTO", 4, DotLayout::kAllBesideBlack, true, photo},
       {kTableDitherAllPhoto, "PHOTO", 3, 1, resources::kSelectorAllDithered}},
  };
  for (const Built& d : dither) addTable(d.target.tableNumber, d.design);
  add(kC, resources::kCalibrationIndex, Kind::kIndex, CalibrationIndexBlock());
  add(kC, resources::kCalibrationSlots, Kind::kCurveSlots, CalibrationSlots());
  add(kC, resources::kCalibrationLevels, Kind::kReferenceLevels, CalibrationLevels());

  // Engine B: id lists name the colour nodes, then the matrix for every
  // resolution pair but x = 2 y, then the matrix for x = 2 y.
  add(kH, kIdSquare64, Kind::kIdList, formats::WriteIdList({kColorNodes, kMatrixIso64, kMatrixIso64}));
  add(kH, kIdSquare128, Kind::kIdList, formats::WriteIdList({kColorNodes, kMatrixIso128, kMatrixIso128}));
  add(kH, kIdWide64, Kind::kIdList, formats::WriteIdList({kColorNodes, kMatrixWide64, kMatrixWide64}));
  add(kH, kIdWide128, Kind::kIdList, formats::WriteIdList({kColorNodes, kMatrixWide128, kMatrixWide128}));
  add(kH, kIdTall64, Kind::kIdList, formats::WriteIdList({kColorNodes, kMatrixTall64, kMatrixTall64}));
  add(kH, kIdTall128, Kind::kIdList, formats::WriteIdList({kColorNodes, kMatrixTall128, kMatrixTall128}));
  add(kH, kColorNodes, Kind::kNodes, ColorNodes());

  // The 64-wide screens of the dither kernels (which take x AND 63 in places,
  // so they cannot be wider) repeat often; a wider energy kernel and then
  // rank swaps keep their low-frequency power down.
  RankMatrix iso64 = VoidAndCluster(64, 64, {1, 1}, 0x5EED0001, kWideSigma);
  RankMatrix wide64 = VoidAndCluster(64, 64, {2, 1}, 0x5EED0002, kWideSigma);
  RankMatrix tall64 = VoidAndCluster(64, 64, {1, 2}, 0x5EED0003, kWideSigma);
  constexpr int kRefineGap = 16, kRefineTries = 100000;
  RefineLowFrequencies(iso64, kRefineGap, kRefineTries, 0x5EED0101);
  RefineLowFrequencies(wide64, kRefineGap, kRefineTries, 0x5EED0102);
  RefineLowFrequencies(tall64, kRefineGap, kRefineTries, 0x5EED0103);
  const RankMatrix iso128 = VoidAndCluster(128, 128, {1, 1}, 0x5EED0004);
  const RankMatrix wide128 = VoidAndCluster(128, 128, {2, 1}, 0x5EED0005);
  const RankMatrix tall128 = VoidAndCluster(128, 128, {1, 2}, 0x5EED0006);
  const RankMatrix gridDither = VoidAndCluster(64, 64, {1, 1}, 0x5EED0007);
  const RankMatrix limitMatrix = VoidAndCluster(64, 64, {1, 1}, 0x5EED0008);
  add(kH, kMatrixIso64, Kind::kMatrix16, Matrix16Block(iso64));
  add(kH, kMatrixWide64, Kind::kMatrix16, Matrix16Block(wide64));
  add(kH, kMatrixTall64, Kind::kMatrix16, Matrix16Block(tall64));
  add(kH, kMatrixIso128, Kind::kMatrix16, Matrix16Block(iso128));
  add(kH, kMatrixWide128, Kind::kMatrix16, Matrix16Block(wide128));
  add(kH, kMatrixTall128, Kind::kMatrix16, Matrix16Block(tall128));

  // Engine A.  The refined 64 x 64 screens keep less power below 1/16
  // cycles per dot, at every resolution, than 128 x 128 void-and-cluster
  // screens; each takes its node choice from a dither made from it.
  add(kH, resources::kScreenTableNumber, Kind::kScreenTable, ScreenTableBlock());
  add(kH, kScreenBlue360, Kind::kMatrix8, Matrix8Block(iso64));
  add(kH, kScreenBlue720, Kind::kMatrix8, Matrix8Block(iso64));
  add(kH, kScreenBlueWide, Kind::kMatrix8, Matrix8Block(wide64));
  add(kH, kScreenBlueTall, Kind::kMatrix8, Matrix8Block(tall64));
  add(kH, kScreenGridDither, Kind::kMatrix8, Matrix8Block(gridDither));
  add(kH, kScreenNodeIso, Kind::kMatrix8, NodeDitherBlock(iso64));
  add(kH, kScreenNodeWide, Kind::kMatrix8, NodeDitherBlock(wide64));
  add(kH, kScreenNodeTall, Kind::kMatrix8, NodeDitherBlock(tall64));
  add(kH, kScreenInkLimit, Kind::kMatrix8, Matrix8Block(limitMatrix));
  add(kH, kScreenCluster360, Kind::kMatrix8, Matrix8Block(ClusteredDot(4, {1, 1})));
  add(kH, kScreenCluster720, Kind::kMatrix8, Matrix8Block(ClusteredDot(6, {1, 1})));
  add(kH, kScreenClusterWide, Kind::kMatrix8, Matrix8Block(ClusteredDot(6, {2, 1})));
  add(kH, kScreenClusterTall, Kind::kMatrix8, Matrix8Block(ClusteredDot(6, {1, 2})));

  // The diffusion, kind-3 and screen tables are built by inverting the
  // print model and corrected by printing their nodes through the library
  // with every other block in place; the fixed-model tables above are their
  // headers.
  ResourceSet set;
  for (const GenBlock& b : blocks) {
    set.AddView(b.service == Service::kColor ? vantik::Service::kColor : vantik::Service::kHalftone,
                b.number, b.bytes);
  }
  std::vector<std::pair<int, std::vector<uint8_t>>> rebuilt;
  std::vector<Built> corrected = diffusion;
  corrected.insert(corrected.end(), dither.begin(), dither.end());
  corrected.insert(corrected.end(), screens.begin(), screens.end());
  for (const Built& d : corrected) {
    rebuilt.emplace_back(d.target.tableNumber,
                         BuildCorrectedTable(BuildTableBlock(d.design), d.design.paper, d.target, set));
  }
  for (auto& [number, bytes] : rebuilt) {
    for (GenBlock& b : blocks) {
      if (b.service == Service::kColor && b.number == number) b.bytes = std::move(bytes);
    }
  }

  // The calibration curves follow the tables as they are finally stored:
  // the shared block for the screens, and each corrected table's own,
  // fitted by printing with every other block in place.
  add(kC, kCurveBlock, Kind::kCurveRows, CurveBlock(blocks, weightEncoded));
  ResourceSet finished;
  for (const GenBlock& b : blocks) {
    finished.AddView(b.service == Service::kColor ? vantik::Service::kColor : vantik::Service::kHalftone,
                     b.number, b.bytes);
  }
  // Engine A's screens read the shared block (the calibration index names
  // no table block for them), so only engine B's tables get their own.
  std::vector<GenBlock> curves;
  std::vector<Built> ownCurves = diffusion;
  ownCurves.insert(ownCurves.end(), dither.begin(), dither.end());
  for (const Built& d : ownCurves) {
    for (const GenBlock& b : blocks) {
      if (b.service != Service::kColor || b.number != d.target.tableNumber) continue;
      curves.push_back({kC, CurveBlockOf(b.number), std::string(formats::HandlerOf(Kind::kCurveRows).name),
                        PrintedCurveBlock(b, weightEncoded, d.target, finished)});
    }
  }
  for (GenBlock& c : curves) blocks.push_back(std::move(c));

  std::stable_sort(blocks.begin(), blocks.end(), [](const GenBlock& a, const GenBlock& b) {
    if (a.service != b.service) return a.service == Service::kColor;
    return a.number < b.number;
  });
  return blocks;
}

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(out);
}

std::string GeneratedSource(const std::vector<GenBlock>& blocks) {
  std::string s;
  s += "// Generated by vantik_resgen from resources/generator; do not edit.\n";
  s += "#include \"vantik/default_resources.h\"\n\n";
  s += "namespace vantik::resources {\nnamespace {\n\n";
  char buf[64];
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::snprintf(buf, sizeof buf, "const uint8_t kBytes%zu[%zu] = {", i, blocks[i].bytes.size());
    s += buf;
    for (size_t j = 0; j < blocks[i].bytes.size(); ++j) {
      if (j % 24 == 0) s += "\n   ";
      std::snprintf(buf, sizeof buf, " %u,", blocks[i].bytes[j]);
      s += buf;
    }
    s += "\n};\n";
  }
  s += "\nconst Block kBlocks[] = {\n";
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::snprintf(buf, sizeof buf, "    {Service::%s, %d, kBytes%zu, \"",
                  blocks[i].service == Service::kColor ? "kColor" : "kHalftone", blocks[i].number, i);
    s += buf;
    s += blocks[i].kind + "\"},\n";
  }
  s += "};\n\n}  // namespace\n\n";
  s += "std::span<const Block> Defaults() { return kBlocks; }\n\n";
  s += "}  // namespace vantik::resources\n";
  return s;
}

int Run(const std::filesystem::path& outDir, const std::filesystem::path& source) {
  const std::vector<GenBlock> blocks = BuildAll();
  std::error_code ec;
  for (const char* sub : {"color", "halftone"}) {
    std::filesystem::create_directories(outDir / sub, ec);
    if (ec) {
      std::cerr << "vantik_resgen: cannot create " << (outDir / sub).string() << ": " << ec.message() << "\n";
      return 1;
    }
  }
  for (const GenBlock& b : blocks) {
    const auto path = outDir / (b.service == Service::kColor ? "color" : "halftone") /
                      (std::to_string(b.number) + ".bin");
    if (!WriteFile(path, std::string(b.bytes.begin(), b.bytes.end()))) {
      std::cerr << "vantik_resgen: cannot write " << path.string() << "\n";
      return 1;
    }
  }
  if (!WriteFile(source, GeneratedSource(blocks))) {
    std::cerr << "vantik_resgen: cannot write " << source.string() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace vantik::resgen

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vantik_resgen OUT_DIR GENERATED_CC\n";
    return 2;
  }
  return vantik::resgen::Run(argv[1], argv[2]);
}
