// Soak: thousands of small pages with random settings and resources, some
// of them malformed, through the C++ API and through the 16-bit bridge.
//
//   vantik_soak [PAGES] [SEED]
//
// Checks that
//  - a page through the bridge gives the same codes and dots as the same
//    page through the entry points;
//  - every page gives the same result as a fresh run of that page alone
//    (pages are re-run at the end, after all the others);
//  - no memory block stays allocated, and resident memory stays flat once
//    the allocator has warmed up.
// Prints the figures and exits non-zero on the first difference.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "interface/memblock.h"
#include "interface/params.h"
#include "vantik/bridge16.h"
#include "vantik/default_resources.h"
#include "vantik/vantik.h"
#include "vantik/vantik.hpp"

namespace {

using Bytes = std::vector<uint8_t>;
using vantik::resources::Service;

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

uint64_t Hash(uint64_t h, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}
uint64_t Hash(uint64_t h, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  return Hash(h, b, 4);
}

// One page's settings, all drawn from its seed.
struct Page {
  uint32_t seed;
  int kind, paper, xres, yres, selector;
  int adjust[6];
  uint32_t width;
  int lines;
  // A malformed block: which request (0 = none) and how it is damaged.
  int damageAt;
  int damage;  // 0 cut short, 1 a byte changed, 2 empty
  size_t damagePos;
  uint8_t damageByte;

  explicit Page(uint32_t s) : seed(s) {
    std::mt19937 rng(s);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int kinds[] = {1, 2, 3};
    kind = kinds[pick(0, 2)];
    paper = pick(0, 1);
    const int res[][2] = {{360, 360}, {720, 720}, {1440, 720}, {720, 1440}};
    const int r = pick(0, 3);
    xres = res[r][0];
    yres = res[r][1];
    selector = kind == 2 ? pick(0, 2) : pick(0, 1);
    for (int& a : adjust) a = pick(0, 3) == 0 ? pick(-50, 50) : 0;
    width = static_cast<uint32_t>(pick(8, 200));
    lines = pick(1, 6);
    damageAt = pick(0, 9) == 0 ? pick(1, 5) : 0;
    damage = pick(0, 2);
    damagePos = static_cast<size_t>(pick(0, 1 << 20));
    damageByte = static_cast<uint8_t>(pick(0, 255));
  }

  ColorAdjustRecord Record() const {
    ColorAdjustRecord rec{};
    for (int i = 0; i < 6; ++i) rec.field[1 + i] = adjust[i];
    rec.field[vantik::kAdjustTableSelector] = selector;
    rec.field[vantik::kAdjustPaper] = paper;
    rec.field[vantik::kAdjustColorModeB] = vantik::kColorModeBColorTables;
    return rec;
  }
  HalftoneParams Params() const {
    HalftoneParams p{};
    p.kind = kind;
    p.renderMode = 3;
    p.lutMode = 1;
    p.xResolution = xres;
    p.yResolution = yres;
    p.lineWidth = width;
    return p;
  }
  // The block handed over as request number `request` (1-based over the
  // whole page), damaged when it is the chosen one.
  Bytes Block(Service service, int number, int request) const {
    const vantik::resources::Block* b = vantik::resources::FindDefault(service, number);
    if (b == nullptr) return {};
    Bytes bytes(b->bytes.begin(), b->bytes.end());
    if (request == damageAt && !bytes.empty()) {
      if (damage == 0) bytes.resize(damagePos % bytes.size());
      if (damage == 1) bytes[damagePos % bytes.size()] ^= damageByte | 1;
      if (damage == 2) bytes.clear();
    }
    return bytes;
  }
  Bytes Line(uint32_t y) const {
    Bytes px(4 * size_t{width});
    std::mt19937 rng(seed * 31 + y);
    for (uint8_t& b : px) b = static_cast<uint8_t>(rng());
    return px;
  }
  int32_t Stride() const { return static_cast<int32_t>(width / 8 + 2); }
};

// Pages whose lines were all halftoned, through the entry points.
int g_printed = 0;

// The page through the entry points: every code and every dot, hashed.
uint64_t DirectPage(const Page& pg) {
  uint64_t h = 1469598103934665603ull;
  const ColorAdjustRecord rec = pg.Record();
  const HalftoneParams params = pg.Params();
  int32_t inOut = 0;
  CmHandle cm = nullptr;
  uint32_t rc = CmNewThk(&rec, nullptr, nullptr, nullptr, &params, nullptr, nullptr, &inOut, &cm);
  h = Hash(h, rc);
  int request = 0;
  while (rc == 0 && inOut != -1 && request < 12) {
    const Bytes b = pg.Block(Service::kColor, inOut, ++request);
    rc = CmSetResourceWithLength(cm, b.data(), b.size(), &inOut);
    h = Hash(h, rc);
  }
  HalftoneHandle ht = nullptr;
  if (rc == 0) {
    CmLut* lut = CmGetLutThk(cm);
    inOut = 0;
    rc = HalftoneNewThk(&params, nullptr, lut, nullptr, &inOut, &ht);
    h = Hash(h, rc);
    while (rc == 0 && inOut != -1 && request < 24) {
      const Bytes b = pg.Block(Service::kHalftone, inOut, ++request);
      rc = HalftoneSetResourceWithLength(ht, b.data(), b.size(), &inOut);
      h = Hash(h, rc);
    }
  }
  if (rc == 0) {
    ++g_printed;
    const int32_t stride = pg.Stride();
    Bytes planes(4 * size_t(stride));
    for (int y = 0; y < pg.lines; ++y) {
      const Bytes line = pg.Line(static_cast<uint32_t>(y));
      std::fill(planes.begin(), planes.end(), 0);
      h = Hash(h, HalftoneThk(ht, line.data(), planes.data(), stride, 0, pg.width, 0, 0,
                              static_cast<uint32_t>(y), 0, nullptr));
      h = Hash(h, planes.data(), planes.size());
    }
  }
  if (ht != nullptr) h = Hash(h, HalftoneDeleteThk(ht));
  if (cm != nullptr) h = Hash(h, CmDeleteThk(cm));
  return h;
}

// 16-bit caller memory: one selector per buffer, each exactly its size.
class Caller {
 public:
  ~Caller() {
    for (size_t i = 0; i < bufs_.size(); ++i) Bridge16UnmapSelector(static_cast<uint16_t>(0x100 + i));
  }
  FarPtr16 Put(const Bytes& b) {
    bufs_.push_back(std::make_unique<Bytes>(b.empty() ? Bytes{} : b));
    const uint16_t sel = static_cast<uint16_t>(0x100 + bufs_.size() - 1);
    Bytes& mine = *bufs_.back();
    if (Bridge16MapSelector(sel, mine.empty() ? nullptr : mine.data(),
                            static_cast<uint32_t>(mine.size())) != 0)
      std::abort();
    return VANTIK_FAR16(sel, 0);
  }
  Bytes& At(FarPtr16 far) { return *bufs_[(far >> 16) - 0x100]; }

 private:
  std::vector<std::unique_ptr<Bytes>> bufs_;
};

struct Frame {
  Bytes b;
  Frame& U16(uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
    return *this;
  }
  Frame& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  uint32_t Call(uint32_t stub) const { return Bridge16Call(stub, b.data(), uint32_t(b.size())); }
};

Bytes Record16(const ColorAdjustRecord& r) {
  Frame f;
  for (int v : r.field) f.U16(static_cast<uint16_t>(v));
  return f.U32(0).U32(0).U32(0).b;
}
Bytes Params16(const HalftoneParams& p) {
  Frame f;
  const int32_t v[9] = {p.kind, p.variant, p.renderMode, p.lutMode, p.xResolution,
                        p.yResolution, p.engineField7, p.horizontalScale, p.engineField9};
  for (int32_t x : v) f.U16(static_cast<uint16_t>(x));
  return f.U16(p.lineWidth).U32(0).b;
}

// The same page through the bridge; the codes go back as their low 16 bits,
// the same for every code the library has.
uint64_t BridgedPage(const Page& pg) {
  uint64_t h = 1469598103934665603ull;
  Caller mem;
  const FarPtr16 rec = mem.Put(Record16(pg.Record()));
  const FarPtr16 params = mem.Put(Params16(pg.Params()));
  const FarPtr16 inOutFar = mem.Put(Bytes{0, 0});
  const FarPtr16 var = mem.Put(Bytes(4, 0));
  auto inOut = [&] { Bytes& b = mem.At(inOutFar); return int32_t(int16_t(b[0] | b[1] << 8)); };
  auto varValue = [&] { Bytes& b = mem.At(var); return uint32_t(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24); };

  uint32_t rc = Frame{}.U32(rec).U32(0).U32(0).U32(0).U32(params).U32(0).U32(0).U32(inOutFar)
                    .U32(var).Call(STUB_CM_NEW);
  h = Hash(h, rc);
  const uint32_t cm = rc == 0 ? varValue() : 0;
  int request = 0;
  while (rc == 0 && inOut() != -1 && request < 12) {
    const Bytes b = pg.Block(Service::kColor, inOut(), ++request);
    rc = Frame{}.U32(cm).U32(b.empty() ? 0 : mem.Put(b)).U32(inOutFar).Call(STUB_CM_SET_RESOURCE);
    h = Hash(h, rc);
  }
  uint32_t ht = 0;
  if (rc == 0) {
    const uint32_t lut = Frame{}.U32(cm).Call(STUB_CM_GET_LUT);
    mem.At(inOutFar) = {0, 0};
    rc = Frame{}.U32(params).U32(0).U32(lut).U32(0).U32(inOutFar).U32(var).Call(STUB_HALFTONE_NEW);
    h = Hash(h, rc);
    if (rc == 0) ht = varValue();
    while (rc == 0 && inOut() != -1 && request < 24) {
      const Bytes b = pg.Block(Service::kHalftone, inOut(), ++request);
      rc = Frame{}.U32(ht).U32(b.empty() ? 0 : mem.Put(b)).U32(inOutFar).Call(
          STUB_HALFTONE_SET_RESOURCE);
      h = Hash(h, rc);
    }
  }
  if (rc == 0) {
    const int32_t stride = pg.Stride();
    for (int y = 0; y < pg.lines; ++y) {
      const FarPtr16 line = mem.Put(pg.Line(static_cast<uint32_t>(y)));
      const FarPtr16 planes = mem.Put(Bytes(4 * size_t(stride), 0));
      h = Hash(h, Frame{}.U32(ht).U32(line).U32(planes).U32(uint32_t(stride)).U16(0)
                      .U16(pg.width).U16(0).U16(0).U16(uint32_t(y)).U16(0).U32(0)
                      .Call(STUB_HALFTONE));
      const Bytes& out = mem.At(planes);
      h = Hash(h, out.data(), out.size());
    }
  }
  if (ht != 0) h = Hash(h, Frame{}.U32(ht).Call(STUB_HALFTONE_DELETE));
  if (cm != 0) h = Hash(h, Frame{}.U32(cm).Call(STUB_CM_DELETE));
  return h;
}

// The page through the C++ API: resources from the default set (one block
// damaged on some pages), a scaled page through RenderPage.
uint64_t ApiPage(const Page& pg) {
  uint64_t h = 1469598103934665603ull;
  vantik::ResourceSet set;
  const auto defaults = vantik::resources::Defaults();
  for (size_t i = 0; i < defaults.size(); ++i) {
    const auto& b = defaults[i];
    const vantik::Service service =
        b.service == Service::kColor ? vantik::Service::kColor : vantik::Service::kHalftone;
    if (pg.damageAt != 0 && i == pg.damagePos % defaults.size()) {
      set.Add(service, b.number, pg.Block(b.service, b.number, pg.damageAt));
    } else {
      set.AddView(service, b.number, b.bytes);
    }
  }
  vantik::ColorSettings s;
  s.adjust = {pg.adjust[0], pg.adjust[1], pg.adjust[2], pg.adjust[3], pg.adjust[4], pg.adjust[5]};
  s.selector = pg.selector;
  s.paper = pg.paper;
  s.halftone.kind = pg.kind;
  s.halftone.xResolution = pg.xres;
  s.halftone.yResolution = pg.yres;
  s.halftone.lineWidth = pg.width;
  auto matcher = vantik::ColorMatcher::Create(s, set);
  h = Hash(h, matcher.ok() ? 0 : matcher.status().code());
  if (!matcher.ok()) return h;
  auto halftoner = vantik::Halftoner::Create(*matcher, set);
  h = Hash(h, halftoner.ok() ? 0 : halftoner.status().code());
  if (!halftoner.ok()) return h;
  const int sw = 5 + pg.lines, sh = 3;
  vantik::RowSource source = [&](int y, std::span<uint8_t> rgb) {
    const Bytes line = pg.Line(static_cast<uint32_t>(y));
    std::memcpy(rgb.data(), line.data(), std::min(rgb.size(), line.size()));
    return vantik::Status::Ok();
  };
  vantik::PlaneSink sink = [&](int, std::span<const std::span<const uint8_t>> planes) {
    for (auto p : planes) h = Hash(h, p.data(), p.size());
    return vantik::Status::Ok();
  };
  const vantik::Status st = vantik::RenderPage(
      *halftoner, vantik::PageGeometry{sw, sh, static_cast<int>(pg.width), pg.lines}, source, sink);
  return Hash(h, st.code());
}

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? std::atoi(argv[1]) : 3000;
  const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 1;
  if (pages <= 0) {
    std::fprintf(stderr, "vantik_soak: PAGES must be a positive number\n");
    return 2;
  }
  if (Bridge16Connect("VANTIK16.DLL", "VANTIK32.DLL") != 1) return 1;
  const long live = vantik::MemLiveBlocks();
  const auto start = std::chrono::steady_clock::now();
  std::vector<uint64_t> results(static_cast<size_t>(pages)), apiResults(results.size());
  long warm = 0, peak = 0;
  int refused = 0;
  for (int i = 0; i < pages; ++i) {
    const Page pg(seed * 1000003u + static_cast<uint32_t>(i));
    const uint64_t direct = DirectPage(pg);
    const uint64_t bridged = BridgedPage(pg);
    if (direct != bridged) {
      std::fprintf(stderr, "page %d (seed %u): the bridge differs from the entry points\n", i, pg.seed);
      return 1;
    }
    if (vantik::MemLiveBlocks() != live) {
      std::fprintf(stderr, "page %d (seed %u): %ld blocks left allocated\n", i, pg.seed,
                   vantik::MemLiveBlocks() - live);
      return 1;
    }
    results[size_t(i)] = direct;
    apiResults[size_t(i)] = ApiPage(pg);
    if (vantik::MemLiveBlocks() != live) {
      std::fprintf(stderr, "page %d (seed %u): the C++ API left %ld blocks allocated\n", i,
                   pg.seed, vantik::MemLiveBlocks() - live);
      return 1;
    }
    refused += pg.damageAt != 0;
    if (i == pages / 10) warm = ResidentKiB();
    if (i > pages / 10) peak = std::max(peak, ResidentKiB());
  }
  // Every page again, alone, after all the others.
  for (int i = 0; i < pages; ++i) {
    const Page pg(seed * 1000003u + static_cast<uint32_t>(i));
    if (DirectPage(pg) != results[size_t(i)] || ApiPage(pg) != apiResults[size_t(i)]) {
      std::fprintf(stderr, "page %d (seed %u): a fresh run differs\n", i, pg.seed);
      return 1;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long end = ResidentKiB();
  std::printf("pages: %d through the entry points, the bridge and the C++ API, %d with a damaged block\n",
              pages, refused);
  std::printf("pages printed: %d of %d runs through the entry points\n", g_printed, 2 * pages);
  std::printf("resident memory: %ld KiB after %d pages, peak %ld KiB, %ld KiB at the end\n",
              warm, pages / 10, peak, end);
  std::printf("time: %.1f s\n", seconds);
  Bridge16Disconnect();
  // Flat: no more than 1 MiB of growth after the warm-up.
  if (peak > warm + 1024) {
    std::fprintf(stderr, "resident memory grew by %ld KiB\n", peak - warm);
    return 1;
  }
  return 0;
}
