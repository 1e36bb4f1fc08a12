// vantik print INPUT -o OUTDIR: an image or a CUPS raster halftoned into ink
// planes and a simulated print.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "command.h"
#include "files.h"
#include "image_io.h"
#include "print_run.h"
#include "resources_io.h"

namespace vantik::tool {
namespace {

struct PrintArgs {
  std::string input, out, page = "letter";
  std::optional<double> dpi;
  bool fit = false;
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
               "%s: %.2f s on %d thread%s; busy: source %.2f s, halftone %.2f s, "
               "outputs %.2f s\n",
               what.c_str(), r.seconds, r.stages.threads, r.stages.threads == 1 ? "" : "s",
               r.stages.source, r.stages.halftone, r.stages.sink);
}

void ListFiles(const Globals& g, const PrintResult& result) {
  if (g.quiet) return;
  for (const std::string& f : result.files) std::printf("%s\n", f.c_str());
}

int PrintCups(const std::string& input, const JobOptions& base, const ResourceSet& set,
              const std::string& outDir, int threads, const Globals& g) {
  CupsRaster raster;
  Status s = raster.Open(input);
  if (!s.ok()) return Fail(s);
  const std::string stem = input == "-" ? "page" : Stem(input);
  for (int page = 1;; ++page) {
    Result<bool> more = raster.NextPage();
    if (!more.ok()) return Fail(more.status());
    if (!*more) {
      if (page == 1) return Fail(input + ": the CUPS raster stream holds no page");
      return 0;
    }
    PrintRequest req;
    req.options = base;
    req.options.resolution = {raster.xdpi(), raster.ydpi()};
    req.geometry = {raster.width(), raster.height(), raster.width(), raster.height()};
    req.widthInches = double(raster.width()) / std::max(1, raster.xdpi());
    req.heightInches = double(raster.height()) / std::max(1, raster.ydpi());
    req.source = [&](int y, std::span<uint8_t> rgb) { return raster.Row(y, rgb); };
    req.outDir = outDir;
    req.stem = stem + "-p" + std::to_string(page);
    req.writeImage = PngWriter();
    req.progress = ProgressBar(g.quiet, "page " + std::to_string(page));
    req.threads = threads;
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
  if (input != "-" && access(input.c_str(), R_OK) != 0) {
    return Fail(input + ": " + std::strerror(errno));
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
    Result<vips::VImage> loaded = LoadRgb(input);
    if (!loaded.ok()) return Fail(loaded.status());
    image = *loaded;
    place = Place(*page, job->resolution, image->width(), image->height(), a.dpi);
    if (!place.ok()) return Fail(place.status());
  }
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());
  Status s = EnsureDirectory(a.out);
  if (!s.ok()) return Fail(s);
  if (raster) return PrintCups(input, *job, *set, a.out, a.threads, g);

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
  req.stem = Stem(input);
  req.writeImage = PngWriter();
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
      AddOption(cmd, "--threads", &a->threads);
      AddJobOptions(cmd, &a->job);
      return [a, &g] { return Print(*a, g); };
    });

}  // namespace
}  // namespace vantik::tool
