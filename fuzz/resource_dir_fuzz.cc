// A resource directory written from fuzzed entries (service, file name,
// contents), read back by the directory loader, each block described, and
// the blocks laid over a small complete set handed to the C++ API: colour
// matching and halftoning are created from them and run a few pixels.
// Whatever the files hold, loading and every step after it must either
// work or report a failure, and nothing may leak.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/common/tiny_resources.h"
#include "interface/memblock.h"
#include "vantik/default_resources.h"
#include "vantik/resource_describe.h"
#include "vantik/vantik.hpp"

namespace fs = std::filesystem;

namespace {

// One scratch directory per fuzzing process, emptied for every input.  It
// lives in memory (/dev/shm) where there is one: creating and removing the
// files on a disk file system cost most of each input's time.
const fs::path& Scratch() {
  static const fs::path dir = [] {
    std::error_code ec;
    const fs::path base =
        fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string templ = (base / "vantik-resdir-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) std::abort();
    return fs::path(templ);
  }();
  return dir;
}

// Block numbers the small set and the dialogues use.
constexpr int kColorNumbers[] = {0, 120, 980, 990, 900, 910};
constexpr int kHalftoneNumbers[] = {200, 201, 202, 300};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const fs::path& dir = Scratch();
  std::error_code ec;
  fs::remove_all(dir / "color", ec);
  fs::remove_all(dir / "halftone", ec);
  const bool hasColor = in.ConsumeIntegralInRange<int>(0, 15) != 0;
  const bool hasHalftone = in.ConsumeIntegralInRange<int>(0, 15) != 0;
  if (hasColor) fs::create_directory(dir / "color");
  if (hasHalftone) fs::create_directory(dir / "halftone");

  const int files = in.ConsumeIntegralInRange<int>(0, 4);
  for (int i = 0; i < files; ++i) {
    const bool color = in.ConsumeBool();
    if (!(color ? hasColor : hasHalftone)) continue;
    std::string name;
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: name = in.ConsumeRandomLengthString(12); break;
      case 1: name = std::to_string(in.ConsumeIntegral<int32_t>()); break;
      default:
        name = std::to_string(color ? in.PickValueInArray(kColorNumbers)
                                    : in.PickValueInArray(kHalftoneNumbers));
    }
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
      continue;
    name += in.ConsumeIntegralInRange<int>(0, 7) == 0 ? ".txt" : ".bin";
    const std::string bytes = in.ConsumeRandomLengthString(4096);
    std::ofstream(dir / (color ? "color" : "halftone") / name, std::ios::binary) << bytes;
  }

  const long live = vantik::MemLiveBlocks();
  std::string error;
  auto blocks = vantik::resources::LoadDirectory(dir, &error);
  // The files are read: remove them now, so that a campaign's end (libFuzzer
  // leaves without running exit handlers) leaves only an empty directory.
  fs::remove_all(dir / "color", ec);
  fs::remove_all(dir / "halftone", ec);
  if (!blocks) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  vantik::ResourceSet set = vantik::testing::TinyResources();
  for (const auto& b : *blocks) {
    (void)vantik::resources::Describe(b.view());
    set.Add(b.service == vantik::resources::Service::kColor ? vantik::Service::kColor
                                                           : vantik::Service::kHalftone,
            b.number, b.bytes);
  }
  {
    vantik::ColorSettings settings;
    settings.halftone.kind = in.PickValueInArray({1, 3});
    settings.halftone.lineWidth = 16;
    auto matcher = vantik::ColorMatcher::Create(settings, set);
    if (matcher.ok()) {
      const std::vector<uint8_t> rgb = {0, 0, 0, 255, 255, 255, 12, 130, 240};
      std::vector<uint8_t> inks(3 * static_cast<size_t>(matcher->channels()));
      (void)matcher->Translate(rgb, inks);
      auto halftoner = vantik::Halftoner::Create(*matcher, set);
      if (halftoner.ok()) {
        std::vector<uint8_t> src(16 * static_cast<size_t>(halftoner->bytesPerPixel()), 0x80);
        std::vector<uint8_t> planes(4 * 3, 0);
        (void)halftoner->Line(src.data(), planes.data(), 3, 16, 0, 0);
      }
    }
  }
  if (vantik::MemLiveBlocks() != live) std::abort();
  return 0;
}
