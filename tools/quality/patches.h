// What the quality report prints: colour patches in groups, and photo-like
// scenes drawn in code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantik::tool::quality {

struct Patch {
  std::string group;  // "gray", "dark", "light", "checker", "skin"
  std::string name;
  uint8_t r = 0, g = 0, b = 0;
};

// The gray ramp from white to black in steps of `step` levels (255 and 0
// always included), then the dark and light saturated colours, a 24-patch
// colour checker in its published sRGB values, and skin tones.
std::vector<Patch> PatchSet(int grayStep);

// The gray ramp's patches of a set, in the set's order (white first).
std::vector<size_t> GrayRamp(const std::vector<Patch>& set);

struct Scene {
  std::string name;
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // packed
};

// Photo-like scenes of width x height pixels: smooth shading, skin, dark
// saturated shadows, sky gradients, fine detail.
std::vector<Scene> Scenes(int width, int height);

}  // namespace vantik::tool::quality
