// Whole pages: source rows are scaled to printer resolution one line at a
// time, put into the engine's pixel form and halftoned; only two source rows
// and one line of each stage are held.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "interface/params.h"
#include "vantik/vantik.hpp"

namespace vantik {

namespace {

// Position of output sample i of n on an axis of m source samples, with the
// sample centres aligned: source = (i + 0.5) * m / n - 0.5, in 1/256 units.
struct Tap {
  int lo;
  int hi;
  int frac;  // weight of hi, 0..256
};

std::vector<Tap> Taps(int n, int m) {
  std::vector<Tap> taps(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    int64_t pos = ((2 * static_cast<int64_t>(i) + 1) * m * 256) / (2 * static_cast<int64_t>(n)) - 128;
    if (pos < 0) pos = 0;
    int lo = static_cast<int>(pos >> 8);
    int frac = static_cast<int>(pos & 255);
    if (lo >= m - 1) {
      lo = m - 1;
      frac = 0;
    }
    taps[i] = {lo, std::min(lo + 1, m - 1), frac};
  }
  return taps;
}

}  // namespace

Status RenderPage(Halftoner& halftoner, const PageGeometry& g,
                  const RowSource& source, const PlaneSink& sink,
                  const Progress& progress) {
  if (g.width <= 0 || g.height <= 0 || g.sourceWidth <= 0 || g.sourceHeight <= 0) {
    return Status(RC_BAD_PARAMETER, "page or source size is empty");
  }
  if (static_cast<uint32_t>(g.width) > halftoner.settings().lineWidth) {
    return Status(RC_BAND_TOO_LARGE, "page width " + std::to_string(g.width) +
                                         " dots exceeds the halftone line width " +
                                         std::to_string(halftoner.settings().lineWidth));
  }
  if (halftoner.settings().horizontalScale != 0) {
    return Status(RC_BAD_PARAMETER, "pages are rendered one pixel per dot");
  }
  const int sw = g.sourceWidth, W = g.width;
  const bool same = sw == W && g.sourceHeight == g.height;
  const std::vector<Tap> xs = Taps(W, sw);
  const std::vector<Tap> ys = Taps(g.height, g.sourceHeight);

  // Two source rows: rows[0] holds source row `held0`, rows[1] the next one.
  std::vector<uint8_t> rows[2] = {std::vector<uint8_t>(size_t(sw) * 3),
                                  std::vector<uint8_t>(size_t(sw) * 3)};
  int held[2] = {-1, -1};
  int next = 0;  // next source row to ask for
  std::vector<uint8_t> scaled(size_t(W) * 3);
  const int bpp = halftoner.bytesPerPixel();
  // Where R, G and B go in the engine's pixel: its own 3-byte form (RGB or
  // BGR), else bytes 1..3 of four.
  const HalftoneSettings& hs = halftoner.settings();
  const PixelLayout form = HalftoneInputLayoutOf(hs.kind, hs.renderMode, hs.lutMode);
  const PixelLayout rgb = form.bytesPerPixel == 3 ? form : LayoutOf(kRenderXrgb);
  const bool packedRgb = bpp == 3 && rgb.offsets[0] == 0 && rgb.offsets[2] == 2;
  std::vector<uint8_t> pixels(size_t(W) * bpp + 8, 0);
  const size_t planeBytes = PlaneBytes(W);
  const int planes = halftoner.planes();
  std::vector<uint8_t> out(planeBytes * planes);
  std::vector<std::span<const uint8_t>> views;
  for (int k = 0; k < planes; ++k) {
    views.emplace_back(out.data() + k * planeBytes, planeBytes);
  }

  // Reads source rows up to hi into rows[1], the one before into rows[0];
  // rows are asked for in order, each once.
  auto load = [&](int lo, int hi) -> Status {
    while (held[1] < hi) {
      std::swap(rows[0], rows[1]);
      held[0] = held[1];
      Status s = source(next, rows[1]);
      if (!s.ok()) return s;
      held[1] = next++;
    }
    (void)lo;  // rows come in order, so rows[0] is lo whenever hi = lo + 1
    return Status::Ok();
  };

  for (int y = 0; y < g.height; ++y) {
    const Tap ty = ys[y];
    Status s = load(ty.lo, ty.hi);
    if (!s.ok()) return s;
    const uint8_t* r0 = rows[0].data();
    const uint8_t* r1 = rows[1].data();
    if (held[0] != ty.lo) r0 = r1;  // lo == hi: both taps from row 1
    if (same) {
      std::memcpy(scaled.data(), r0, scaled.size());
    } else {
      for (int x = 0; x < W; ++x) {
        const Tap tx = xs[x];
        for (int c = 0; c < 3; ++c) {
          int a = r0[tx.lo * 3 + c] * (256 - tx.frac) + r0[tx.hi * 3 + c] * tx.frac;
          int b = r1[tx.lo * 3 + c] * (256 - tx.frac) + r1[tx.hi * 3 + c] * tx.frac;
          int v = (a * (256 - ty.frac) + b * ty.frac + (1 << 15)) >> 16;
          scaled[size_t(x) * 3 + c] = static_cast<uint8_t>(v);
        }
      }
    }
    // Engine pixel form: one gray byte, or R, G and B where `rgb` puts them.
    const uint8_t* p = scaled.data();
    if (bpp == 1) {
      for (int x = 0; x < W; ++x, p += 3) {
        pixels[x] = static_cast<uint8_t>((299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000);
      }
    } else if (packedRgb) {
      std::memcpy(pixels.data(), p, size_t(W) * 3);
    } else {
      for (int x = 0; x < W; ++x, p += 3) {
        uint8_t* q = &pixels[size_t(x) * bpp];
        q[rgb.offsets[0]] = p[0];
        q[rgb.offsets[1]] = p[1];
        q[rgb.offsets[2]] = p[2];
      }
    }
    std::fill(out.begin(), out.end(), 0);
    s = halftoner.Line(pixels.data(), out.data(), static_cast<int32_t>(planeBytes),
                       static_cast<uint32_t>(W), 0, static_cast<uint32_t>(y));
    if (!s.ok()) return s;
    s = sink(y, views);
    if (!s.ok()) return s;
    if (progress) progress(y + 1, g.height);
  }
  // Rows the scaling did not need are still read, so a streaming source
  // reaches its end.
  while (next < g.sourceHeight) {
    Status s = source(next++, rows[0]);
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

}  // namespace vantik
