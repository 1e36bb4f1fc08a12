// The filter's settings: a job's options (the filter's option string) and
// the queue's PPD read into what the job will print with.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "raster_filter.h"

namespace vantik::filter {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The value of an option: the job's own value first (it may be a number the
// PPD does not list), then the PPD's marked choice.
std::optional<std::string> Value(const char* name, int numOptions, cups_option_t* options,
                                 ppd_file_t* ppd) {
  if (const char* v = cupsGetOption(name, numOptions, options)) return std::string(v);
  if (ppd != nullptr) {
    if (ppd_choice_t* c = ppdFindMarkedChoice(ppd, name)) return std::string(c->choice);
  }
  return std::nullopt;
}

// A value the printer's back-end fixes: the PPD's attribute, unless the job
// names one.
std::optional<std::string> Fixed(const char* option, const char* attribute, int numOptions,
                                 cups_option_t* options, ppd_file_t* ppd) {
  if (const char* v = cupsGetOption(option, numOptions, options)) return std::string(v);
  if (ppd != nullptr) {
    if (ppd_attr_t* a = ppdFindAttr(ppd, attribute, nullptr); a != nullptr && a->value) {
      return std::string(a->value);
    }
  }
  return std::nullopt;
}

std::optional<int> Integer(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != 0 || v < -100000 || v > 100000) return std::nullopt;
  return static_cast<int>(v);
}

// "720dpi", "1440x720dpi" or "720x1440".
std::optional<tool::Resolution> ParseDpi(std::string text) {
  text = Lower(text);
  if (text.size() > 3 && text.compare(text.size() - 3, 3, "dpi") == 0) text.resize(text.size() - 3);
  if (text.find('x') == std::string::npos) text += "x" + text;
  return tool::ParseResolution(text);
}

Status Bad(const std::string& option, const std::string& value, const std::string& why) {
  return Status(RC_BAD_VALUE, option + "=" + value + ": " + why);
}

// The halftone method a print quality stands for (IPP's 3, 4, 5 or the
// PPD's Draft, Normal, High).
std::optional<std::string> MethodForQuality(const std::string& q) {
  std::string v = Lower(q);
  if (v == "draft" || v == "3") return "eight";
  if (v == "normal" || v == "4") return "hybrid";
  if (v == "high" || v == "5") return "diffusion";
  return std::nullopt;
}

}  // namespace

Result<FilterSettings> ReadSettings(int numOptions, cups_option_t* options, ppd_file_t* ppd) {
  FilterSettings fs;
  auto value = [&](const char* name) { return Value(name, numOptions, options, ppd); };

  if (auto v = value("Resolution")) {
    std::optional<tool::Resolution> r = ParseDpi(*v);
    if (!r) return Bad("Resolution", *v, "not a resolution such as 720dpi or 1440x720dpi");
    fs.job.resolution = *r;
    fs.resolutionChosen = true;
  }
  if (auto v = value("MediaType")) fs.job.paper = Lower(*v);

  // The job's own option, then the IPP attribute it may have come as, then
  // the PPD's marked choice.
  auto either = [&](const char* option, const char* ipp) -> std::optional<std::pair<std::string, std::string>> {
    if (const char* v = cupsGetOption(option, numOptions, options)) return std::pair{std::string(option), std::string(v)};
    if (const char* v = cupsGetOption(ipp, numOptions, options)) return std::pair{std::string(ipp), std::string(v)};
    if (auto v = value(option)) return std::pair{std::string(option), *v};
    return std::nullopt;
  };

  // The method: an explicit halftone choice, else the print quality's.
  std::string method = "diffusion";
  if (auto q = either("cupsPrintQuality", "print-quality")) {
    auto m = MethodForQuality(q->second);
    if (!m) return Bad(q->first, q->second, "not Draft, Normal or High (3, 4 or 5)");
    method = *m;
  }
  if (auto h = value("VantikHalftone"); h && Lower(*h) != "auto") {
    if (!tool::FindMethod(Lower(*h))) {
      std::string known;
      for (const tool::Method& m : tool::Methods()) known += std::string(known.empty() ? "" : ", ") + m.name;
      return Bad("VantikHalftone", *h, "not Auto or one of " + known);
    }
    method = Lower(*h);
  }
  fs.job.method = method;

  // Colour or black ink only.
  if (auto c = either("ColorModel", "print-color-mode")) {
    std::string v = Lower(c->second);
    if (v == "gray" || v == "grey" || v == "black" || v == "monochrome") {
      fs.job.blackOnly = true;
    } else if (v != "rgb" && v != "color" && v != "colour") {
      return Bad(c->first, c->second, "not RGB or color (colour), Gray or monochrome (black ink only)");
    }
  }

  // Black text and lines with black ink alone (the PPD's Boolean; a job
  // may say so in any of the usual ways).
  if (auto v = value("VantikPureBlack")) {
    std::string b = Lower(*v);
    if (b.empty() || b == "true" || b == "on" || b == "yes" || b == "1") fs.job.pureBlack = true;
    else if (b != "false" && b != "off" && b != "no" && b != "0")
      return Bad("VantikPureBlack", *v, "not True or False");
  }

  struct Adjustment {
    const char* option;
    int* field;
  };
  const Adjustment adjustments[] = {
      {"VantikBrightness", &fs.job.adjust.brightness}, {"VantikContrast", &fs.job.adjust.contrast},
      {"VantikSaturation", &fs.job.adjust.saturation}, {"VantikRed", &fs.job.adjust.red},
      {"VantikGreen", &fs.job.adjust.green},           {"VantikBlue", &fs.job.adjust.blue},
  };
  for (const Adjustment& a : adjustments) {
    auto v = value(a.option);
    if (!v) continue;
    std::optional<int> n = Integer(*v);
    if (!n || *n < -50 || *n > 50) return Bad(a.option, *v, "not a whole number in -50..50");
    *a.field = *n;
  }

  // Calibration: one level per ink (30..70, 50 the reference).  With no
  // level chosen the table is used as it is.
  std::vector<int> levels(4, 50);
  bool calibrated = false;
  const char* inks[] = {"VantikCyanLevel", "VantikMagentaLevel", "VantikYellowLevel",
                        "VantikBlackLevel"};
  for (int i = 0; i < 4; ++i) {
    auto v = value(inks[i]);
    if (!v || Lower(*v) == "none") continue;
    std::optional<int> n = Integer(*v);
    if (!n || *n < 30 || *n > 70) return Bad(inks[i], *v, "not None or a level in 30..70");
    levels[i] = *n;
    calibrated = true;
  }
  if (calibrated) {
    // Black ink only calibrates the one ink it prints with.
    fs.job.calibration = fs.job.blackOnly ? std::vector<int>{levels[3]} : levels;
  }

  if (auto v = Fixed("VantikPlaneOrder", "vantikPlaneOrder", numOptions, options, ppd)) {
    std::string o = Lower(*v);
    if (o == "kcmy") fs.order = PlaneOrder::kKCMY;
    else if (o == "cmyk") fs.order = PlaneOrder::kCMYK;
    else return Bad("VantikPlaneOrder", *v, "not KCMY or CMYK");
  }
  if (auto v = Fixed("VantikPlaneLayout", "vantikPlaneLayout", numOptions, options, ppd)) {
    std::string o = Lower(*v);
    if (o == "planar") fs.layout = PlaneLayout::kPlanar;
    else if (o == "banded") fs.layout = PlaneLayout::kBanded;
    else return Bad("VantikPlaneLayout", *v, "not Planar or Banded");
  }
  // Only the PPD names a resource directory: a job must not point the
  // filter at files of its choosing.
  if (ppd != nullptr) {
    if (ppd_attr_t* a = ppdFindAttr(ppd, "vantikResources", nullptr); a && a->value && *a->value) {
      fs.resources = a->value;
    }
  }
  return fs;
}

Result<FilterSettings> SettingsFromOptions(const char* optionString, ppd_file_t* ppd) {
  cups_option_t* options = nullptr;
  const int numOptions = cupsParseOptions(optionString, 0, &options);
  if (ppd != nullptr) {
    ppdMarkDefaults(ppd);
    cupsMarkOptions(ppd, numOptions, options);
  }
  Result<FilterSettings> settings = ReadSettings(numOptions, options, ppd);
  cupsFreeOptions(numOptions, options);
  return settings;
}

}  // namespace vantik::filter
