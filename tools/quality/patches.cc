#include "quality/patches.h"

#include <algorithm>
#include <cmath>

namespace vantik::tool::quality {

std::vector<Patch> PatchSet(int grayStep) {
  std::vector<Patch> set;
  grayStep = std::clamp(grayStep, 1, 255);
  for (int v = 255;; v -= grayStep) {
    const int level = std::max(v, 0);
    const auto l = static_cast<uint8_t>(level);
    set.push_back({"gray", "gray " + std::to_string(level), l, l, l});
    if (level == 0) break;
  }
  const Patch dark[] = {
      {"dark", "dark red", 40, 6, 3},        {"dark", "dark green", 4, 24, 8},
      {"dark", "dark brown", 36, 24, 15},    {"dark", "brown shadow", 26, 17, 10},
      {"dark", "dark blue", 10, 12, 45},     {"dark", "dark purple", 40, 10, 40},
      {"dark", "dark teal", 5, 35, 35},      {"dark", "dark orange", 70, 30, 5},
      {"dark", "navy", 20, 25, 60},          {"dark", "wine", 90, 15, 30},
      {"dark", "red", 255, 0, 0},            {"dark", "green", 0, 255, 0},
      {"dark", "blue", 0, 0, 255},           {"dark", "cyan", 0, 255, 255},
      {"dark", "magenta", 255, 0, 255},      {"dark", "yellow", 255, 255, 0},
  };
  const Patch light[] = {
      {"light", "light pink", 250, 200, 210},   {"light", "light yellow", 250, 245, 190},
      {"light", "light cyan", 200, 240, 250},   {"light", "light green", 205, 245, 200},
      {"light", "lavender", 220, 210, 250},     {"light", "peach", 250, 220, 190},
      {"light", "pale blue", 225, 235, 250},    {"light", "pale gray-green", 230, 238, 228},
  };
  // The classic 24-patch colour checker, in its widely published sRGB values.
  const Patch checker[] = {
      {"checker", "dark skin", 115, 82, 68},      {"checker", "light skin", 194, 150, 130},
      {"checker", "blue sky", 98, 122, 157},      {"checker", "foliage", 87, 108, 67},
      {"checker", "blue flower", 133, 128, 177},  {"checker", "bluish green", 103, 189, 170},
      {"checker", "orange", 214, 126, 44},        {"checker", "purplish blue", 80, 91, 166},
      {"checker", "moderate red", 193, 90, 99},   {"checker", "purple", 94, 60, 108},
      {"checker", "yellow green", 157, 188, 64},  {"checker", "orange yellow", 224, 163, 46},
      {"checker", "blue", 56, 61, 150},           {"checker", "green", 70, 148, 73},
      {"checker", "red", 175, 54, 60},            {"checker", "yellow", 231, 199, 31},
      {"checker", "magenta", 187, 86, 149},       {"checker", "cyan", 8, 133, 161},
      {"checker", "white 9.5", 243, 243, 242},    {"checker", "neutral 8", 200, 200, 200},
      {"checker", "neutral 6.5", 160, 160, 160},  {"checker", "neutral 5", 122, 122, 121},
      {"checker", "neutral 3.5", 85, 85, 85},     {"checker", "black 2", 52, 52, 52},
  };
  const Patch skin[] = {
      {"skin", "skin 1", 255, 224, 196}, {"skin", "skin 2", 241, 194, 167},
      {"skin", "skin 3", 224, 172, 125}, {"skin", "skin 4", 198, 134, 96},
      {"skin", "skin 5", 160, 102, 70},  {"skin", "skin 6", 120, 74, 50},
      {"skin", "skin 7", 86, 52, 36},    {"skin", "skin shadow", 60, 38, 28},
  };
  for (const Patch& p : dark) set.push_back(p);
  for (const Patch& p : light) set.push_back(p);
  for (const Patch& p : checker) set.push_back(p);
  for (const Patch& p : skin) set.push_back(p);
  return set;
}

std::vector<size_t> GrayRamp(const std::vector<Patch>& set) {
  std::vector<size_t> ramp;
  for (size_t i = 0; i < set.size(); ++i) {
    if (set[i].group == "gray") ramp.push_back(i);
  }
  return ramp;
}

namespace {

double Smooth(double e0, double e1, double x) {
  const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// A lit ball of colour `c` at (cx, cy) of radius r: Lambert shading with a
// highlight, deep shadow on the far side.  Returns false outside the ball.
bool Ball(double x, double y, double cx, double cy, double r, const double c[3], double out[3]) {
  const double dx = (x - cx) / r, dy = (y - cy) / r;
  const double d2 = dx * dx + dy * dy;
  if (d2 > 1) return false;
  const double dz = std::sqrt(1 - d2);
  // Light from the upper left, in front.
  const double lx = -0.5, ly = -0.6, lz = 0.62;
  const double lambert = std::max(0.0, dx * lx + dy * ly + dz * lz);
  const double highlight = std::pow(std::max(0.0, dz * 0.9 - dx * 0.3 - dy * 0.3), 40) * 0.5;
  const double shade = 0.04 + 0.96 * lambert;
  for (int k = 0; k < 3; ++k) out[k] = std::min(1.0, c[k] * shade + highlight);
  return true;
}

uint8_t Encode(double linear) {
  linear = std::clamp(linear, 0.0, 1.0);
  const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(std::lround(v * 255));
}

double Decode(int v) {
  const double c = v / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Still life: a sky gradient over a table, a red, a green and a skin-toned
// ball with their shadows, a dark brown corner, a fine line pattern.
Scene StillLife(int w, int h) {
  Scene s{"still-life", w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3)};
  const double red[3] = {Decode(150), Decode(20), Decode(15)};
  const double green[3] = {Decode(30), Decode(110), Decode(45)};
  const double skin[3] = {Decode(224), Decode(172), Decode(135)};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double u = (x + 0.5) / w, v = (y + 0.5) / h;
      double c[3];
      if (v < 0.55) {  // sky: deep blue to pale near the horizon
        const double t = v / 0.55;
        c[0] = Decode(40) + (Decode(200) - Decode(40)) * t;
        c[1] = Decode(90) + (Decode(220) - Decode(90)) * t;
        c[2] = Decode(170) + (Decode(240) - Decode(170)) * t;
      } else {  // table: warm wood darkening to a brown corner
        const double t = (v - 0.55) / 0.45;
        const double dark = Smooth(0.4, 1.0, u * 0.5 + t * 0.7);
        const double grain = 0.04 * std::sin(u * 90 + std::sin(v * 13) * 3);
        c[0] = (Decode(140) * (1 - dark) + Decode(26) * dark) * (1 + grain);
        c[1] = (Decode(95) * (1 - dark) + Decode(17) * dark) * (1 + grain);
        c[2] = (Decode(60) * (1 - dark) + Decode(10) * dark) * (1 + grain);
      }
      // Shadows of the balls on the table.
      const double px = x / double(h), py = y / double(h);
      auto shadow = [&](double cx, double cy, double r) {
        const double d = std::hypot((px - cx) / (r * 1.6), (py - cy) / (r * 0.45));
        return 1 - 0.75 * (1 - Smooth(0.6, 1.0, d));
      };
      const double sh = shadow(0.32, 0.86, 0.16) * shadow(0.78, 0.88, 0.14) * shadow(1.2, 0.87, 0.13);
      if (v >= 0.55) {
        for (double& k : c) k *= sh;
      }
      double b[3];
      if (Ball(px, py, 0.32, 0.70, 0.16, red, b) || Ball(px, py, 0.78, 0.74, 0.14, green, b) ||
          Ball(px, py, 1.2, 0.73, 0.13, skin, b)) {
        c[0] = b[0], c[1] = b[1], c[2] = b[2];
      }
      // Fine lines in the top right corner: detail and edges.
      if (u > 0.82 && v < 0.2) {
        const double l = std::sin((x + y * 0.3) * 1.3) > 0.3 ? 0.02 : 0.9;
        c[0] = c[1] = c[2] = l;
      }
      uint8_t* p = s.rgb.data() + (static_cast<size_t>(y) * w + x) * 3;
      for (int k = 0; k < 3; ++k) p[k] = Encode(c[k]);
    }
  }
  return s;
}

// Portrait-like: a face-coloured oval under soft light on a dark saturated
// background, with a smooth colour band below.
Scene Portrait(int w, int h) {
  Scene s{"portrait", w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3)};
  const double skin[3] = {Decode(232), Decode(182), Decode(150)};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double u = (x + 0.5) / w, v = (y + 0.5) / h;
      double c[3];
      // Background: dark green to dark red across.
      c[0] = Decode(8) + (Decode(60) - Decode(8)) * u;
      c[1] = Decode(40) + (Decode(8) - Decode(40)) * u;
      c[2] = Decode(20) + (Decode(10) - Decode(20)) * u;
      const double px = x / double(h), py = y / double(h);
      const double ax = (px - w / double(h) * 0.5) / 0.28, ay = (py - 0.42) / 0.36;
      const double d2 = ax * ax + ay * ay;
      if (d2 <= 1) {
        const double dz = std::sqrt(1 - d2);
        const double light = 0.15 + 0.85 * std::max(0.0, -0.45 * ax - 0.35 * ay + 0.82 * dz);
        for (int k = 0; k < 3; ++k) c[k] = skin[k] * light;
      }
      if (v > 0.86) {  // a hue band: every hue at mid lightness
        const double hue = u * 6;
        const double f = hue - std::floor(hue);
        const int i = static_cast<int>(hue) % 6;
        const double q = 1 - f, t = f;
        const double r[6] = {1, q, 0, 0, t, 1}, g[6] = {t, 1, 1, q, 0, 0}, b[6] = {0, 0, t, 1, 1, q};
        c[0] = 0.05 + 0.6 * r[i];
        c[1] = 0.05 + 0.6 * g[i];
        c[2] = 0.05 + 0.6 * b[i];
      }
      uint8_t* p = s.rgb.data() + (static_cast<size_t>(y) * w + x) * 3;
      for (int k = 0; k < 3; ++k) p[k] = Encode(c[k]);
    }
  }
  return s;
}

}  // namespace

std::vector<Scene> Scenes(int width, int height) {
  return {StillLife(width, height), Portrait(width, height)};
}

}  // namespace vantik::tool::quality
