// Print-job choices mapped onto the library's settings.
#include "job.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "vantik/default_resources.h"

namespace vantik::tool {

// The selectors are those of the resource set's colour-table index: which
// screen for engine A, which table for kind 3's two kernels.
const std::vector<Method>& Methods() {
  namespace r = vantik::resources;
  static const std::vector<Method> methods = {
      {"diffusion", 1, 0, 0, "error diffusion (engine B), finest detail"},
      {"hybrid", 3, 0, r::kSelectorDiffusedMagenta,
       "blue-noise dither with diffused magenta (engine B)"},
      {"dither", 3, 1, r::kSelectorAllDithered, "blue-noise ordered dither (engine B)"},
      {"eight", 0, 0, r::kSelectorDiffusedMagenta, "eight-colour dither, a fast draft (engine B)"},
      {"ordered", 2, 0, r::kSelectorBlueNoise, "blue-noise screens with an ink limit (engine A)"},
      {"clustered", 2, 0, r::kSelectorClustered, "clustered-dot screens (engine A)"},
      {"stacked", 2, 0, r::kSelectorStacked, "blue-noise screens with stacked inks (engine A)"},
  };
  return methods;
}

const Method* FindMethod(const std::string& name) {
  for (const Method& m : Methods()) {
    if (name == m.name) return &m;
  }
  return nullptr;
}

const std::vector<Resolution>& Resolutions() {
  static const std::vector<Resolution> list = {
      {360, 360}, {720, 720}, {1440, 720}, {720, 1440}};
  return list;
}

std::optional<Resolution> ParseResolution(const std::string& text) {
  int x = 0, y = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%dx%d%c", &x, &y, &tail) != 2) return std::nullopt;
  if (x <= 0 || y <= 0 || x > 5760 || y > 5760) return std::nullopt;
  return Resolution{x, y};
}

std::optional<PageSize> ParsePage(const std::string& text) {
  if (text == "letter") return PageSize{8.5, 11.0};
  if (text == "a4") return PageSize{210.0 / 25.4, 297.0 / 25.4};
  double w = 0, h = 0;
  char unit[3] = {};
  char tail = 0;
  if (std::sscanf(text.c_str(), "%lfx%lf%2[a-z]%c", &w, &h, unit, &tail) == 3 &&
      std::string(unit) == "in" && w >= 0.5 && h >= 0.5 && w <= 44 && h <= 44) {
    return PageSize{w, h};
  }
  return std::nullopt;
}

Result<ColorSettings> MakeColorSettings(const JobOptions& options,
                                        const ResourceSet& resources,
                                        uint32_t lineWidth) {
  const Method* method = FindMethod(options.method);
  if (method == nullptr) {
    return Status(RC_BAD_VALUE, "--method: unknown method '" + options.method + "'");
  }
  Status s = Validate(options.adjust);
  if (!s.ok()) return s;
  ColorSettings cs;
  cs.adjust = options.adjust;
  cs.gammaHundredths = options.gammaHundredths;
  HalftoneSettings& h = cs.halftone;
  h.kind = method->kind;
  h.variant = method->variant;
  h.xResolution = options.resolution.x;
  h.yResolution = options.resolution.y;
  h.lineWidth = lineWidth;
  if (options.blackOnly) {
    // One gray byte per pixel through the black tone curve.
    h.renderMode = 0;
    h.lutMode = 0;
    cs.inks = InkSet::kBlack;
  } else {
    // RGB pixels of four bytes through the colour table.
    h.renderMode = 3;
    h.lutMode = 1;
    cs.inks = InkSet::kColor;
  }
  cs.selector = method->selector;
  auto index = resources.Find(Service::kColor, cs.indexBlock);
  std::optional<IndexNames> names;
  if (index) names = ReadIndexNames(*index);
  if (!names) {
    return Status(RC_BAD_RESOURCE, "the resource set has no readable colour-table index (colour block " +
                                       std::to_string(cs.indexBlock) + ")");
  }
  std::optional<int> paper = names->PaperNumber(options.paper);
  if (!paper) {
    std::string known;
    for (const std::string& p : names->papers) known += (known.empty() ? "" : ", ") + p;
    return Status(RC_BAD_VALUE, "--paper: '" + options.paper +
                                    "' is not a paper of the colour-table index (" + known + ")");
  }
  cs.paper = *paper;
  if (options.calibration) {
    const int inks = options.blackOnly ? 1 : 4;
    Calibration c;
    c.levels = *options.calibration;
    if (c.levels.size() == 1) c.levels.assign(inks, c.levels[0]);
    s = Validate(c, inks);
    if (!s.ok()) return Status(s.code(), "--calibration: " + s.message());
    cs.calibration = c;
  }
  return cs;
}

std::vector<std::string> PlaneNames(int planes) {
  if (planes == 1) return {"black"};
  return {"cyan", "magenta", "yellow", "black"};
}

Result<Placement> Place(const PageSize& page, Resolution res, int imageWidth,
                        int imageHeight, std::optional<double> dpi) {
  Placement p;
  p.pageWidth = static_cast<int>(std::lround(page.widthInches * res.x));
  p.pageHeight = static_cast<int>(std::lround(page.heightInches * res.y));
  if (imageWidth <= 0 || imageHeight <= 0) {
    return Status(RC_BAD_PARAMETER, "the image is empty");
  }
  double wIn, hIn;
  if (dpi) {
    if (*dpi < 1 || *dpi > 10000) {
      return Status(RC_BAD_VALUE, "--dpi: " + std::to_string(*dpi) + " is outside 1..10000");
    }
    wIn = imageWidth / *dpi;
    hIn = imageHeight / *dpi;
    if (wIn > page.widthInches + 1e-9 || hIn > page.heightInches + 1e-9) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "--dpi: the image at %g dpi (%.2f x %.2f in) does not fit the %.2f x %.2f in page",
                    *dpi, wIn, hIn, page.widthInches, page.heightInches);
      return Status(RC_BAD_VALUE, text);
    }
  } else {
    double scale = std::min(page.widthInches / imageWidth, page.heightInches / imageHeight);
    wIn = imageWidth * scale;
    hIn = imageHeight * scale;
  }
  p.width = std::max(1, std::min(p.pageWidth, static_cast<int>(std::lround(wIn * res.x))));
  p.height = std::max(1, std::min(p.pageHeight, static_cast<int>(std::lround(hIn * res.y))));
  p.left = (p.pageWidth - p.width) / 2;
  p.top = (p.pageHeight - p.height) / 2;
  return p;
}

}  // namespace vantik::tool
