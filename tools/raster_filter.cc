#include "raster_filter.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "resources_io.h"

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

cups_page_header2_t DotHeader(const cups_page_header2_t& input, int width, int height,
                              tool::Resolution resolution, int planes, PlaneOrder order,
                              PlaneLayout layout) {
  cups_page_header2_t h = input;
  h.HWResolution[0] = static_cast<unsigned>(resolution.x);
  h.HWResolution[1] = static_cast<unsigned>(resolution.y);
  h.cupsWidth = static_cast<unsigned>(width);
  h.cupsHeight = static_cast<unsigned>(height);
  h.cupsBitsPerColor = 1;
  h.cupsNumColors = static_cast<unsigned>(planes);
  h.cupsCompression = 0;
  const unsigned planeBytes = static_cast<unsigned>(PlaneBytes(width));
  if (planes == 1) {
    h.cupsColorSpace = CUPS_CSPACE_K;
    h.cupsColorOrder = layout == PlaneLayout::kPlanar ? CUPS_ORDER_PLANAR : CUPS_ORDER_BANDED;
    h.cupsBitsPerPixel = 1;
    h.cupsBytesPerLine = planeBytes;
  } else {
    h.cupsColorSpace = order == PlaneOrder::kKCMY ? CUPS_CSPACE_KCMY : CUPS_CSPACE_CMYK;
    h.cupsBitsPerPixel = 1;
    if (layout == PlaneLayout::kPlanar) {
      h.cupsColorOrder = CUPS_ORDER_PLANAR;
      h.cupsBytesPerLine = planeBytes;
    } else {
      h.cupsColorOrder = CUPS_ORDER_BANDED;
      h.cupsBytesPerLine = planeBytes * static_cast<unsigned>(planes);
    }
  }
  return h;
}

void Messages::Info(const std::string& text) const { std::fprintf(out, "INFO: %s\n", text.c_str()); }
void Messages::Warning(const std::string& text) const {
  std::fprintf(out, "WARNING: %s\n", text.c_str());
}
void Messages::Error(const std::string& text) const {
  std::fprintf(out, "ERROR: %s\n", text.c_str());
}
void Messages::Page(int page, int copies) const { std::fprintf(out, "PAGE: %d %d\n", page, copies); }
void Messages::Attr(const std::string& text) const { std::fprintf(out, "ATTR: %s\n", text.c_str()); }

namespace {

// One page of the input raster: 8-bit RGB or gray, chunked.
class InputPage {
 public:
  Status Start(const cups_page_header2_t& h, int page) {
    page_ = page;
    if (h.cupsBitsPerColor != 8 || h.cupsColorOrder != CUPS_ORDER_CHUNKED) {
      return Status(RC_FAILURE, Where() + "the raster must be 8 bits per colour, chunked");
    }
    switch (h.cupsColorSpace) {
      case CUPS_CSPACE_RGB:
      case CUPS_CSPACE_SRGB:
      case CUPS_CSPACE_ADOBERGB: bands_ = 3; invert_ = false; break;
      case CUPS_CSPACE_W:
      case CUPS_CSPACE_SW: bands_ = 1; invert_ = false; break;
      case CUPS_CSPACE_K: bands_ = 1; invert_ = true; break;
      default:
        return Status(RC_FAILURE, Where() + "raster colour space " +
                                      std::to_string(h.cupsColorSpace) + " is not RGB or gray");
    }
    if (h.cupsWidth == 0 || h.cupsHeight == 0 || h.cupsWidth > 65535 || h.cupsHeight > 65535 ||
        h.cupsBytesPerLine < h.cupsWidth * bands_) {
      return Status(RC_FAILURE, Where() + "the raster's page size is not usable");
    }
    if (h.HWResolution[0] == 0 || h.HWResolution[1] == 0 || h.HWResolution[0] > 5760 ||
        h.HWResolution[1] > 5760) {
      return Status(RC_FAILURE, Where() + "the raster's resolution is not usable");
    }
    width_ = static_cast<int>(h.cupsWidth);
    height_ = static_cast<int>(h.cupsHeight);
    line_.resize(h.cupsBytesPerLine);
    return Status::Ok();
  }
  Status Row(cups_raster_t* raster, int y, std::span<uint8_t> rgb) {
    if (cupsRasterReadPixels(raster, line_.data(), static_cast<unsigned>(line_.size())) !=
        line_.size()) {
      return Status(RC_FAILURE, Where() + "the raster ends early at line " + std::to_string(y));
    }
    if (bands_ == 3) {
      std::memcpy(rgb.data(), line_.data(), size_t(width_) * 3);
    } else {
      for (int x = 0; x < width_; ++x) {
        uint8_t v = invert_ ? static_cast<uint8_t>(255 - line_[x]) : line_[x];
        rgb[x * 3] = rgb[x * 3 + 1] = rgb[x * 3 + 2] = v;
      }
    }
    return Status::Ok();
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  std::string Where() const { return "page " + std::to_string(page_) + ": "; }
  int page_ = 0, width_ = 0, height_ = 0, bands_ = 0;
  bool invert_ = false;
  std::vector<uint8_t> line_;
};

struct RasterCloser {
  void operator()(cups_raster_t* r) const { cupsRasterClose(r); }
};
using RasterPtr = std::unique_ptr<cups_raster_t, RasterCloser>;

// A page is held as 1-bit planes, at most this many bytes, before it is
// written whole.
constexpr size_t kMaxPageBytes = size_t(1) << 30;

}  // namespace

Status RunFilter(int inputFd, int outputFd, const FilterSettings& settings,
                 const std::atomic<bool>& cancel, const Messages& messages,
                 FilterResult* result) {
  *result = FilterResult{};
  Result<ResourceSet> resources = tool::LoadResources(settings.resources);
  if (!resources.ok()) return resources.status();
  RasterPtr in(cupsRasterOpen(inputFd, CUPS_RASTER_READ));
  if (!in) return Status(RC_FAILURE, "the input is not a CUPS raster stream");
  RasterPtr out;

  for (int page = 1;; ++page) {
    if (cancel) {
      result->cancelled = true;
      return Status::Ok();
    }
    cups_page_header2_t header;
    if (!cupsRasterReadHeader2(in.get(), &header)) {
      if (page == 1) return Status(RC_FAILURE, "the raster holds no page");
      return Status::Ok();
    }
    InputPage input;
    Status s = input.Start(header, page);
    if (!s.ok()) return s;
    const tool::Resolution inRes{static_cast<int>(header.HWResolution[0]),
                                 static_cast<int>(header.HWResolution[1])};
    tool::JobOptions job = settings.job;
    if (!settings.resolutionChosen) job.resolution = inRes;
    // The page keeps its size in inches at the printer's resolution.
    const int64_t w64 = (int64_t(input.width()) * job.resolution.x + inRes.x / 2) / inRes.x;
    const int64_t h64 = (int64_t(input.height()) * job.resolution.y + inRes.y / 2) / inRes.y;
    if (w64 < 1 || h64 < 1 || w64 > 65535 || h64 > 65535) {
      return Status(RC_FAILURE, "page " + std::to_string(page) + ": " + std::to_string(w64) +
                                    " x " + std::to_string(h64) + " dots cannot be printed");
    }
    const PageGeometry g{input.width(), input.height(), static_cast<int>(w64),
                         static_cast<int>(h64)};

    Result<ColorSettings> cs = tool::MakeColorSettings(job, *resources, static_cast<uint32_t>(g.width));
    if (!cs.ok()) return cs.status();
    Result<ColorMatcher> matcher = ColorMatcher::Create(*cs, *resources);
    if (!matcher.ok()) return matcher.status();
    Result<Halftoner> halftoner = Halftoner::Create(*matcher, *resources);
    if (!halftoner.ok()) return halftoner.status();
    const int planes = halftoner->planes();
    const size_t planeBytes = PlaneBytes(g.width);
    if (planeBytes * size_t(g.height) * size_t(planes) > kMaxPageBytes) {
      return Status(RC_FAILURE, "page " + std::to_string(page) + " is too large to print");
    }
    // Output plane k is engine plane order[k]; the engine writes C, M, Y, K.
    std::vector<int> order;
    if (planes == 1) order = {0};
    else if (settings.order == PlaneOrder::kKCMY) order = {3, 0, 1, 2};
    else order = {0, 1, 2, 3};

    messages.Info("Printing page " + std::to_string(page) + " (" + std::to_string(g.width) +
                  " x " + std::to_string(g.height) + " dots, " + job.method + ")");
    std::vector<uint8_t> dots(planeBytes * size_t(g.height) * size_t(planes));
    bool stopped = false;
    RowSource source = [&](int y, std::span<uint8_t> rgb) -> Status {
      if (cancel) {
        stopped = true;
        return Status(RC_FAILURE, "cancelled");
      }
      return input.Row(in.get(), y, rgb);
    };
    PlaneSink sink = [&](int y, std::span<const std::span<const uint8_t>> rows) -> Status {
      for (int k = 0; k < planes; ++k) {
        std::memcpy(dots.data() + (size_t(k) * g.height + y) * planeBytes, rows[order[k]].data(),
                    planeBytes);
      }
      return Status::Ok();
    };
    s = RenderPage(*halftoner, g, source, sink);
    // A cancelled job also loses its input (the filter before this one is
    // stopped too): a raster that ends early then is the cancel, not a fault.
    if (stopped || (!s.ok() && cancel)) {
      result->cancelled = true;
      return Status::Ok();
    }
    if (!s.ok()) return Status(s.code(), "page " + std::to_string(page) + ": " + s.message());
    // The page is complete: write it whole.
    if (!out) {
      out.reset(cupsRasterOpen(outputFd, CUPS_RASTER_WRITE));
      if (!out) return Status(RC_FAILURE, "cannot write the output stream");
    }
    cups_page_header2_t oh = DotHeader(header, g.width, g.height, job.resolution, planes,
                                       settings.order, settings.layout);
    if (!cupsRasterWriteHeader2(out.get(), &oh)) {
      return Status(RC_FAILURE, "cannot write the header of page " + std::to_string(page));
    }
    auto write = [&](const uint8_t* p, size_t n) {
      return cupsRasterWritePixels(out.get(), const_cast<uint8_t*>(p), static_cast<unsigned>(n)) == n;
    };
    bool ok = true;
    if (settings.layout == PlaneLayout::kPlanar || planes == 1) {
      for (int k = 0; ok && k < planes; ++k) {
        for (int y = 0; ok && y < g.height; ++y) {
          ok = write(dots.data() + (size_t(k) * g.height + y) * planeBytes, planeBytes);
        }
      }
    } else {
      std::vector<uint8_t> line(planeBytes * planes);
      for (int y = 0; ok && y < g.height; ++y) {
        for (int k = 0; k < planes; ++k) {
          std::memcpy(line.data() + k * planeBytes,
                      dots.data() + (size_t(k) * g.height + y) * planeBytes, planeBytes);
        }
        ok = write(line.data(), line.size());
      }
    }
    if (!ok) return Status(RC_FAILURE, "cannot write page " + std::to_string(page));
    result->pages = page;
    messages.Page(page, 1);
  }
}

}  // namespace vantik::filter
