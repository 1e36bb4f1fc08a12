// What a print job is made of: the user's choices, their mapping onto the
// library's settings, and the page geometry.  Free of any image library so
// that tests can drive it with pixels in memory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "vantik/vantik.hpp"

namespace vantik::tool {

// How dots are set; each method names a halftone kind (and variant).
struct Method {
  const char* name;
  int kind;
  int variant;
  int selector;  // the index entry's selector (engine A: which screen)
  const char* description;
};
const std::vector<Method>& Methods();
const Method* FindMethod(const std::string& name);

// Total ink a paper takes by default, 1 = one solid ink: 3.0 for a paper
// whose name holds "photo", else 2.6.
double InkLimitOfPaper(const std::string& paper);

struct Resolution {
  int x = 720, y = 720;
};
// The resolutions the default resources serve.
const std::vector<Resolution>& Resolutions();
// "1440x720" -> {1440, 720}; an empty optional when malformed.
std::optional<Resolution> ParseResolution(const std::string& text);

struct PageSize {
  double widthInches = 8.5, heightInches = 11.0;
};
// "letter", "a4" or "WxHin" (for example "4x6in").
std::optional<PageSize> ParsePage(const std::string& text);

struct JobOptions {
  std::string method = "diffusion";
  bool blackOnly = false;
  // Grays at and near solid black with black ink alone: the job's resource
  // set is rewritten once, by PureBlackResources (pure_black.h), before its
  // pages are printed.
  bool pureBlack = false;
  Resolution resolution;
  std::string paper = "plain";
  Adjustments adjust;
  std::optional<std::vector<int>> calibration;  // one level, or one per ink
  int gammaHundredths = 0;                      // 0: library default
};

// Settings for colour matching and halftoning at `lineWidth` dots per line.
// Paper names are looked up in the resource set's colour-table index.
Result<ColorSettings> MakeColorSettings(const JobOptions& options,
                                        const ResourceSet& resources,
                                        uint32_t lineWidth);

// The resolutions the resource set's colour-table index has tables for, in
// index order; empty when the index cannot be read.
std::vector<Resolution> TableResolutions(const ResourceSet& resources);
// "360x360, 720x720, ..." for messages.
std::string ResolutionList(const std::vector<Resolution>& list);

// Names of the planes the engine writes, in plane order.
std::vector<std::string> PlaneNames(int planes);

// Unprintable edges of the page, in inches.
struct Margins {
  double top = 0, right = 0, bottom = 0, left = 0;
};
// The default margins of a page size: 0.25 in for letter, 5 mm for a4,
// none for a size given in inches (photo paper, printed borderless).
Margins DefaultMargins(const std::string& pageName);
// "0.25", "5mm", "0.5in" for all sides, or four values top,right,bottom,left.
std::optional<Margins> ParseMargins(const std::string& text);

// Where an image of imageWidth x imageHeight pixels lands on the page:
// scaled to fit the printable area inside the margins (keeping its shape)
// or placed at `dpi` pixels per inch, centred in that area either way.
struct Placement {
  int pageWidth = 0, pageHeight = 0;   // dots
  int left = 0, top = 0;               // image origin in dots
  int width = 0, height = 0;           // image size in dots
};
Result<Placement> Place(const PageSize& page, Resolution res, int imageWidth,
                        int imageHeight, std::optional<double> dpi, const Margins& margins = {});
// True when an image of this shape should be turned a quarter to fit the
// printable area better (a landscape image on a portrait area, or the
// reverse).
bool ShouldRotate(const PageSize& page, const Margins& margins, int imageWidth, int imageHeight);

}  // namespace vantik::tool
