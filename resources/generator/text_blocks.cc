#include "text_blocks.h"

#include <iterator>

#include "formats/index_text.h"
#include "formats/screen_text.h"

namespace vantik::resgen {
namespace {

struct ResolutionClass {
  int x, y;
  int screenClass;  // 1 .. 4, the last digit of engine A's screen selectors
  int idDither;     // engine B id list for kind 3 (64-wide matrices)
  int idDiffusion;  // engine B id list for kind 1
  int diffusionPlain, diffusionPhoto;  // kind 1's colour tables
};

constexpr ResolutionClass kClasses[] = {
    {360, 360, 1, kIdSquare64, kIdSquare64, kTableDiffusionPlain, kTableDiffusionPhoto},
    {720, 720, 2, kIdSquare64, kIdSquare128, kTableDiffusionPlain, kTableDiffusionPhoto},
    {1440, 720, 3, kIdWide64, kIdWide128, kTableDiffusionWidePlain, kTableDiffusionWidePhoto},
    {720, 1440, 4, kIdTall64, kIdTall128, kTableDiffusionTallPlain, kTableDiffusionTallPhoto},
};

// Name list 1 gives each kind its number by position, list 2 the papers
// (their first name begins with P, so the list has no base number), list 3
// the table modes by position.
constexpr const char* kKindNames[] = {"BASIC", "DIFFUSION", "SCREEN", "DITHER"};
constexpr const char* kPaperNames[] = {"PLAIN", "PHOTO"};
constexpr const char* kModeNames[] = {"MONO", "MODE1", "MODE2", "MODE3", "COLOR"};

formats::IndexContent::Entry Line(int table, int halftone, int kind, int paper,
                                 const ResolutionClass& rc, int mode, int selector) {
  return {table, halftone, kKindNames[kind], kPaperNames[paper], rc.x, rc.y, kModeNames[mode], selector};
}

formats::IndexContent Index(const char* title) {
  formats::IndexContent index;
  index.header = std::string(" ") + title;
  index.columns = "table halftone kind paper x-dpi y-dpi mode selector";
  index.endLine = " end of entries";
  index.kinds.assign(std::begin(kKindNames), std::end(kKindNames));
  index.list2.assign(std::begin(kPaperNames), std::end(kPaperNames));
  index.modes.assign(std::begin(kModeNames), std::end(kModeNames));
  return index;
}

constexpr int kScreenVariants = 3;  // selectors 0, 1, 2 of kind 2

// Engine A screen selectors 111 .. 134: tens digit the variant, units the
// resolution class.  They are not block numbers and stay clear of them.
int ScreenSelector(int selector, const ResolutionClass& rc) { return 100 + 10 * (selector + 1) + rc.screenClass; }

}  // namespace

std::vector<uint8_t> ColorIndexBlock() {
  formats::IndexContent index = Index("vantik default colour-table index");
  std::vector<formats::IndexContent::Entry>& s = index.entries;
  for (int paper = 0; paper < 2; ++paper) {
    for (int mode : {4, 0}) {
      for (const ResolutionClass& rc : kClasses) {
        // Kind 0 is served by these kind-3 lines: colour matching turns a
        // kind of 0 into 3 before it reads the index.
        const bool plain = paper == 0;
        const bool mono = mode == 0;
        // Black-only printing on engine B takes the one-channel tables.
        const int ditherTable = mono ? (plain ? kTableMonoPlain : kTableMonoPhoto)
                                     : (plain ? kTableDitherPlain : kTableDitherPhoto);
        const int diffusionTable = mono ? (plain ? kTableMonoPlain : kTableMonoPhoto)
                                        : (plain ? rc.diffusionPlain : rc.diffusionPhoto);
        s.push_back(Line(ditherTable, rc.idDither, 3, paper, rc, mode, 0));
        // Selector 1: the kind-3 kernel that dithers magenta too.
        const int ditherAllTable = mono ? (plain ? kTableMonoPlain : kTableMonoPhoto)
                                        : (plain ? kTableDitherAllPlain : kTableDitherAllPhoto);
        s.push_back(Line(ditherAllTable, rc.idDither, 3, paper, rc, mode, 1));
        s.push_back(Line(diffusionTable, rc.idDiffusion, 1, paper, rc, mode, 0));
        // Engine A needs a four-ink table in every mode; in black-only mode it
        // takes the gray bytes directly and uses the table only for its grid.
        // Each screen has the table made for the way it places its inks.
        for (int selector = 0; selector < kScreenVariants; ++selector) {
          const int screenTable = selector == 2   ? (plain ? kTableStackedPlain : kTableStackedPhoto)
                                  : selector == 1 ? (plain ? kTableClusteredPlain : kTableClusteredPhoto)
                                                  : (plain ? kTableScreenPlain : kTableScreenPhoto);
          s.push_back(Line(screenTable, ScreenSelector(selector, rc), 2, paper, rc, mode, selector));
        }
      }
    }
  }
  return formats::WriteIndex(index);
}

std::vector<uint8_t> CalibrationIndexBlock() {
  // Calibration looks this index up with table mode 0 and the selection
  // values of the print.  The methods whose tables are corrected by
  // printing (diffusion, kind 3's two kernels) take the curves fitted to
  // their own table's printed grays: their kernels place each ink's dots by
  // rules of their own, so one value prints a different coverage of each
  // ink under each method, and curves shared by all would tint the grays.
  // The screens share one curve block.
  formats::IndexContent index = Index("vantik calibration curve index");
  std::vector<formats::IndexContent::Entry>& s = index.entries;
  for (int paper = 0; paper < 2; ++paper) {
    const bool plain = paper == 0;
    for (const ResolutionClass& rc : kClasses) {
      s.push_back(Line(CurveBlockOf(plain ? kTableDitherPlain : kTableDitherPhoto), 0, 3, paper, rc, 0, 0));
      s.push_back(Line(CurveBlockOf(plain ? kTableDitherAllPlain : kTableDitherAllPhoto), 0, 3, paper, rc, 0, 1));
      s.push_back(Line(CurveBlockOf(plain ? rc.diffusionPlain : rc.diffusionPhoto), 0, 1, paper, rc, 0, 0));
      for (int selector = 0; selector < kScreenVariants; ++selector)
        s.push_back(Line(kCurveBlock, 0, 2, paper, rc, 0, selector));
    }
  }
  return formats::WriteIndex(index);
}

std::vector<uint8_t> ScreenTableBlock() {
  formats::ScreenTableContent table;
  table.firstLine = "selector method matrix1 matrix2 matrix3 phase ";
  constexpr int blue[] = {kScreenBlue360, kScreenBlue720, kScreenBlueWide, kScreenBlueTall};
  constexpr int node[] = {kScreenNodeIso, kScreenNodeIso, kScreenNodeWide, kScreenNodeTall};
  constexpr int cluster[] = {kScreenCluster360, kScreenCluster720, kScreenClusterWide,
                             kScreenClusterTall};
  for (const ResolutionClass& rc : kClasses) {
    const int i = rc.screenClass - 1;
    // Blue noise, four inks under the ink-total limit of the level table.
    // The blue-noise screens choose grid nodes by a dither made from the
    // screen itself, which does not beat against it.
    table.lines.push_back({ScreenSelector(0, rc), 5, kScreenInkLimit, node[i], blue[i], 0});
    // Clustered dots, four inks, black first.
    table.lines.push_back({ScreenSelector(1, rc), 2, 0, kScreenGridDither, cluster[i], 0});
    // Blue noise, inks stacked along the threshold axis.
    table.lines.push_back({ScreenSelector(2, rc), 6, 0, node[i], blue[i], 0});
  }
  return formats::WriteScreenTable(table);
}

}  // namespace vantik::resgen
