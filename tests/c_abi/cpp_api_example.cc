// A C++ program that uses the C++ API through the shared library alone:
// a preview with more saturation over a few pixels.
#include <cstdint>
#include <cstdio>
#include <vector>

#include <vantik/vantik.hpp>

int main() {
  vantik::PreviewSettings settings;
  settings.adjust.saturation = 20;
  auto preview = vantik::Preview::Create(settings);
  if (!preview.ok()) {
    std::fprintf(stderr, "%s\n", preview.status().message().c_str());
    return 1;
  }
  std::vector<uint8_t> rgb = {200, 30, 30, 128, 128, 128};
  std::vector<uint8_t> out(rgb.size());
  const vantik::Status status = preview.value().Translate(rgb, out);
  if (!status.ok()) {
    std::fprintf(stderr, "%s\n", status.message().c_str());
    return 1;
  }
  std::printf("red %u %u %u, gray %u %u %u\n", out[0], out[1], out[2], out[3], out[4], out[5]);
  // Saturation leaves a gray pixel gray.
  return out[3] == out[4] && out[4] == out[5] ? 0 : 1;
}
