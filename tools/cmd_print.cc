// vantik print INPUT -o OUTDIR: an image or a CUPS raster halftoned into ink
// planes and a simulated print.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "command.h"
#include "files.h"
#include "image_io.h"
#include "print_run.h"
#include "raster_input.h"
#include "resources_io.h"
#include "stop.h"

namespace vantik::tool {
namespace {

struct PrintArgs {
  std::string input, out, page = "letter", model;
  std::optional<double> dpi;
  bool fit = false;
  JobChoices job;
};

ImageWriter PngWriter() {
  return [](const std::string& path, const std::vector<uint8_t>& rgb, int w, int h) {
    return WriteImage(path, rgb, w, h, 3);
  };
}

void ListFiles(const Globals& g, const PrintResult& result) {
  if (g.quiet) return;
  for (const std::string& f : result.files) std::printf("%s\n", f.c_str());
}

int PrintCups(const std::string& input, const JobOptions& base, const ResourceSet& set,
              const std::string& outDir, const printmodel::PrintModel* model, const Globals& g) {
  const std::string name = input == "-" ? "standard input" : input;
  int fd = 0;
  if (input != "-") {
    fd = ::open(input.c_str(), O_RDONLY);
    if (fd < 0) return Fail(input + ": " + std::strerror(errno));
  }
  struct Closer {
    int fd;
    ~Closer() {
      if (fd > 0) ::close(fd);
    }
  } closer{fd};
  RasterReader raster(name);
  raster.SetPixelLimit(g.maxPixels);
  Status s = raster.Open(fd);
  if (!s.ok()) return Fail(s);
  const std::string stem = input == "-" ? "page" : Stem(input);
  for (int page = 1;; ++page) {
    Result<bool> more = raster.NextPage();
    if (!more.ok()) return Fail(more.status());
    if (!*more) {
      if (page == 1) return Fail(name + ": the CUPS raster stream holds no page");
      return 0;
    }
    const RasterPage& p = raster.page();
    PrintRequest req;
    req.options = base;
    req.options.resolution = {p.xdpi, p.ydpi};
    req.geometry = {p.width, p.height, p.width, p.height};
    req.widthInches = double(p.width) / p.xdpi;
    req.heightInches = double(p.height) / p.ydpi;
    req.source = [&](int, std::span<uint8_t> rgb) {
      Status s = CheckStop();
      if (s.ok()) s = raster.ReadRgb(rgb);
      // A signal during a blocked read fails the read; say why.
      return s.ok() || StopSignal() == 0 ? s : CheckStop();
    };
    req.outDir = outDir;
    req.stem = stem + "-p" + std::to_string(page);
    req.writeImage = PngWriter();
    req.model = model;
    req.progress = ProgressBar(g.quiet, "page " + std::to_string(page));
    PrintResult result;
    s = RunPrint(req, set, &result);
    if (!s.ok()) return Fail(s);
    ListFiles(g, result);
  }
}

int Print(PrintArgs a, const Globals& g) {
  while (a.out.size() > 1 && a.out.back() == '/') a.out.pop_back();
  const std::string& input = a.input;
  if (input != "-") {
    Status s = CheckInputFile(input);
    if (!s.ok()) return Fail(s);
  }
  Result<JobOptions> job = MakeJob(a.job);
  if (!job.ok()) return Fail(job.status());
  const bool raster = IsCupsRaster(input);
  // The image is opened (header only) and placed before anything else, so
  // that its problems are reported first.
  std::optional<PageSize> page = ParsePage(a.page);
  std::optional<vips::VImage> image;
  Result<Placement> place = Status(RC_FAILURE, "");
  if (!raster) {
    Result<vips::VImage> loaded = LoadRgb(input, g.maxPixels);
    if (!loaded.ok()) return Fail(loaded.status());
    image = *loaded;
    place = Place(*page, job->resolution, image->width(), image->height(), a.dpi);
    if (!place.ok()) return Fail(place.status());
  }
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());
  std::unique_ptr<printmodel::PrintModel> ownModel;
  Result<const printmodel::PrintModel*> model = ChoosePrintModel(a.model, &ownModel);
  if (!model.ok()) return Fail(model.status());
  Status s = EnsureDirectory(a.out);
  if (s.ok()) s = CheckWritable(a.out);
  if (!s.ok()) return Fail(s);
  if (raster) return PrintCups(input, *job, *set, a.out, *model, g);

  Result<vips::VImage> composed = ComposePage(*image, place->pageWidth, place->pageHeight,
                                              place->left, place->top, place->width,
                                              place->height);
  if (!composed.ok()) return Fail(composed.status());
  VipsRows rows(*composed, input);
  PrintRequest req;
  req.options = *job;
  req.geometry = {place->pageWidth, place->pageHeight, place->pageWidth, place->pageHeight};
  req.widthInches = page->widthInches;
  req.heightInches = page->heightInches;
  req.source = [&](int y, std::span<uint8_t> rgb) { return rows.Row(y, rgb); };
  req.outDir = a.out;
  req.stem = Stem(input);
  req.writeImage = PngWriter();
  req.model = *model;
  req.progress = ProgressBar(g.quiet, "printing");
  PrintResult result;
  s = RunPrint(req, *set, &result);
  if (!s.ok()) return Fail(s);
  ListFiles(g, result);
  return 0;
}

const RegisterCommand kPrint(
    "print", "halftone an image or a CUPS raster into ink planes", 10,
    [](CLI::App* cmd, const Globals& g) -> CommandRun {
      auto a = std::make_shared<PrintArgs>();
      cmd->add_option("input", a->input,
                      "image file (PNG, JPEG, TIFF, PNM) or CUPS raster; - for standard input")
          ->required();
      cmd->add_option("-o,--output", a->out, "output directory (created when missing)")
          ->required();
      AddOption(cmd, "--page", &a->page);
      CLI::Option* fit = AddFlag(cmd, "--fit", &a->fit);
      AddOption(cmd, "--dpi", &a->dpi)->excludes(fit);
      AddOption(cmd, "--model", &a->model);
      AddJobOptions(cmd, &a->job);
      return [a, &g] { return Print(*a, g); };
    });

}  // namespace
}  // namespace vantik::tool
