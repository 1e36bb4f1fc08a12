#include "raster_input.h"

#include <cups/raster.h>
#include <lcms2.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vantik::tool {

namespace {

struct Space {
  int id;
  const char* name;
  int colors;
  bool inks;
  int ink[4];  // stream component of C, M, Y, K; -1: none
};

constexpr Space kSpaces[] = {
    {CUPS_CSPACE_W, "W", 1, false, {}},
    {CUPS_CSPACE_SW, "SW", 1, false, {}},
    {CUPS_CSPACE_K, "K", 1, false, {}},
    {CUPS_CSPACE_RGB, "RGB", 3, false, {}},
    {CUPS_CSPACE_SRGB, "sRGB", 3, false, {}},
    {CUPS_CSPACE_ADOBERGB, "AdobeRGB", 3, false, {}},
    {CUPS_CSPACE_RGBA, "RGBA", 4, false, {}},
    {CUPS_CSPACE_CMY, "CMY", 3, true, {0, 1, 2, -1}},
    {CUPS_CSPACE_YMC, "YMC", 3, true, {2, 1, 0, -1}},
    {CUPS_CSPACE_CMYK, "CMYK", 4, true, {0, 1, 2, 3}},
    {CUPS_CSPACE_YMCK, "YMCK", 4, true, {2, 1, 0, 3}},
    {CUPS_CSPACE_KCMY, "KCMY", 4, true, {1, 2, 3, 0}},
};

const Space* FindSpace(int id) {
  for (const Space& s : kSpaces) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

std::string SpaceList() {
  std::string list;
  for (const Space& s : kSpaces) list += std::string(list.empty() ? "" : ", ") + s.name;
  return list;
}

// One component of `bits` bits at bit offset `bit` of a line, scaled to
// 0..65535.  16-bit values are in the machine's byte order (libcups swaps
// them when the stream's order differs).
inline uint16_t Sample(const uint8_t* line, size_t bit, int bits) {
  switch (bits) {
    case 16: {
      uint16_t v;
      std::memcpy(&v, line + bit / 8, 2);
      return v;
    }
    case 8:
      return static_cast<uint16_t>(line[bit / 8] * 257);
    default: {
      const unsigned mask = (1u << bits) - 1;
      const unsigned v = (line[bit / 8] >> (8 - bits - (bit & 7))) & mask;
      return static_cast<uint16_t>(v * 65535u / mask);
    }
  }
}

inline uint8_t To8(unsigned v) { return static_cast<uint8_t>((v * 255u + 32767u) / 65535u); }

// What keeps the reader from reading a page with this header, or "" when it
// can.  The same check runs on the header libcups parsed and, for a
// compressed stream, on the header as its bytes arrive, before libcups sizes
// its line buffers from it.
std::string HeaderProblem(const cups_page_header2_t& h, int64_t pixelLimit) {
  // A stream's enum fields may hold any 32-bit value: read them as numbers,
  // never as the enum types.
  uint32_t space32 = 0, order32 = 0;
  static_assert(sizeof h.cupsColorSpace == 4 && sizeof h.cupsColorOrder == 4);
  std::memcpy(&space32, &h.cupsColorSpace, 4);
  std::memcpy(&order32, &h.cupsColorOrder, 4);
  const Space* space = FindSpace(static_cast<int>(space32));
  if (space == nullptr) {
    return "CUPS raster colour space " + std::to_string(space32) + " is not one vantik reads (" +
           SpaceList() + ")";
  }
  const unsigned bits = h.cupsBitsPerColor;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) {
    return "CUPS raster with " + std::to_string(bits) + " bits per colour; vantik reads 1, 2, 4, 8 and 16";
  }
  if (order32 > CUPS_ORDER_PLANAR) {
    return "CUPS raster colour order " + std::to_string(order32) + " is not chunked, banded or planar";
  }
  if (h.cupsBitsPerPixel > 240) {
    return "CUPS raster with " + std::to_string(h.cupsBitsPerPixel) + " bits per pixel";
  }
  // libcups counts a planar page's lines by the header's colour count: one
  // that disagrees with the space would have the planes read out of step.
  if (order32 == CUPS_ORDER_PLANAR && h.cupsNumColors != 0 &&
      h.cupsNumColors != static_cast<unsigned>(space->colors)) {
    return "CUPS raster planar page of " + std::to_string(h.cupsNumColors) + " colours in space " +
           space->name + " of " + std::to_string(space->colors);
  }
  const std::string size = std::to_string(h.cupsWidth) + " x " + std::to_string(h.cupsHeight);
  if (h.cupsWidth == 0 || h.cupsHeight == 0) return "CUPS raster page of " + size + " pixels is empty";
  const uint64_t pixels = uint64_t{h.cupsWidth} * h.cupsHeight;
  if (h.cupsWidth > (1u << 24) || h.cupsHeight > (1u << 24) ||
      pixels > static_cast<uint64_t>(pixelLimit)) {
    return "CUPS raster page of " + size + " pixels exceeds the limit of " +
           std::to_string(pixelLimit) + " pixels";
  }
  if (h.HWResolution[0] == 0 || h.HWResolution[1] == 0 || h.HWResolution[0] > 100000 ||
      h.HWResolution[1] > 100000) {
    return "CUPS raster resolution " + std::to_string(h.HWResolution[0]) + " x " +
           std::to_string(h.HWResolution[1]) + " dpi is not usable";
  }
  const unsigned colors = static_cast<unsigned>(space->colors);
  const uint64_t width = h.cupsWidth;
  uint64_t needed = 0;  // bytes a stream line must hold
  switch (order32) {
    case CUPS_ORDER_CHUNKED: {
      const unsigned bpp = h.cupsBitsPerPixel;
      const unsigned used = colors * bits;
      const bool fits = bits >= 8 ? bpp == used : bpp >= used && bpp <= 16 && (bpp & (bpp - 1)) == 0;
      if (!fits) {
        return "CUPS raster with " + std::to_string(bpp) + " bits per pixel for " +
               std::to_string(colors) + " colours of " + std::to_string(bits) + " bits";
      }
      needed = (width * bpp + 7) / 8;
      break;
    }
    case CUPS_ORDER_BANDED:
      needed = (width * bits + 7) / 8 * colors;
      if (h.cupsBytesPerLine % colors != 0) {
        return "CUPS raster line of " + std::to_string(h.cupsBytesPerLine) +
               " bytes does not split into " + std::to_string(colors) + " bands";
      }
      break;
    default:
      needed = (width * bits + 7) / 8;
      break;
  }
  if (h.cupsBytesPerLine < needed || h.cupsBytesPerLine > needed * 2 + 64) {
    return "CUPS raster line of " + std::to_string(h.cupsBytesPerLine) + " bytes does not hold " +
           std::to_string(h.cupsWidth) + " pixels (" + std::to_string(needed) + " bytes)";
  }
  // Compressed lines are runs of whole pixels (whole samples outside
  // chunked order); libcups refuses other line sizes too.
  const unsigned unit = ((order32 == CUPS_ORDER_CHUNKED ? h.cupsBitsPerPixel : bits) + 7) / 8;
  if (h.cupsBytesPerLine % unit != 0) {
    return "CUPS raster line of " + std::to_string(h.cupsBytesPerLine) +
           " bytes does not split into pixels of " + std::to_string(unit) + " bytes";
  }
  if (order32 == CUPS_ORDER_PLANAR && colors > 1) {
    const uint64_t held = uint64_t{h.cupsBytesPerLine} * h.cupsHeight * (colors - 1);
    if (held > (uint64_t{1} << 32)) {
      return "CUPS raster planar page of " + std::to_string(held >> 20) + " MB is too large to hold";
    }
  }
  return "";
}

}  // namespace

struct RasterReader::Lcms {
  cmsHTRANSFORM transform = nullptr;
  ~Lcms() {
    if (transform != nullptr) cmsDeleteTransform(transform);
  }
};

bool IsCupsRaster(const std::string& path) {
  if (path == "-") return true;
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  char sync[4] = {};
  ssize_t n = ::read(fd, sync, 4);
  ::close(fd);
  if (n != 4) return false;
  static const char* const kSync[] = {"RaSt", "tSaR", "RaS2", "2SaR", "RaS3", "3SaR"};
  for (const char* s : kSync) {
    if (std::memcmp(sync, s, 4) == 0) return true;
  }
  return false;
}

std::string RasterSpaceName(int colorSpace) {
  const Space* s = FindSpace(colorSpace);
  return s != nullptr ? s->name : "space " + std::to_string(colorSpace);
}

RasterReader::RasterReader(std::string name) : name_(std::move(name)) {}

RasterReader::~RasterReader() {
  if (raster_ != nullptr) cupsRasterClose(static_cast<cups_raster_t*>(raster_));
}

size_t RasterReader::CompressedScan::Feed(const uint8_t* p, size_t n) {
  const uint8_t* const start = p;
  while (n > 0) {
    switch (state_) {
      case kOff:
      case kLost:
        return static_cast<size_t>(p - start) + n;
      case kHeader: {
        const size_t take = std::min(n, sizeof header_ - got_);
        std::memcpy(header_ + got_, p, take);
        got_ += take;
        p += take;
        n -= take;
        // A refused header is held back by its last byte, so that libcups
        // never has it whole.
        if (got_ == sizeof header_ && !HeaderDone()) return static_cast<size_t>(p - start) - 1;
        break;
      }
      case kLineStart:
        // The line's repeat byte: the line stands for that many lines + 1.
        repeat_ = *p + 1u;
        ++p;
        --n;
        lineLeft_ = bytesPerLine_;
        state_ = kRunStart;
        break;
      case kRunStart: {
        // 128 clears the rest of the line; 129..255 are 257 - b literal
        // pixels; 0..127 one pixel repeated b + 1 times.  A run reaching
        // past the line is cut at its end, and so are its literal bytes.
        const unsigned b = *p;
        ++p;
        --n;
        uint64_t covers = lineLeft_;
        skip_ = 0;
        if (b > 128) {
          covers = std::min<uint64_t>(uint64_t{257 - b} * unit_, lineLeft_);
          skip_ = covers;
        } else if (b < 128) {
          covers = std::min<uint64_t>(uint64_t{b + 1} * unit_, lineLeft_);
          skip_ = unit_;
          if (covers < unit_) {  // a line that does not split into pixels
            Lose();
            return static_cast<size_t>(p - start) + n;
          }
        }
        lineLeft_ -= static_cast<uint32_t>(covers);
        state_ = kSkip;
        if (skip_ == 0) RunDone();
        break;
      }
      case kSkip: {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(n, skip_));
        p += take;
        n -= take;
        skip_ -= take;
        if (skip_ == 0) RunDone();
        break;
      }
    }
  }
  return static_cast<size_t>(p - start);
}

void RasterReader::CompressedScan::RunDone() {
  if (lineLeft_ > 0) {
    state_ = kRunStart;
    return;
  }
  linesLeft_ -= std::min<uint64_t>(repeat_, linesLeft_);
  if (linesLeft_ > 0) {
    state_ = kLineStart;
  } else {
    state_ = kHeader;
    got_ = 0;
  }
}

bool RasterReader::CompressedScan::HeaderDone() {
  cups_page_header2_t h;
  std::memcpy(&h, header_, sizeof h);
  {
    // The header as libcups will read it: the 81 numeric fields from
    // AdvanceDistance on are swapped in a stream of the other byte order.
    cups_page_header2_t host = h;
    if (swapped_) {
      unsigned* f = &host.AdvanceDistance;
      for (int i = 0; i < 81; ++i) f[i] = __builtin_bswap32(f[i]);
    }
    refusal_ = HeaderProblem(host, pixelLimit_);
    if (!refusal_.empty()) {
      state_ = kLost;
      return false;
    }
  }
  auto field = [this](unsigned v) { return swapped_ ? __builtin_bswap32(v) : v; };
  uint32_t order = 0, space = 0;
  std::memcpy(&order, &h.cupsColorOrder, 4);
  std::memcpy(&space, &h.cupsColorSpace, 4);
  order = field(order);
  space = field(space);
  const uint32_t height = field(h.cupsHeight), bytesPerLine = field(h.cupsBytesPerLine);
  const uint32_t bitsPerColor = field(h.cupsBitsPerColor), bitsPerPixel = field(h.cupsBitsPerPixel);
  const uint32_t numColors = field(h.cupsNumColors);
  // Pixel unit of the runs: a whole pixel in chunked order, else one colour.
  unit_ = std::max(1u, ((order == CUPS_ORDER_CHUNKED ? bitsPerPixel : bitsPerColor) + 7) / 8);
  uint64_t planes = 1;
  if (order == CUPS_ORDER_PLANAR) {
    const Space* known = FindSpace(static_cast<int>(space));
    // The reader reads one plane per colour of the space; a header naming
    // another count is not one the scan can follow.
    if (known == nullptr || (numColors != 0 && numColors != unsigned(known->colors))) {
      Lose();
      return true;
    }
    planes = static_cast<uint64_t>(known->colors);
  }
  if (height == 0 || bytesPerLine == 0 || bitsPerColor > 16 || bitsPerPixel > 240) {
    Lose();
    return true;
  }
  ++headers_;
  height_ = height;
  bytesPerLine_ = bytesPerLine;
  linesLeft_ = uint64_t{height} * planes;
  state_ = kLineStart;
  return true;
}

ssize_t RasterReader::ReadCallback(void* ctx, unsigned char* buffer, size_t length) {
  auto* self = static_cast<RasterReader*>(ctx);
  if (!self->scan_.refusal().empty()) return -1;
  for (;;) {
    ssize_t n = ::read(self->fd_, buffer, length);
    if (n > 0) {
      const uint64_t before = self->bytes_;
      for (ssize_t i = 0; i < n && self->bytes_ + i < 4; ++i) self->sync_[self->bytes_ + i] = buffer[i];
      self->bytes_ += static_cast<uint64_t>(n);
      if (before < 4 && self->bytes_ >= 4) {
        // A compressed stream in either byte order is followed as it goes.
        uint32_t sync;
        std::memcpy(&sync, self->sync_, 4);
        if (sync == CUPS_RASTER_SYNCv2) self->scan_.Start(false);
        if (sync == CUPS_RASTER_REVSYNCv2) self->scan_.Start(true);
      }
      if (self->bytes_ > 4) {
        const size_t past = before < 4 ? static_cast<size_t>(4 - before) : 0;
        const size_t fed = static_cast<size_t>(n) - past;
        const size_t taken = self->scan_.Feed(buffer + past, fed);
        // A page header the reader would refuse ends the stream here, before
        // libcups allocates line buffers from its sizes: the bytes before
        // it still reach libcups, the header and what follows never do.
        if (taken < fed) return static_cast<ssize_t>(past + taken);
      }
      return n;
    }
    if (n == 0) {
      self->eof_ = true;
      return 0;
    }
    if (errno == EINTR) {
      // A signal: let the caller see it between lines rather than retry a
      // read that may block for good.
      self->readError_ = EINTR;
      return -1;
    }
    self->readError_ = errno;
    return -1;
  }
}

Status RasterReader::Fail(const std::string& what) const {
  std::string text = name_ + ": ";
  if (page_.number > 0) text += "page " + std::to_string(page_.number) + ": ";
  return Status(RC_FAILURE, text + what);
}

Status RasterReader::Open(int fd) {
  fd_ = fd;
  raster_ = cupsRasterOpenIO(&RasterReader::ReadCallback, this, CUPS_RASTER_READ);
  if (raster_ == nullptr) {
    if (readError_ != 0) return Fail(std::string("cannot read (") + std::strerror(readError_) + ")");
    return Fail(bytes_ == 0 ? "empty, not a CUPS raster stream" : "not a CUPS raster stream");
  }
  return Status::Ok();
}

Result<bool> RasterReader::NextPage() {
  if (page_.number > 0 && row_ < page_.height) {
    return Fail("the previous page was not read to its end");
  }
  cups_page_header2_t h;
  std::memset(&h, 0, sizeof h);
  const int number = page_.number + 1;
  if (!cupsRasterReadHeader2(static_cast<cups_raster_t*>(raster_), &h)) {
    if (!scan_.refusal().empty()) {
      page_.number = number;
      return Fail(scan_.refusal());
    }
    if (readError_ != 0) {
      page_.number = number;
      return Fail(std::string("cannot read (") + std::strerror(readError_) + ")");
    }
    if (eof_) {
      // An uncompressed stream's length is known from its headers: bytes
      // beyond the last page are a page header cut short.
      const bool v1 = std::memcmp(sync_, "RaSt", 4) == 0 || std::memcmp(sync_, "tSaR", 4) == 0;
      const bool v3 = std::memcmp(sync_, "RaS3", 4) == 0 || std::memcmp(sync_, "3SaR", 4) == 0;
      // A compressed one's is not, but its scan knows whether the stream
      // ended inside a header.
      if (((v1 || v3) && bytes_ != (expected_ == 0 ? 4 : expected_)) ||
          (scan_.following() && scan_.headerBytes() > 0)) {
        page_.number = number;
        return Fail("CUPS raster ends inside the page header");
      }
      return false;
    }
    page_.number = number;
    return Fail("the CUPS raster page header is damaged");
  }
  // The scan of a compressed stream must agree with libcups on every page,
  // or it is not trusted at the end of the stream.
  if (scan_.following() &&
      (scan_.headers() < uint64_t(number) ||
       (scan_.headers() == uint64_t(number) &&
        (scan_.height() != h.cupsHeight || scan_.bytesPerLine() != h.cupsBytesPerLine)))) {
    scan_.Lose();
  }
  page_ = RasterPage();
  page_.number = number;
  header_ = h;
  row_ = 0;
  if (const std::string problem = HeaderProblem(h, pixelLimit_); !problem.empty()) {
    return Fail(problem);
  }
  uint32_t space32 = 0, order32 = 0;
  std::memcpy(&space32, &h.cupsColorSpace, 4);
  std::memcpy(&order32, &h.cupsColorOrder, 4);
  const Space* space = FindSpace(static_cast<int>(space32));
  const int bits = static_cast<int>(h.cupsBitsPerColor);
  colors_ = space->colors;
  bitsPerPixel_ = order32 == CUPS_ORDER_CHUNKED ? static_cast<int>(h.cupsBitsPerPixel) : bits;
  bytesPerLine_ = h.cupsBytesPerLine;
  {
    const bool v1 = std::memcmp(sync_, "RaSt", 4) == 0 || std::memcmp(sync_, "tSaR", 4) == 0;
    const uint64_t lines = uint64_t{h.cupsHeight} *
                           (order32 == CUPS_ORDER_PLANAR ? unsigned(colors_) : 1u);
    expected_ = (expected_ == 0 ? 4 : expected_) +
                (v1 ? sizeof(cups_page_header_t) : sizeof(cups_page_header2_t)) +
                lines * bytesPerLine_;
  }
  page_.width = static_cast<int>(h.cupsWidth);
  page_.height = static_cast<int>(h.cupsHeight);
  page_.xdpi = static_cast<int>(h.HWResolution[0]);
  page_.ydpi = static_cast<int>(h.HWResolution[1]);
  page_.bitsPerColor = bits;
  page_.colorSpace = static_cast<int>(space32);
  page_.colorOrder = static_cast<int>(order32);
  page_.inks = space->inks;
  raw_.assign(bytesPerLine_, 0);
  planes_.clear();
  comps_.assign(size_t(page_.width) * colors_, 0);
  if (page_.colorSpace == CUPS_CSPACE_ADOBERGB && !lcms_) {
    // Adobe RGB (1998): D65 white, its primaries, gamma 563/256.
    lcms_ = std::make_unique<Lcms>();
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.6400, 0.3300, 1.0}, {0.2100, 0.7100, 1.0}, {0.1500, 0.0600, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE adobe = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    if (adobe != nullptr && srgb != nullptr) {
      lcms_->transform = cmsCreateTransform(adobe, TYPE_RGB_16, srgb, TYPE_RGB_8,
                                            INTENT_RELATIVE_COLORIMETRIC, 0);
    }
    if (adobe != nullptr) cmsCloseProfile(adobe);
    if (srgb != nullptr) cmsCloseProfile(srgb);
    cmsFreeToneCurve(gamma);
    if (lcms_->transform == nullptr) {
      lcms_.reset();
      return Fail("cannot set up the Adobe RGB conversion");
    }
  }
  return true;
}

Status RasterReader::ReadRaw(uint8_t* dst) {
  if (cupsRasterReadPixels(static_cast<cups_raster_t*>(raster_), dst, bytesPerLine_) !=
      bytesPerLine_) {
    if (readError_ != 0 && readError_ != EINTR) {
      return Fail(std::string("cannot read (") + std::strerror(readError_) + ")");
    }
    if (readError_ == EINTR) return Fail("reading was interrupted at row " + std::to_string(row_));
    if (eof_) return Fail("CUPS raster ends early at row " + std::to_string(row_));
    return Fail("CUPS raster data is damaged at row " + std::to_string(row_));
  }
  return Status::Ok();
}

Status RasterReader::ReadLine() {
  if (page_.number == 0 || row_ >= page_.height) return Fail("no line left on the page");
  const int bits = page_.bitsPerColor;
  const int w = page_.width;
  const size_t lineBytes = bytesPerLine_;
  if (page_.colorOrder == CUPS_ORDER_PLANAR && colors_ > 1 && row_ == 0) {
    // The planes come one after the other; all but the last are held.
    planes_.resize(lineBytes * page_.height * (colors_ - 1));
    for (int c = 0; c < colors_ - 1; ++c) {
      for (int y = 0; y < page_.height; ++y) {
        Status s = ReadRaw(&planes_[(size_t(c) * page_.height + y) * lineBytes]);
        if (!s.ok()) return s;
      }
    }
  }
  Status s = ReadRaw(raw_.data());
  if (!s.ok()) return s;
  uint16_t* out = comps_.data();
  switch (page_.colorOrder) {
    case CUPS_ORDER_CHUNKED: {
      const size_t bpp = static_cast<size_t>(bitsPerPixel_);
      for (int x = 0; x < w; ++x) {
        for (int c = 0; c < colors_; ++c) {
          // Components fill a pixel from its low end; padding is at the top.
          *out++ = Sample(raw_.data(), x * bpp + bpp - size_t(colors_ - c) * bits, bits);
        }
      }
      break;
    }
    case CUPS_ORDER_BANDED: {
      const size_t band = lineBytes / colors_;
      for (int c = 0; c < colors_; ++c) {
        const uint8_t* line = raw_.data() + c * band;
        for (int x = 0; x < w; ++x) out[size_t(x) * colors_ + c] = Sample(line, size_t(x) * bits, bits);
      }
      break;
    }
    default:
      for (int c = 0; c < colors_; ++c) {
        const uint8_t* line = c == colors_ - 1
                                  ? raw_.data()
                                  : &planes_[(size_t(c) * page_.height + row_) * lineBytes];
        for (int x = 0; x < w; ++x) out[size_t(x) * colors_ + c] = Sample(line, size_t(x) * bits, bits);
      }
      break;
  }
  ++row_;
  if (row_ == page_.height) planes_ = std::vector<uint8_t>();
  return Status::Ok();
}

Status RasterReader::ReadRgb(std::span<uint8_t> rgb) {
  if (rgb.size() < size_t(page_.width) * 3) return Fail("line buffer too small");
  if (page_.colorOrder == CUPS_ORDER_CHUNKED && page_.bitsPerColor == 8 &&
      (page_.colorSpace == CUPS_CSPACE_RGB || page_.colorSpace == CUPS_CSPACE_SRGB)) {
    // 8-bit RGB in chunked order is already the line handed out (what the
    // common rasterisers write): no unpacking into components and back.
    if (page_.number == 0 || row_ >= page_.height) return Fail("no line left on the page");
    const bool direct = bytesPerLine_ <= rgb.size();
    Status s = ReadRaw(direct ? rgb.data() : raw_.data());
    if (!s.ok()) return s;
    if (!direct) std::memcpy(rgb.data(), raw_.data(), size_t(page_.width) * 3);
    ++row_;
    return Status::Ok();
  }
  Status s = ReadLine();
  if (!s.ok()) return s;
  const int w = page_.width;
  const uint16_t* c = comps_.data();
  const Space& space = *FindSpace(page_.colorSpace);
  if (space.inks) {
    for (int x = 0; x < w; ++x, c += colors_) {
      const unsigned k = space.ink[3] < 0 ? 0 : c[space.ink[3]];
      for (int i = 0; i < 3; ++i) {
        const unsigned light = (65535u - c[space.ink[i]]) * uint64_t(65535u - k) / 65535u;
        rgb[size_t(x) * 3 + i] = To8(light);
      }
    }
    return Status::Ok();
  }
  switch (page_.colorSpace) {
    case CUPS_CSPACE_W:
    case CUPS_CSPACE_SW:
    case CUPS_CSPACE_K:
      for (int x = 0; x < w; ++x) {
        const unsigned v = page_.colorSpace == CUPS_CSPACE_K ? 65535u - c[x] : c[x];
        rgb[size_t(x) * 3] = rgb[size_t(x) * 3 + 1] = rgb[size_t(x) * 3 + 2] = To8(v);
      }
      break;
    case CUPS_CSPACE_RGBA:
      // Alpha composited on white paper.
      for (int x = 0; x < w; ++x, c += 4) {
        const uint64_t a = c[3];
        for (int i = 0; i < 3; ++i) {
          rgb[size_t(x) * 3 + i] = To8(static_cast<unsigned>((c[i] * a + 65535u * (65535u - a) + 32767u) / 65535u));
        }
      }
      break;
    case CUPS_CSPACE_ADOBERGB:
      cmsDoTransform(lcms_->transform, c, rgb.data(), static_cast<cmsUInt32Number>(w));
      break;
    default:
      for (size_t i = 0; i < size_t(w) * 3; ++i) rgb[i] = To8(c[i]);
      break;
  }
  return Status::Ok();
}

Status RasterReader::ReadInks(std::span<uint8_t> cmyk) {
  if (!page_.inks) return Fail("CUPS raster page in " + RasterSpaceName(page_.colorSpace) + " holds no ink values");
  if (cmyk.size() < size_t(page_.width) * 4) return Fail("line buffer too small");
  Status s = ReadLine();
  if (!s.ok()) return s;
  const Space& space = *FindSpace(page_.colorSpace);
  const uint16_t* c = comps_.data();
  for (int x = 0; x < page_.width; ++x, c += colors_) {
    for (int i = 0; i < 4; ++i) cmyk[size_t(x) * 4 + i] = space.ink[i] < 0 ? 0 : To8(c[space.ink[i]]);
  }
  return Status::Ok();
}

}  // namespace vantik::tool
