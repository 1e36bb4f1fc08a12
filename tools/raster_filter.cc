#include "raster_filter.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "raster_input.h"
#include "pure_black.h"
#include "resources_io.h"

namespace vantik::filter {

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

namespace {

// The scheduler reads the filter's standard error line by line, and a line
// that begins with a prefix such as "PPD:" or "ATTR:" changes the queue.
// Text that comes from the job (an option's value, a paper name) must
// therefore never start a line of its own: control characters are written
// as escapes, and a message is cut short well before the scheduler's line
// buffer (2 KiB) would split it.
constexpr size_t kMaxMessageBytes = 1024;

std::string OneLine(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string line;
  for (const char ch : text) {
    if (line.size() >= kMaxMessageBytes) {
      line += "...";
      break;
    }
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      line += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    } else {
      line += ch;
    }
  }
  return line;
}

}  // namespace

void Messages::Info(const std::string& text) const {
  std::fprintf(out, "INFO: %s\n", OneLine(text).c_str());
}
void Messages::Warning(const std::string& text) const {
  std::fprintf(out, "WARNING: %s\n", OneLine(text).c_str());
}
void Messages::Error(const std::string& text) const {
  std::fprintf(out, "ERROR: %s\n", OneLine(text).c_str());
}
void Messages::Page(int page, int copies) const { std::fprintf(out, "PAGE: %d %d\n", page, copies); }
void Messages::Attr(const std::string& text) const {
  std::fprintf(out, "ATTR: %s\n", OneLine(text).c_str());
}

namespace {

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
  if (settings.job.pureBlack) *resources = tool::PureBlackResources(*resources);
  tool::RasterReader in("the input raster");
  Status s = in.Open(inputFd);
  if (!s.ok()) return s;
  RasterPtr out;

  for (int page = 1;; ++page) {
    if (cancel) {
      result->cancelled = true;
      return Status::Ok();
    }
    Result<bool> more = in.NextPage();
    if (!more.ok()) {
      if (cancel) {
        result->cancelled = true;
        return Status::Ok();
      }
      return more.status();
    }
    if (!*more) {
      if (page == 1) return Status(RC_FAILURE, "the raster holds no page");
      return Status::Ok();
    }
    const tool::RasterPage& input = in.page();
    const cups_page_header2_t header = in.header();
    const tool::Resolution inRes{input.xdpi, input.ydpi};
    tool::JobOptions job = settings.job;
    if (!settings.resolutionChosen) job.resolution = inRes;
    // The page keeps its size in inches at the printer's resolution.
    const int64_t w64 = (int64_t(input.width) * job.resolution.x + inRes.x / 2) / inRes.x;
    const int64_t h64 = (int64_t(input.height) * job.resolution.y + inRes.y / 2) / inRes.y;
    if (w64 < 1 || h64 < 1 || w64 > 65535 || h64 > 65535) {
      return Status(RC_FAILURE, "page " + std::to_string(page) + ": " + std::to_string(w64) +
                                    " x " + std::to_string(h64) + " dots cannot be printed");
    }
    const PageGeometry g{input.width, input.height, static_cast<int>(w64),
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
      return in.ReadRgb(rgb);
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
