// Print-job choices mapped onto the library's settings.
#include "job.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>

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

// Photo paper's coating holds more ink than plain paper, which cockles and
// bleeds beyond about 260 %.
double InkLimitOfPaper(const std::string& paper) {
  std::string lower = paper;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return lower.find("photo") != std::string::npos ? 3.0 : 2.6;
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
  bool served = false;
  for (const IndexNames::Entry& e : names->entries) {
    served |= e.xResolution == options.resolution.x && e.yResolution == options.resolution.y;
  }
  if (!served) {
    return Status(RC_BAD_VALUE, "--resolution: " + std::to_string(options.resolution.x) + " x " +
                                    std::to_string(options.resolution.y) +
                                    " dpi has no colour table; the resources hold " +
                                    ResolutionList(TableResolutions(resources)));
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

std::vector<Resolution> TableResolutions(const ResourceSet& resources) {
  std::vector<Resolution> list;
  auto index = resources.Find(Service::kColor, kColorIndexBlock);
  std::optional<IndexNames> names;
  if (index) names = ReadIndexNames(*index);
  if (!names) return list;
  for (const IndexNames::Entry& e : names->entries) {
    bool seen = false;
    for (const Resolution& r : list) seen |= r.x == e.xResolution && r.y == e.yResolution;
    if (!seen) list.push_back({e.xResolution, e.yResolution});
  }
  return list;
}

std::string ResolutionList(const std::vector<Resolution>& list) {
  std::string text;
  for (const Resolution& r : list) {
    text += (text.empty() ? "" : ", ") + std::to_string(r.x) + "x" + std::to_string(r.y);
  }
  return text.empty() ? "none" : text;
}

std::vector<std::string> PlaneNames(int planes) {
  if (planes == 1) return {"black"};
  return {"cyan", "magenta", "yellow", "black"};
}

Margins DefaultMargins(const std::string& pageName) {
  if (pageName == "letter") return {0.25, 0.25, 0.25, 0.25};
  if (pageName == "a4") {
    const double m = 5 / 25.4;
    return {m, m, m, m};
  }
  return {};
}

std::optional<Margins> ParseMargins(const std::string& text) {
  std::vector<double> values;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    char* end = nullptr;
    double v = std::strtod(item.c_str(), &end);
    if (item.empty() || end == item.c_str() || !std::isfinite(v)) return std::nullopt;
    std::string unit = end;
    if (unit == "mm") v /= 25.4;
    else if (!unit.empty() && unit != "in") return std::nullopt;
    if (v < 0 || v > 10) return std::nullopt;
    values.push_back(v);
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  if (values.size() == 1) return Margins{values[0], values[0], values[0], values[0]};
  if (values.size() == 4) return Margins{values[0], values[1], values[2], values[3]};
  return std::nullopt;
}

bool ShouldRotate(const PageSize& page, const Margins& m, int imageWidth, int imageHeight) {
  const double w = page.widthInches - m.left - m.right, h = page.heightInches - m.top - m.bottom;
  if (imageWidth == imageHeight || w == h) return false;
  return (imageWidth > imageHeight) != (w > h);
}

Result<Placement> Place(const PageSize& page, Resolution res, int imageWidth,
                        int imageHeight, std::optional<double> dpi, const Margins& margins) {
  Placement p;
  p.pageWidth = static_cast<int>(std::lround(page.widthInches * res.x));
  p.pageHeight = static_cast<int>(std::lround(page.heightInches * res.y));
  if (imageWidth <= 0 || imageHeight <= 0) {
    return Status(RC_BAD_PARAMETER, "the image is empty");
  }
  const double areaWidth = page.widthInches - margins.left - margins.right;
  const double areaHeight = page.heightInches - margins.top - margins.bottom;
  if (areaWidth < 0.5 || areaHeight < 0.5) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "--margins: they leave %.2f x %.2f in of the %.2f x %.2f in page; at least 0.5 in "
                  "each way must remain",
                  std::max(0.0, areaWidth), std::max(0.0, areaHeight), page.widthInches,
                  page.heightInches);
    return Status(RC_BAD_VALUE, text);
  }
  double wIn, hIn;
  if (dpi) {
    if (*dpi < 1 || *dpi > 10000) {
      return Status(RC_BAD_VALUE, "--dpi: " + std::to_string(*dpi) + " is outside 1..10000");
    }
    wIn = imageWidth / *dpi;
    hIn = imageHeight / *dpi;
    if (wIn > areaWidth + 1e-9 || hIn > areaHeight + 1e-9) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "--dpi: the image at %g dpi (%.2f x %.2f in) does not fit the printable "
                    "%.2f x %.2f in of the page",
                    *dpi, wIn, hIn, areaWidth, areaHeight);
      return Status(RC_BAD_VALUE, text);
    }
  } else {
    double scale = std::min(areaWidth / imageWidth, areaHeight / imageHeight);
    wIn = imageWidth * scale;
    hIn = imageHeight * scale;
  }
  p.width = std::max(1, std::min(p.pageWidth, static_cast<int>(std::lround(wIn * res.x))));
  p.height = std::max(1, std::min(p.pageHeight, static_cast<int>(std::lround(hIn * res.y))));
  // Centred in the printable area.
  const int areaLeft = static_cast<int>(std::lround(margins.left * res.x));
  const int areaTop = static_cast<int>(std::lround(margins.top * res.y));
  const int areaW = static_cast<int>(std::lround(areaWidth * res.x));
  const int areaH = static_cast<int>(std::lround(areaHeight * res.y));
  p.left = std::clamp(areaLeft + (areaW - p.width) / 2, 0, p.pageWidth - p.width);
  p.top = std::clamp(areaTop + (areaH - p.height) / 2, 0, p.pageHeight - p.height);
  return p;
}

}  // namespace vantik::tool
