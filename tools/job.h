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

// Where an image of imageWidth x imageHeight pixels lands on the page:
// scaled to fit (keeping its shape) or placed at `dpi` pixels per inch,
// centred either way.
struct Placement {
  int pageWidth = 0, pageHeight = 0;   // dots
  int left = 0, top = 0;               // image origin in dots
  int width = 0, height = 0;           // image size in dots
};
Result<Placement> Place(const PageSize& page, Resolution res, int imageWidth,
                        int imageHeight, std::optional<double> dpi);

}  // namespace vantik::tool
