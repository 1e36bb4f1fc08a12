// Uses the C++ interface: halftones a gray ramp with the resource blocks
// that the package installs (share/vantik/resources) and prints how many dots
// each ink plane got.  Usage: halftone_cpp RESOURCE_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <vantik/vantik.hpp>

namespace fs = std::filesystem;

// Every <number>.bin of DIR/color and DIR/halftone.
static bool LoadBlocks(const fs::path& dir, vantik::ResourceSet* set) {
  const std::pair<const char*, vantik::Service> services[] = {
      {"color", vantik::Service::kColor}, {"halftone", vantik::Service::kHalftone}};
  for (const auto& [name, service] : services) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir / name, ec)) {
      if (e.path().extension() != ".bin") continue;
      std::ifstream in(e.path(), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
      set->Add(service, std::stoi(e.path().stem().string()), std::move(bytes));
    }
    if (ec) {
      std::fprintf(stderr, "%s: %s\n", (dir / name).c_str(), ec.message().c_str());
      return false;
    }
  }
  return true;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s RESOURCE_DIR\n", argv[0]);
    return 2;
  }
  vantik::ResourceSet set;
  if (!LoadBlocks(argv[1], &set)) return 1;
  auto index = set.Find(vantik::Service::kColor, vantik::kColorIndexBlock);
  auto names = index ? vantik::ReadIndexNames(*index) : std::nullopt;
  auto paper = names ? names->PaperNumber("plain") : std::nullopt;
  if (!paper) {
    std::fprintf(stderr, "%s: no colour-table index with a plain paper\n", argv[1]);
    return 1;
  }

  const int width = 256, height = 32;
  vantik::ColorSettings settings;  // error diffusion, four inks, 720 x 720 dpi
  settings.paper = *paper;
  settings.halftone.lineWidth = width;
  auto matcher = vantik::ColorMatcher::Create(settings, set);
  if (!matcher.ok()) {
    std::fprintf(stderr, "%s\n", matcher.status().ToString().c_str());
    return 1;
  }
  auto halftoner = vantik::Halftoner::Create(*matcher, set);
  if (!halftoner.ok()) {
    std::fprintf(stderr, "%s\n", halftoner.status().ToString().c_str());
    return 1;
  }
  // A ramp from black on the left to white on the right.
  auto source = [&](int, std::span<uint8_t> rgb) {
    for (int x = 0; x < width; ++x) rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = uint8_t(x);
    return vantik::Status::Ok();
  };
  std::vector<long> dots(halftoner->planes());
  long leftHalf = 0, rightHalf = 0;
  auto sink = [&](int, std::span<const std::span<const uint8_t>> planes) {
    for (size_t k = 0; k < planes.size(); ++k) {
      for (size_t i = 0; i < planes[k].size(); ++i) {
        const int n = __builtin_popcount(planes[k][i]);
        dots[k] += n;
        (i < planes[k].size() / 2 ? leftHalf : rightHalf) += n;
      }
    }
    return vantik::Status::Ok();
  };
  vantik::Status s =
      vantik::RenderPage(*halftoner, {width, height, width, height}, source, sink);
  if (!s.ok()) {
    std::fprintf(stderr, "%s\n", s.ToString().c_str());
    return 1;
  }
  const char* inks[] = {"cyan", "magenta", "yellow", "black"};
  for (size_t k = 0; k < dots.size(); ++k) std::printf("%-8s %ld dots\n", inks[k], dots[k]);
  // The dark half of the ramp takes more ink than the light half.
  return leftHalf > rightHalf ? 0 : 1;
}
