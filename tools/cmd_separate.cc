// vantik separate INPUT -o OUT.tif: the ink values of colour matching as a
// CMYK TIFF.
#include <cctype>
#include <memory>

#include "command.h"
#include "files.h"
#include "image_io.h"
#include "pure_black.h"
#include "resources_io.h"

namespace vantik::tool {
namespace {

struct SeparateArgs {
  std::string input, out;
  JobChoices job;
};

// Only TIFF holds the four ink values of a pixel as they are.
bool IsTiffName(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "tif" || ext == "tiff";
}

int Separate(const SeparateArgs& a, const Globals& g) {
  if (!IsTiffName(a.out)) {
    return Fail(a.out + ": separate writes the ink values as a CMYK TIFF; name the output .tif or .tiff");
  }
  Result<JobOptions> job = MakeJob(a.job);
  if (!job.ok()) return Fail(job.status());
  int w = 0, h = 0;
  Result<std::vector<uint8_t>> rgb = ReadAllRgb(a.input, g.maxPixels, &w, &h);
  if (!rgb.ok()) return Fail(rgb.status());
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());
  if (job->pureBlack) *set = PureBlackResources(*set);
  Result<ColorSettings> cs = MakeColorSettings(*job, *set, static_cast<uint32_t>(w));
  if (!cs.ok()) return Fail(cs.status());
  Result<ColorMatcher> matcher = ColorMatcher::Create(*cs, *set);
  if (!matcher.ok()) return Fail(matcher.status());
  const int ch = matcher->channels();
  if (ch != 4 && ch != 1) {
    return Fail("the colour table has " + std::to_string(ch) + " inks; separate writes 4 or 1");
  }
  std::vector<uint8_t> inks(size_t(w) * h * ch);
  Status s = matcher->Translate(*rgb, inks);
  if (!s.ok()) return Fail(s.ToString());
  if (ch == 1) {
    // Black only: still a CMYK TIFF, with the colour inks empty.
    std::vector<uint8_t> cmyk(size_t(w) * h * 4, 0);
    for (size_t i = 0; i < inks.size(); ++i) cmyk[i * 4 + 3] = inks[i];
    inks.swap(cmyk);
  }
  s = WriteImageAtomically(a.out, inks, w, h, 4);
  return s.ok() ? 0 : Fail(s);
}

const RegisterCommand kSeparate(
    "separate", "write the ink values as a CMYK TIFF", 30,
    [](CLI::App* cmd, const Globals& g) -> CommandRun {
      auto a = std::make_shared<SeparateArgs>();
      cmd->add_option("input", a->input, "image file")->required();
      cmd->add_option("-o,--output", a->out, "output CMYK TIFF (.tif or .tiff)")->required();
      AddJobOptions(cmd, &a->job);
      return [a, &g] { return Separate(*a, g); };
    });

}  // namespace
}  // namespace vantik::tool
