#include "options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "printmodel/table_builder.h"

namespace vantik::tool {

namespace {

std::string CheckMethod(const std::string& v) {
  if (FindMethod(v)) return {};
  std::string names;
  for (const Method& m : Methods()) names += std::string(names.empty() ? "" : ", ") + m.name;
  return "unknown method '" + v + "' (methods: " + names + ")";
}

std::string CheckInk(const std::string& v) {
  if (v == "colour" || v == "color" || v == "black") return {};
  return "'" + v + "' is not colour or black";
}

std::string CheckResolution(const std::string& v) {
  if (ParseResolution(v)) return {};
  return "'" + v + "' is not XxY dots per inch (for example 720x720)";
}

std::string CheckPage(const std::string& v) {
  if (ParsePage(v)) return {};
  return "'" + v + "' is not letter, a4 or WxHin with sides of 0.5 to 44 inches (for example 4x6in)";
}

std::string CheckCalibration(const std::string& v) {
  Result<std::vector<int>> levels = ParseCalibration(v);
  return levels.ok() ? std::string() : levels.status().message();
}

std::string CheckMargins(const std::string& v) {
  if (ParseMargins(v)) return {};
  return "'" + v + "' is not one margin or top,right,bottom,left, each 0..10 in (for example 0.25, 5mm or 0.2in)";
}

std::string CheckSize(const std::string& v) {
  int w = 0, h = 0;
  char tail = 0;
  if (std::sscanf(v.c_str(), "%dx%d%c", &w, &h, &tail) == 2 && w >= 64 && h >= 64 &&
      w <= 20000 && h <= 20000) {
    return {};
  }
  return "'" + v + "' is not WxH pixels with sides of 64..20000";
}

std::string CheckFormat(const std::string& v) {
  if (ParsePlaneFormat(v)) return {};
  return "'" + v + "' is not pbm, tiff, pbm,tiff or none";
}

std::string CheckBlack(const std::string& v) {
  Result<printmodel::BlackCurve> curve = printmodel::BlackCurveByName(v);
  return curve.ok() ? std::string() : "expected none, light, medium, heavy or max";
}

std::string CheckCorrect(const std::string& v) {
  if (v == "none" || v == "default" || v == "all") return {};
  return "expected none, default or all";
}

// Comma-separated colour table numbers.
std::string CheckTables(const std::string& v) {
  size_t at = 0;
  while (true) {
    const size_t end = std::min(v.find(',', at), v.size());
    const std::string item = v.substr(at, end - at);
    if (item.empty() || item.size() > 4 || item.find_first_not_of("0123456789") != std::string::npos) {
      return "'" + v + "' is not a list of table numbers (for example 3,17)";
    }
    if (end == v.size()) return {};
    at = end + 1;
  }
}

std::string CheckOnOff(const std::string& v) {
  if (v == "on" || v == "off") return {};
  return "'" + v + "' is not on or off";
}

constexpr double kAdjustMin = -50, kAdjustMax = 50;

const std::vector<OptionInfo> kOptions = {
    // Valid for every command, before or after its name.
    {"--resources", nullptr, OptionType::kText, "resource directory", 0, 0, "the built-in set"},
    {"--quiet", "-q", OptionType::kFlag, "no progress bar, no list of files"},
    {"--verbose", nullptr, OptionType::kFlag, "also show the image library's warnings"},
    {"--max-pixels", nullptr, OptionType::kInteger,
     "refuse images and raster pages of more pixels than this", 1, 1e12,
     "4000000000, a 36 x 48 in poster at 1440 dpi"},
    {"--verbose", nullptr, OptionType::kFlag,
     "also show the image library's warnings and each page's stage times"},
    // The print job.
    {"--method", nullptr, OptionType::kText, "halftone method", 0, 0, "diffusion", CheckMethod},
    {"--ink", nullptr, OptionType::kText, "colour (four inks) or black (black ink only)", 0, 0,
     "colour", CheckInk},
    {"--resolution", nullptr, OptionType::kText,
     "dots per inch, XxY; the built-in resources hold 360x360, 720x720, 1440x720 and 720x1440", 0,
     0, "720x720",
     CheckResolution},
    {"--paper", nullptr, OptionType::kText, "paper, a name of the colour-table index", 0, 0,
     "plain"},
    {"--calibration", nullptr, OptionType::kText,
     "calibration levels 30..70: one for all inks or C,M,Y,K (50: reference)", 0, 0, nullptr,
     CheckCalibration},
    {"--brightness", nullptr, OptionType::kInteger, "brightness", kAdjustMin, kAdjustMax, "0"},
    {"--contrast", nullptr, OptionType::kInteger, "contrast", kAdjustMin, kAdjustMax, "0"},
    {"--saturation", nullptr, OptionType::kInteger, "saturation", kAdjustMin, kAdjustMax, "0"},
    {"--red", nullptr, OptionType::kInteger, "red balance", kAdjustMin, kAdjustMax, "0"},
    {"--green", nullptr, OptionType::kInteger, "green balance", kAdjustMin, kAdjustMax, "0"},
    {"--blue", nullptr, OptionType::kInteger, "blue balance", kAdjustMin, kAdjustMax, "0"},
    // The simulated print.
    {"--model", nullptr, OptionType::kText,
     "printer the simulated print shows: its measurements (CGATS, the 16 overprints and "
     "single-ink ramps), or 'ideal' for ideal inks",
     0, 0, "the built-in measured printer"},
    // Building colour tables.
    {"--black", nullptr, OptionType::kText,
     "black generation: none, light, medium, heavy or max", 0, 0, "medium", CheckBlack},
    {"--pure-black", nullptr, OptionType::kFlag,
     "grays at and near solid black print with black ink alone, so black text and lines carry no "
     "colour ink; print, separate and resources profile: black alone from gray level 64 down and "
     "within 32 levels of gray, handing over to the colour tables' rich black by level 128; "
     "resources build: the darker half of the neutral axis is built black-only"},
    {"--ink-limit", nullptr, OptionType::kReal,
     "total ink limit, 1 = one solid ink", 1, 4, "2.6 for plain paper, 3.0 for photo paper"},
    {"--icc", nullptr, OptionType::kText,
     "printer the tables are built for: its ICC output profile (CMYK), instead of --model", 0, 0,
     nullptr},
    {"--correct", nullptr, OptionType::kText,
     "tables corrected by printing a patch of every node through the method they serve and "
     "reading it under the print model: none, default (the tables of diffusion, hybrid and "
     "dither, whose kernels place dots of different inks by their own rules) or all; not with "
     "--icc",
     0, 0, "default", CheckCorrect},
    {"--table", nullptr, OptionType::kText,
     "rebuild only these colour tables (their numbers in the colour-table index, comma-separated); "
     "the others are copied",
     0, 0, "every four-ink table", CheckTables},
    // Calibration.
    {"--steps", nullptr, OptionType::kInteger, "steps of each ink's ramp", 2, 100, "20"},
    // Page layout.
    {"--page", nullptr, OptionType::kText, "page: letter, a4 or WxHin (for example 4x6in)", 0, 0,
     "letter", CheckPage},
    {"--fit", nullptr, OptionType::kFlag,
     "scale the image to fit the page, turned a quarter when that fits better (the default)"},
    {"--no-rotate", nullptr, OptionType::kFlag, "never turn the image to fit the page"},
    {"--margins", nullptr, OptionType::kText,
     "unprintable edges: one value or top,right,bottom,left, in inches or with mm", 0, 0,
     "0.25 for letter, 5mm for a4, 0 for WxHin", CheckMargins},
    {"--dpi", nullptr, OptionType::kReal, "place the image at this many pixels per inch", 1,
     10000},
    // What print writes.
    {"--format", nullptr, OptionType::kText,
     "plane files: pbm, tiff (deflate, Group 4 for clustered dots), pbm,tiff or none", 0, 0,
     "pbm", CheckFormat},
    {"--simulate", nullptr, OptionType::kText, "write the simulated print <name>-print.png: on or off",
     0, 0, "on", CheckOnOff},
    {"--threads", nullptr, OptionType::kInteger,
     "threads per page, 0 for one per core; 1 runs every stage on one thread", 0, 256, "0"},
    // Preview.
    {"--gamma", nullptr, OptionType::kReal, "screen gamma (1.5 leaves tones unchanged)", 1.0, 3.0,
     "1.5"},
    {"--sharpen", nullptr, OptionType::kInteger, "edge sharpening", 0, 3, "0"},
    // Chart.
    {"--size", nullptr, OptionType::kText, "pixels, WxH", 0, 0, "1500x1000", CheckSize},
};

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string RangeText(const OptionInfo& o) {
  if (o.type == OptionType::kInteger) return Number(o.min) + ".." + Number(o.max);
  if (o.type == OptionType::kReal) {
    // Reals show their decimals so that the range reads as one of reals.
    char text[64];
    std::snprintf(text, sizeof text, "%.1f..%.1f", o.min, o.max);
    return text;
  }
  return {};
}

}  // namespace

const std::vector<OptionInfo>& OptionTable() { return kOptions; }

std::optional<PlaneFormat> ParsePlaneFormat(const std::string& text) {
  if (text == "pbm") return PlaneFormat{true, false};
  if (text == "tiff") return PlaneFormat{false, true};
  if (text == "pbm,tiff" || text == "tiff,pbm") return PlaneFormat{true, true};
  if (text == "none") return PlaneFormat{false, false};
  return std::nullopt;
}

const OptionInfo* FindOption(std::string_view name) {
  for (const OptionInfo& o : kOptions) {
    if (name == o.name || (o.shortName != nullptr && name == o.shortName)) return &o;
  }
  return nullptr;
}

std::string HelpText(const OptionInfo& o) {
  std::string text = o.help;
  std::string range = RangeText(o);
  if (!range.empty()) text += ", " + range;
  if (o.fallback != nullptr) text += std::string(" (default: ") + o.fallback + ")";
  return text;
}

std::string CheckValue(const OptionInfo& o, const std::string& value) {
  const std::string name = o.name;
  switch (o.type) {
    case OptionType::kFlag:
      return {};
    case OptionType::kInteger:
    case OptionType::kReal: {
      char* end = nullptr;
      double v = std::strtod(value.c_str(), &end);
      const bool whole = o.type == OptionType::kReal || v == std::floor(v);
      if (value.empty() || *end != 0 || !std::isfinite(v) || !whole) {
        return name + ": '" + value + "' is not " +
               (o.type == OptionType::kInteger ? "a whole number" : "a number");
      }
      if (v < o.min || v > o.max) {
        return name + ": " + value + " is outside " + RangeText(o);
      }
      return {};
    }
    case OptionType::kText:
      if (o.check == nullptr) return {};
      std::string problem = o.check(value);
      return problem.empty() ? problem : name + ": " + problem;
  }
  return {};
}

std::string CheckValue(std::string_view name, const std::string& value) {
  const OptionInfo* o = FindOption(name);
  if (o == nullptr) return std::string(name) + ": not an option of vantik";
  return CheckValue(*o, value);
}

Result<std::vector<int>> ParseCalibration(const std::string& text) {
  std::vector<int> levels;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    char* end = nullptr;
    long v = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end != 0) {
      return Status(RC_BAD_VALUE, "'" + text + "' is not one level or C,M,Y,K levels");
    }
    if (v < 30 || v > 70) return Status(RC_BAD_VALUE, "level " + item + " is outside 30..70");
    levels.push_back(static_cast<int>(v));
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  if (levels.size() != 1 && levels.size() != 4) {
    return Status(RC_BAD_VALUE, "'" + text + "' is not one level or C,M,Y,K levels");
  }
  return levels;
}

Result<JobOptions> MakeJob(const JobChoices& c) {
  const struct {
    const char* name;
    std::string value;
  } values[] = {
      {"--method", c.method},
      {"--ink", c.ink},
      {"--resolution", c.resolution},
      {"--brightness", std::to_string(c.adjust.brightness)},
      {"--contrast", std::to_string(c.adjust.contrast)},
      {"--saturation", std::to_string(c.adjust.saturation)},
      {"--red", std::to_string(c.adjust.red)},
      {"--green", std::to_string(c.adjust.green)},
      {"--blue", std::to_string(c.adjust.blue)},
  };
  for (const auto& v : values) {
    std::string problem = CheckValue(v.name, v.value);
    if (!problem.empty()) return Status(RC_BAD_VALUE, problem);
  }
  JobOptions job;
  job.method = c.method;
  job.blackOnly = c.ink == "black";
  job.pureBlack = c.pureBlack;
  job.resolution = *ParseResolution(c.resolution);
  job.paper = c.paper;
  job.adjust = c.adjust;
  if (!c.calibration.empty()) {
    Result<std::vector<int>> levels = ParseCalibration(c.calibration);
    if (!levels.ok()) return Status(RC_BAD_VALUE, "--calibration: " + levels.status().message());
    job.calibration = *levels;
  }
  return job;
}

}  // namespace vantik::tool
