// vantik quality -o DIR: the quality report.  Prints patches, flat tints and
// scenes through each halftone method at each resolution and paper,
// measures them on the simulated print under the print model, and writes
// DIR/index.html with its pictures in DIR/images and DIR/front.png.
#include <cstdio>
#include <memory>
#include <sstream>

#include "command.h"
#include "files.h"
#include "image_io.h"
#include "outputs.h"
#include "print_run.h"
#include "quality/photos.h"
#include "quality/report.h"
#include "resources_io.h"

namespace vantik::tool {
namespace {

struct QualityArgs {
  std::string out, model, calibration;
  std::vector<std::string> methods, resolutions, papers;
  bool quick = false;
};

// Splits "a,b" items of a repeated option into one list.
std::vector<std::string> Items(const std::vector<std::string>& values) {
  std::vector<std::string> out;
  for (const std::string& v : values) {
    std::stringstream s(v);
    std::string item;
    while (std::getline(s, item, ',')) {
      if (!item.empty()) out.push_back(item);
    }
  }
  return out;
}

// The front picture: the report's SVG drawn by the image library.
Status RenderSvg(const std::string& svg, std::vector<uint8_t>* rgb, int* w, int* h) {
  try {
    VipsBlob* blob = vips_blob_new(nullptr, svg.data(), svg.size());
    vips::VImage image = vips::VImage::svgload_buffer(blob);
    vips_area_unref(reinterpret_cast<VipsArea*>(blob));
    if (image.bands() == 4) {
      image = image.flatten(vips::VImage::option()->set("background", std::vector<double>{255, 255, 255}));
    }
    image = image.cast(VIPS_FORMAT_UCHAR);
    size_t size = 0;
    auto* data = static_cast<uint8_t*>(image.write_to_memory(&size));
    rgb->assign(data, data + size);
    g_free(data);
    *w = image.width();
    *h = image.height();
    if (image.bands() != 3) return Status(RC_FAILURE, "front picture: unexpected image layout");
    return Status::Ok();
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, "front picture: " + VipsMessage(e));
  }
}

// The embedded photographs as 8-bit sRGB pixels.
Status DecodePhotos(std::vector<quality::Scene>* out) {
  for (const quality::EmbeddedPhoto& p : quality::Photos()) {
    try {
      vips::VImage image = vips::VImage::new_from_buffer(p.data, p.size, "");
      if (image.has_alpha()) {
        image = image.flatten(vips::VImage::option()->set("background", std::vector<double>{255, 255, 255}));
      }
      image = image.colourspace(VIPS_INTERPRETATION_sRGB).cast(VIPS_FORMAT_UCHAR);
      if (image.bands() > 3) image = image.extract_band(0, vips::VImage::option()->set("n", 3));
      size_t size = 0;
      auto* data = static_cast<uint8_t*>(image.write_to_memory(&size));
      quality::Scene scene{p.name, image.width(), image.height(), std::vector<uint8_t>(data, data + size)};
      g_free(data);
      if (image.bands() != 3) return Status(RC_FAILURE, std::string("photograph ") + p.name + ": not RGB");
      out->push_back(std::move(scene));
    } catch (const vips::VError& e) {
      return Status(RC_FAILURE, std::string("photograph ") + p.name + ": " + VipsMessage(e));
    }
  }
  return Status::Ok();
}

int Run(const QualityArgs& a, const Globals& g) {
  quality::ReportOptions opt;
  opt.quick = a.quick;
  if (!a.calibration.empty()) {
    Result<std::vector<int>> levels = ParseCalibration(a.calibration);
    if (!levels.ok()) return Fail(levels.status());
    opt.calibration = *levels;
  }
  for (const std::string& m : Items(a.methods)) {
    if (FindMethod(m) == nullptr) return Fail("--method: unknown method '" + m + "'");
    opt.methods.push_back(m);
  }
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());
  const std::vector<Resolution> served = TableResolutions(*set);
  for (const std::string& r : Items(a.resolutions)) {
    const std::optional<Resolution> res = ParseResolution(r);
    bool known = false;
    for (const Resolution& s : served) known = known || (res && s.x == res->x && s.y == res->y);
    if (!known) {
      return Fail("--resolution: '" + r + "' is not one of the resource set's: " + ResolutionList(served));
    }
    opt.resolutions.push_back(*res);
  }
  if (opt.resolutions.empty() && a.quick) opt.resolutions.push_back({720, 720});
  const auto index = set->Find(Service::kColor, kColorIndexBlock);
  std::optional<IndexNames> names;
  if (index) names = ReadIndexNames(*index);
  for (const std::string& p : Items(a.papers)) {
    if (!names || !names->PaperNumber(p)) return Fail("--paper: unknown paper '" + p + "'");
    opt.papers.push_back(p);
  }
  if (opt.papers.empty() && a.quick) opt.papers.push_back("plain");

  std::unique_ptr<printmodel::PrintModel> owned;
  Result<const printmodel::PrintModel*> model = ChoosePrintModel(a.model, &owned);
  if (!model.ok()) return Fail(model.status());
  if (*model == nullptr) return Fail("--model: the quality report needs a measured printer, not 'ideal'");
  opt.model = *model;
  if (!a.model.empty()) opt.modelName = "the printer measured in " + a.model;

  Status s = DecodePhotos(&opt.photos);
  if (!s.ok()) return Fail(s);

  s = EnsureDirectory(a.out);
  if (s.ok()) s = CheckWritable(a.out);
  if (!s.ok()) return Fail(s);
  if (!g.quiet) {
    opt.log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  }
  Result<quality::Report> report = quality::BuildReport(opt, *set);
  if (!report.ok()) return Fail(report.status());

  // Every file is written under a temporary name first and all are renamed
  // at the end, the pictures before the page: a failure leaves the folder
  // as it was, and a page that is there is whole and shows this run.
  s = EnsureDirectory(a.out + "/images");
  if (!s.ok()) return Fail(s);
  OutputFiles files(a.out);
  for (const quality::ReportImage& img : report->images) {
    s = WriteImage(files.Add(img.name), img.rgb, img.width, img.height, 3);
    if (!s.ok()) return Fail(Status(s.code(), a.out + "/" + img.name + ": cannot write the image"));
  }
  std::vector<uint8_t> front;
  int fw = 0, fh = 0;
  s = RenderSvg(report->frontSvg, &front, &fw, &fh);
  if (s.ok()) s = WriteImage(files.Add("front.png"), front, fw, fh, 3);
  if (!s.ok()) return Fail(s);
  const std::string page = files.Add("index.html");
  std::FILE* f = std::fopen(page.c_str(), "wb");
  const bool written = f != nullptr &&
                       std::fwrite(report->html.data(), 1, report->html.size(), f) == report->html.size();
  if (f == nullptr || std::fclose(f) != 0 || !written) return Fail(a.out + "/index.html: cannot write");
  s = files.Commit();
  if (!s.ok()) return Fail(s);
  if (!g.quiet) std::printf("%s/index.html\n", a.out.c_str());
  return 0;
}

const RegisterCommand kQuality(
    "quality", "print test patches and scenes through every method and report the figures", 48,
    [](CLI::App* cmd, const Globals& g) -> CommandRun {
      auto a = std::make_shared<QualityArgs>();
      cmd->add_option("-o,--output", a->out, "output directory for index.html and its pictures")
          ->required();
      cmd->add_option("--method", a->methods, "methods to report, comma-separated (default: all)");
      cmd->add_option("--resolution", a->resolutions,
                      "resolutions XxY, comma-separated (default: all the resources serve; 720x720 "
                      "with --quick)");
      cmd->add_option("--paper", a->papers,
                      "papers, comma-separated (default: plain and photo; plain with --quick)");
      cmd->add_option("--model", a->model,
                      "printer the simulated print shows: its measurements (CGATS) (default: the "
                      "built-in measured printer)");
      AddOption(cmd, "--calibration", &a->calibration);
      cmd->add_flag("--quick", a->quick, "a small run: fewer and smaller patches and tints");
      return [a, &g] { return Run(*a, g); };
    });

}  // namespace
}  // namespace vantik::tool
