// vantik preview INPUT -o OUT.png: the screen preview of the adjustments.
#include <cmath>
#include <memory>

#include "command.h"
#include "files.h"
#include "image_io.h"

namespace vantik::tool {
namespace {

struct PreviewArgs {
  std::string input, out;
  Adjustments adjust;
  double gamma = 1.5;
  int sharpen = 0;
};

int Preview(const PreviewArgs& a, const Globals& g) {
  PreviewSettings ps;
  ps.adjust = a.adjust;
  ps.gammaHundredths = static_cast<int>(std::lround(a.gamma * 100));
  ps.sharpen = a.sharpen;
  Result<vantik::Preview> preview = vantik::Preview::Create(ps);
  if (!preview.ok()) return Fail(preview.status().ToString());
  int w = 0, h = 0;
  Result<std::vector<uint8_t>> rgb = ReadAllRgb(a.input, g.maxPixels, &w, &h);
  if (!rgb.ok()) return Fail(rgb.status());
  const size_t row = size_t(w) * 3;
  for (int y = 0; y < h; ++y) {
    std::span<uint8_t> line(rgb->data() + y * row, row);
    Status s = preview->Translate(line, line);
    if (!s.ok()) return Fail(s.ToString());
  }
  Status s = WriteImageAtomically(a.out, *rgb, w, h, 3);
  return s.ok() ? 0 : Fail(s);
}

const RegisterCommand kPreview(
    "preview", "show the adjustments as a screen preview", 20,
    [](CLI::App* cmd, const Globals& g) -> CommandRun {
      auto a = std::make_shared<PreviewArgs>();
      cmd->add_option("input", a->input, "image file")->required();
      cmd->add_option("-o,--output", a->out, "output image (PNG)")->required();
      AddAdjustments(cmd, &a->adjust);
      AddOption(cmd, "--gamma", &a->gamma);
      AddOption(cmd, "--sharpen", &a->sharpen);
      return [a, &g] { return Preview(*a, g); };
    });

}  // namespace
}  // namespace vantik::tool
