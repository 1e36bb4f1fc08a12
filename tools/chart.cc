#include "chart.h"

#include <algorithm>
#include <cmath>

namespace vantik::tool {

namespace {

struct Canvas {
  int w, h;
  std::vector<uint8_t> px;
  void Set(int x, int y, int r, int g, int b) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    uint8_t* p = &px[(size_t(y) * w + x) * 3];
    p[0] = static_cast<uint8_t>(std::clamp(r, 0, 255));
    p[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
    p[2] = static_cast<uint8_t>(std::clamp(b, 0, 255));
  }
  void Fill(int x0, int y0, int x1, int y1, int r, int g, int b) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) Set(x, y, r, g, b);
  }
};

// HSV (h in degrees) to RGB 0..255.
void Hsv(double h, double s, double v, int* r, int* g, int* b) {
  double c = v * s, hp = std::fmod(h, 360.0) / 60.0;
  double x = c * (1 - std::fabs(std::fmod(hp, 2.0) - 1));
  double rr = 0, gg = 0, bb = 0;
  if (hp < 1) rr = c, gg = x;
  else if (hp < 2) rr = x, gg = c;
  else if (hp < 3) gg = c, bb = x;
  else if (hp < 4) gg = x, bb = c;
  else if (hp < 5) rr = x, bb = c;
  else rr = c, bb = x;
  double m = v - c;
  *r = static_cast<int>(std::lround((rr + m) * 255));
  *g = static_cast<int>(std::lround((gg + m) * 255));
  *b = static_cast<int>(std::lround((bb + m) * 255));
}

}  // namespace

std::vector<uint8_t> DrawChart(int width, int height) {
  Canvas c{width, height, std::vector<uint8_t>(size_t(width) * height * 3, 255)};
  auto Y = [&](double f) { return static_cast<int>(std::lround(f * height)); };
  auto X = [&](double f) { return static_cast<int>(std::lround(f * width)); };
  const int margin = std::max(1, width / 60);
  const int inner = width - 2 * margin;

  // Gray ramp, black to white.
  for (int y = Y(0.02); y < Y(0.09); ++y)
    for (int x = 0; x < inner; ++x) {
      int v = inner > 1 ? x * 255 / (inner - 1) : 0;
      c.Set(margin + x, y, v, v, v);
    }
  // Ramps from white to each primary and secondary.
  const int prim[6][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                          {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
  for (int i = 0; i < 6; ++i) {
    for (int y = Y(0.10 + 0.04 * i); y < Y(0.135 + 0.04 * i); ++y)
      for (int x = 0; x < inner; ++x) {
        int t = inner > 1 ? x * 255 / (inner - 1) : 0;
        c.Set(margin + x, y, 255 - t * (255 - prim[i][0]) / 255,
              255 - t * (255 - prim[i][1]) / 255, 255 - t * (255 - prim[i][2]) / 255);
      }
  }
  // Colour patches: 12 hues at three strengths (left half).
  const int px0 = margin, px1 = X(0.5) - margin / 2;
  const int py0 = Y(0.35), py1 = Y(0.62);
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 12; ++col) {
      int r, g, b;
      const double sat[3] = {1.0, 0.55, 1.0}, val[3] = {1.0, 1.0, 0.55};
      Hsv(col * 30.0, sat[row], val[row], &r, &g, &b);
      int x0 = px0 + (px1 - px0) * col / 12, x1 = px0 + (px1 - px0) * (col + 1) / 12;
      int y0 = py0 + (py1 - py0) * row / 3, y1 = py0 + (py1 - py0) * (row + 1) / 3;
      c.Fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, r, g, b);
    }
  // Smooth radial gradient (right half): warm centre to deep blue rim.
  const double cx = X(0.75), cy = (py0 + py1) / 2.0;
  const double radius = std::min((width - margin - X(0.5)) / 2.0, (py1 - py0) / 2.0);
  for (int y = py0; y < py1; ++y)
    for (int x = X(0.5) + margin / 2; x < width - margin; ++x) {
      double d = std::hypot(x - cx, y - cy) / radius;
      if (d > 1) continue;
      c.Set(x, y, static_cast<int>(255 - 215 * d), static_cast<int>(230 - 170 * d),
            static_cast<int>(120 + 60 * d));
    }
  // Skin tones, then gray steps of 10 %.
  const int skin[8][3] = {{255, 224, 196}, {241, 194, 167}, {224, 172, 138}, {198, 134, 66},
                          {161, 102, 69},  {141, 85, 36},   {106, 68, 47},   {72, 45, 30}};
  const int sy0 = Y(0.64), sy1 = Y(0.78);
  for (int i = 0; i < 8; ++i) {
    int x0 = margin + (X(0.5) - margin) * i / 8, x1 = margin + (X(0.5) - margin) * (i + 1) / 8;
    c.Fill(x0 + 1, sy0, x1 - 1, sy1, skin[i][0], skin[i][1], skin[i][2]);
  }
  for (int i = 0; i <= 10; ++i) {
    int v = 255 - i * 255 / 10;
    int x0 = X(0.5) + (width - margin - X(0.5)) * i / 11;
    int x1 = X(0.5) + (width - margin - X(0.5)) * (i + 1) / 11;
    c.Fill(x0, sy0, x1, sy1, v, v, v);
  }
  // Fine lines: vertical and horizontal black lines 1 pixel wide at
  // spacings of 2, 3 and 4 pixels, and a fan of thin diagonals.
  const int ly0 = Y(0.80), ly1 = Y(0.98);
  for (int s = 0; s < 3; ++s) {
    int x0 = margin + (X(0.5) - margin) * s / 3, x1 = margin + (X(0.5) - margin) * (s + 1) / 3 - 4;
    int step = s + 2;
    for (int y = ly0; y < (ly0 + ly1) / 2; ++y)
      for (int x = x0; x < x1; x += step) c.Set(x, y, 0, 0, 0);
    for (int y = (ly0 + ly1) / 2 + 2; y < ly1; y += step)
      for (int x = x0; x < x1; ++x) c.Set(x, y, 0, 0, 0);
  }
  const int fx = X(0.52), fy = ly1 - 1, reach = std::min(X(0.45), ly1 - ly0 - 1);
  for (int k = 0; k < 16; ++k) {
    const double a = k * (3.14159265 / 2) / 15;
    const int ex = fx + static_cast<int>(std::lround(X(0.45) * std::cos(a)));
    const int ey = fy - static_cast<int>(std::lround(reach * std::sin(a)));
    const int n = std::max(std::abs(ex - fx), std::abs(ey - fy));
    for (int t = 0; t <= n; ++t) {
      c.Set(fx + (ex - fx) * t / std::max(n, 1), fy + (ey - fy) * t / std::max(n, 1), 0, 0, 0);
    }
  }
  return std::move(c.px);
}

}  // namespace vantik::tool
