// vantik print INPUT -o OUTDIR: an image or a CUPS raster halftoned into ink
// planes and a simulated print.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "command.h"
#include "files.h"
#include "image_io.h"
#include "print_run.h"
#include "raster_input.h"
#include "pure_black.h"
#include "resources_io.h"
#include "stop.h"

namespace vantik::tool {
namespace {

struct PrintArgs {
  std::string input, out, page = "letter", model;
  bool resolutionGiven = false;  // --resolution on the command line
  std::string format = "pbm", simulate = "on";
  std::optional<double> dpi;
  bool fit = false, noRotate = false;
  std::string margins;  // empty: the page size's default
  int threads = 0;
  JobChoices job;
};

ImageWriter PngWriter() {
  return [](const std::string& path, const std::vector<uint8_t>& rgb, int w, int h) {
    return WriteImage(path, rgb, w, h, 3);
  };
}

// With --verbose: one line per page with the time each stage of the page
// spent working, so that a slow page shows where its time went.
void ReportStages(const Globals& g, const std::string& what, const PrintResult& r) {
  if (!g.verbose) return;
  std::fprintf(stderr,
               "%s: %.2f s on %d thread%s; busy: source %.2f s, translate %.2f s, "
               "halftone %.2f s, outputs %.2f s\n",
               what.c_str(), r.seconds, r.stages.threads, r.stages.threads == 1 ? "" : "s",
               r.stages.source, r.stages.translate, r.stages.halftone, r.stages.sink);
}

void ListFiles(const Globals& g, const PrintResult& result) {
  if (g.quiet) return;
  for (const std::string& f : result.files) std::printf("%s\n", f.c_str());
}

// The files print writes, from --format and --simulate.
void SetOutputs(const PrintArgs& a, PrintRequest* req) {
  const PlaneFormat f = ParsePlaneFormat(a.format).value_or(PlaneFormat());
  req->pbm = f.pbm;
  req->tiff = f.tiff;
  req->simulate = a.simulate == "on";
}

int PrintCups(const PrintArgs& a, const JobOptions& base, const ResourceSet& set,
              const printmodel::PrintModel* model, const Globals& g) {
  const std::string& input = a.input;
  const std::string& outDir = a.out;
  const bool scale = a.resolutionGiven;
  const std::vector<Resolution> tables = TableResolutions(set);
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
    req.geometry = {p.width, p.height, p.width, p.height};
    if (scale) {
      // --resolution given: the page keeps its size in inches and is scaled
      // to the chosen resolution.
      req.geometry.width = std::max(1, int(std::lround(double(p.width) * base.resolution.x / p.xdpi)));
      req.geometry.height = std::max(1, int(std::lround(double(p.height) * base.resolution.y / p.ydpi)));
    } else {
      req.options.resolution = {p.xdpi, p.ydpi};
      bool served = false;
      for (const Resolution& r : tables) served |= r.x == p.xdpi && r.y == p.ydpi;
      if (!served) {
        return Fail(name + ": page " + std::to_string(page) + ": " + std::to_string(p.xdpi) + " x " +
                    std::to_string(p.ydpi) + " dpi has no colour table; the resources hold " +
                    ResolutionList(tables) + " (--resolution scales the page to one of them)");
      }
    }
    req.widthInches = double(p.width) / p.xdpi;
    req.heightInches = double(p.height) / p.ydpi;
    req.source = [&](int, std::span<uint8_t> rgb) {
      Status s = CheckStop();
      if (s.ok()) s = raster.ReadRgb(rgb);
      // A signal during a blocked read fails the read; say why.
      return s.ok() || StopSignal() == 0 ? s : CheckStop();
    };
    req.outDir = outDir;
    SetOutputs(a, &req);
    req.stem = stem + "-p" + std::to_string(page);
    req.writeImage = PngWriter();
    req.model = model;
    req.progress = ProgressBar(g.quiet, "page " + std::to_string(page));
    req.threads = a.threads;
    PrintResult result;
    s = RunPrint(req, set, &result);
    if (!s.ok()) return Fail(s);
    ReportStages(g, "page " + std::to_string(page), result);
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
    const Margins margins = a.margins.empty() ? DefaultMargins(a.page) : *ParseMargins(a.margins);
    if (!a.dpi && !a.noRotate && ShouldRotate(*page, margins, image->width(), image->height())) {
      try {
        image = image->rot90();
      } catch (const vips::VError& e) {
        return Fail(input + ": cannot turn the image (" + VipsMessage(e) + ")");
      }
    }
    place = Place(*page, job->resolution, image->width(), image->height(), a.dpi, margins);
    if (!place.ok()) return Fail(place.status());
  }
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());
  if (job->pureBlack) *set = PureBlackResources(*set);
  std::unique_ptr<printmodel::PrintModel> ownModel;
  Result<const printmodel::PrintModel*> model = ChoosePrintModel(a.model, &ownModel);
  if (!model.ok()) return Fail(model.status());
  Status s = EnsureDirectory(a.out);
  if (s.ok()) s = CheckWritable(a.out);
  if (!s.ok()) return Fail(s);
  if (raster) return PrintCups(a, *job, *set, *model, g);

  // An image larger than its place is shrunk first with proper filtering;
  // enlarging happens line by line inside the page, so the image is never
  // enlarged whole.  The paper around it is white.
  Result<vips::VImage> shrunk = ShrinkToPlace(*image, place->width, place->height);
  if (!shrunk.ok()) return Fail(shrunk.status());
  VipsRows rows(*shrunk, input);
  PrintRequest req;
  req.options = *job;
  req.geometry = {shrunk->width(), shrunk->height(), place->pageWidth, place->pageHeight,
                  place->left,     place->top,       place->width,     place->height};
  req.widthInches = page->widthInches;
  req.heightInches = page->heightInches;
  req.source = [&](int y, std::span<uint8_t> rgb) { return rows.Row(y, rgb); };
  req.outDir = a.out;
  SetOutputs(a, &req);
  req.stem = Stem(input);
  req.writeImage = PngWriter();
  req.model = *model;
  req.progress = ProgressBar(g.quiet, "printing");
  req.threads = a.threads;
  PrintResult result;
  s = RunPrint(req, *set, &result);
  if (!s.ok()) return Fail(s);
  ReportStages(g, "page", result);
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
      AddFlag(cmd, "--no-rotate", &a->noRotate);
      AddOption(cmd, "--margins", &a->margins);
      AddOption(cmd, "--model", &a->model);
      AddOption(cmd, "--threads", &a->threads);
      AddJobOptions(cmd, &a->job);
      AddOption(cmd, "--format", &a->format);
      AddOption(cmd, "--simulate", &a->simulate);
      CLI::Option* resolution = cmd->get_option("--resolution");
      return [a, &g, resolution] {
        a->resolutionGiven = resolution->count() > 0;
        return Print(*a, g);
      };
    });

}  // namespace
}  // namespace vantik::tool
