// vantik: prints images through the colour and halftone library.
//   vantik print INPUT -o OUTDIR      planes (PBM + TIFF G4) and a simulated print
//   vantik preview INPUT -o OUT.png   the screen preview of the adjustments
//   vantik separate INPUT -o OUT.tif  the ink values as a CMYK TIFF
//   vantik chart -o OUT.png           the test chart
//   vantik resources list|show N|export DIR
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <string>

#include "chart.h"
#include "image_io.h"
#include "job.h"
#include "outputs.h"
#include "print_run.h"
#include "resources_io.h"

namespace vt = vantik::tool;
using vantik::Result;
using vantik::Status;

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "vantik: %s\n", message.c_str());
  return 1;
}
int Fail(const Status& s) { return Fail(s.message()); }

// A progress bar on standard error when it is a terminal; nothing otherwise.
vantik::Progress ProgressBar(bool quiet, const std::string& label) {
  if (quiet || !isatty(STDERR_FILENO)) return nullptr;
  return [label, last = -1](int done, int total) mutable {
    int percent = static_cast<int>(int64_t(done) * 100 / total);
    if (percent == last) return;
    last = percent;
    int bar = percent * 30 / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label.c_str(), bar,
                 "##############################", 30 - bar, "", percent);
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  };
}

std::string Stem(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base.resize(dot);
  return base.empty() ? "page" : base;
}

Status EnsureDirectory(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Status::Ok();
    return Status(RC_FAILURE, dir + ": not a directory");
  }
  if (mkdir(dir.c_str(), 0777) != 0) {
    return Status(RC_FAILURE, dir + ": cannot create the directory (" + std::strerror(errno) + ")");
  }
  return Status::Ok();
}

// Options shared by print and separate.
struct Common {
  std::string method = "diffusion";
  std::string ink = "color";
  std::string resolution = "720x720";
  std::string paper = "plain";
  std::string calibration;
  vantik::Adjustments adjust;
};

void AddAdjustments(CLI::App* app, vantik::Adjustments* a) {
  const auto range = CLI::Range(-50, 50);
  app->add_option("--brightness", a->brightness, "brightness, -50..50")->check(range);
  app->add_option("--contrast", a->contrast, "contrast, -50..50")->check(range);
  app->add_option("--saturation", a->saturation, "saturation, -50..50")->check(range);
  app->add_option("--red", a->red, "red balance, -50..50")->check(range);
  app->add_option("--green", a->green, "green balance, -50..50")->check(range);
  app->add_option("--blue", a->blue, "blue balance, -50..50")->check(range);
}

void AddCommon(CLI::App* app, Common* c) {
  std::string methods;
  for (const vt::Method& m : vt::Methods()) methods += std::string(methods.empty() ? "" : "|") + m.name;
  app->add_option("--method", c->method, "halftone method: " + methods)
      ->check([](const std::string& v) {
        return vt::FindMethod(v) ? std::string() : "unknown method '" + v + "'";
      });
  app->add_option("--ink", c->ink, "color (four inks) or black (black ink only)")
      ->check(CLI::IsMember({"color", "colour", "black"}));
  app->add_option("--resolution", c->resolution, "dots per inch, XxY: 360x360, 720x720, 1440x720, 720x1440")
      ->check([](const std::string& v) {
        return vt::ParseResolution(v) ? std::string() : "'" + v + "' is not XxY dots per inch";
      });
  app->add_option("--paper", c->paper, "paper: plain or photo");
  app->add_option("--calibration", c->calibration,
                  "calibration levels 30..70: one for all inks or C,M,Y,K");
  AddAdjustments(app, &c->adjust);
}

Result<vt::JobOptions> MakeJob(const Common& c) {
  vt::JobOptions job;
  job.method = c.method;
  job.blackOnly = c.ink == "black";
  job.resolution = *vt::ParseResolution(c.resolution);
  job.paper = c.paper;
  job.adjust = c.adjust;
  if (!c.calibration.empty()) {
    std::vector<int> levels;
    size_t pos = 0;
    while (pos <= c.calibration.size()) {
      size_t comma = c.calibration.find(',', pos);
      std::string item = c.calibration.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
      char* end = nullptr;
      long v = std::strtol(item.c_str(), &end, 10);
      if (item.empty() || *end != 0) {
        return Status(RC_BAD_VALUE, "--calibration: '" + c.calibration + "' is not a list of levels");
      }
      if (v < 30 || v > 70) {
        return Status(RC_BAD_VALUE, "--calibration: level " + item + " is outside 30..70");
      }
      levels.push_back(static_cast<int>(v));
      if (comma == std::string::npos) break;
      pos = comma + 1;
    }
    job.calibration = levels;
  }
  return job;
}

vt::ImageWriter PngWriter() {
  return [](const std::string& path, const std::vector<uint8_t>& rgb, int w, int h) {
    return vt::WriteImage(path, rgb, w, h, 3);
  };
}

// ---- print ------------------------------------------------------------------------

int PrintCups(const std::string& input, const vt::JobOptions& base, const vantik::ResourceSet& set,
              const std::string& outDir, bool quiet) {
  vt::CupsRaster raster;
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
    vt::PrintRequest req;
    req.options = base;
    req.options.resolution = {raster.xdpi(), raster.ydpi()};
    req.geometry = {raster.width(), raster.height(), raster.width(), raster.height()};
    req.widthInches = double(raster.width()) / std::max(1, raster.xdpi());
    req.heightInches = double(raster.height()) / std::max(1, raster.ydpi());
    req.source = [&](int y, std::span<uint8_t> rgb) { return raster.Row(y, rgb); };
    req.outDir = outDir;
    req.stem = stem + "-p" + std::to_string(page);
    req.writeImage = PngWriter();
    req.progress = ProgressBar(quiet, "page " + std::to_string(page));
    vt::PrintResult result;
    s = vt::RunPrint(req, set, &result);
    if (!s.ok()) return Fail(s);
  }
}

int Print(const std::string& input, const Common& common, const std::string& resources,
          const std::string& outDir, const std::string& pageName, std::optional<double> dpi,
          bool quiet) {
  if (input != "-" && access(input.c_str(), R_OK) != 0) {
    return Fail(input + ": " + std::strerror(errno));
  }
  Result<vt::JobOptions> job = MakeJob(common);
  if (!job.ok()) return Fail(job.status());
  const bool raster = vt::IsCupsRaster(input);
  // The image is opened (header only) and placed before anything else, so
  // that its problems are reported first.
  std::optional<vt::PageSize> page = vt::ParsePage(pageName);
  std::optional<vips::VImage> image;
  Result<vt::Placement> place = Status(RC_FAILURE, "");
  if (!raster) {
    Result<vips::VImage> loaded = vt::LoadRgb(input);
    if (!loaded.ok()) return Fail(loaded.status());
    image = *loaded;
    place = vt::Place(*page, job->resolution, image->width(), image->height(), dpi);
    if (!place.ok()) return Fail(place.status());
  }
  Result<vantik::ResourceSet> set = vt::LoadResources(resources);
  if (!set.ok()) return Fail(set.status());
  Status s = EnsureDirectory(outDir);
  if (!s.ok()) return Fail(s);
  if (raster) return PrintCups(input, *job, *set, outDir, quiet);

  Result<vips::VImage> composed = vt::ComposePage(*image, place->pageWidth, place->pageHeight,
                                                  place->left, place->top, place->width,
                                                  place->height);
  if (!composed.ok()) return Fail(composed.status());
  vt::VipsRows rows(*composed, input);
  vt::PrintRequest req;
  req.options = *job;
  req.geometry = {place->pageWidth, place->pageHeight, place->pageWidth, place->pageHeight};
  req.widthInches = page->widthInches;
  req.heightInches = page->heightInches;
  req.source = [&](int y, std::span<uint8_t> rgb) { return rows.Row(y, rgb); };
  req.outDir = outDir;
  req.stem = Stem(input);
  req.writeImage = PngWriter();
  req.progress = ProgressBar(quiet, "printing");
  vt::PrintResult result;
  s = vt::RunPrint(req, *set, &result);
  if (!s.ok()) return Fail(s);
  if (!quiet) {
    for (const std::string& f : result.files) std::printf("%s\n", f.c_str());
  }
  return 0;
}

// Reads a whole (screen-sized) image into packed RGB.
Result<std::vector<uint8_t>> ReadAll(const std::string& input, int* w, int* h) {
  Result<vips::VImage> image = vt::LoadRgb(input);
  if (!image.ok()) return image.status();
  *w = image->width();
  *h = image->height();
  std::vector<uint8_t> rgb(size_t(*w) * *h * 3);
  vt::VipsRows rows(*image, input);
  for (int y = 0; y < *h; ++y) {
    Status s = rows.Row(y, std::span<uint8_t>(rgb).subspan(size_t(y) * *w * 3, size_t(*w) * 3));
    if (!s.ok()) return s;
  }
  return rgb;
}

// Writes through a temporary name in the same directory, then renames.
Status WriteAtomically(const std::string& out, const std::vector<uint8_t>& pixels, int w, int h,
                       int bands) {
  size_t slash = out.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : out.substr(0, slash);
  std::string name = slash == std::string::npos ? out : out.substr(slash + 1);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return Status(RC_FAILURE, out + ": the directory " + dir + " does not exist");
  }
  vt::OutputFiles files(dir);
  Status s = vt::WriteImage(files.Add(name), pixels, w, h, bands);
  if (!s.ok()) return Status(s.code(), out + ": cannot write the image");
  return files.Commit();
}

int PreviewCommand(const std::string& input, const std::string& out, const vantik::Adjustments& a,
                   double gamma, int sharpen) {
  vantik::PreviewSettings ps;
  ps.adjust = a;
  ps.gammaHundredths = static_cast<int>(std::lround(gamma * 100));
  ps.sharpen = sharpen;
  Result<vantik::Preview> preview = vantik::Preview::Create(ps);
  if (!preview.ok()) return Fail(preview.status().ToString());
  int w = 0, h = 0;
  Result<std::vector<uint8_t>> rgb = ReadAll(input, &w, &h);
  if (!rgb.ok()) return Fail(rgb.status());
  const size_t row = size_t(w) * 3;
  for (int y = 0; y < h; ++y) {
    std::span<uint8_t> line(rgb->data() + y * row, row);
    Status s = preview->Translate(line, line);
    if (!s.ok()) return Fail(s.ToString());
  }
  Status s = WriteAtomically(out, *rgb, w, h, 3);
  return s.ok() ? 0 : Fail(s);
}

int SeparateCommand(const std::string& input, const std::string& out, const Common& common,
                    const std::string& resources) {
  Result<vt::JobOptions> job = MakeJob(common);
  if (!job.ok()) return Fail(job.status());
  int w = 0, h = 0;
  Result<std::vector<uint8_t>> rgb = ReadAll(input, &w, &h);
  if (!rgb.ok()) return Fail(rgb.status());
  Result<vantik::ResourceSet> set = vt::LoadResources(resources);
  if (!set.ok()) return Fail(set.status());
  Result<vantik::ColorSettings> cs = vt::MakeColorSettings(*job, *set, static_cast<uint32_t>(w));
  if (!cs.ok()) return Fail(cs.status());
  Result<vantik::ColorMatcher> matcher = vantik::ColorMatcher::Create(*cs, *set);
  if (!matcher.ok()) return Fail(matcher.status());
  const int ch = matcher->channels();
  if (ch != 4 && ch != 1) return Fail("the colour table has " + std::to_string(ch) + " inks; separate writes 4 or 1");
  std::vector<uint8_t> inks(size_t(w) * h * ch);
  Status s = matcher->Translate(*rgb, inks);
  if (!s.ok()) return Fail(s.ToString());
  if (ch == 1) {
    // Black only: still a CMYK TIFF, with the colour inks empty.
    std::vector<uint8_t> cmyk(size_t(w) * h * 4, 0);
    for (size_t i = 0; i < inks.size(); ++i) cmyk[i * 4 + 3] = inks[i];
    inks.swap(cmyk);
  }
  s = WriteAtomically(out, inks, w, h, 4);
  return s.ok() ? 0 : Fail(s);
}

}  // namespace

int main(int argc, char** argv) {
  if (VIPS_INIT(argv[0])) return Fail("cannot start libvips");
  CLI::App app{"vantik: colour matching and halftoning for ink-jet printing"};
  app.require_subcommand(1);
  std::string resources;
  app.add_option("--resources", resources, "resource directory (default: built-in set)")
      ->check(CLI::ExistingDirectory);
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet, "no progress bar, no list of files");

  Common common;
  std::string input, out, pageName = "letter";
  std::optional<double> dpi;
  CLI::App* print = app.add_subcommand("print", "halftone an image or a CUPS raster into ink planes");
  print->add_option("input", input, "image file (PNG, JPEG, TIFF, PNM) or CUPS raster; - for standard input")
      ->required();
  print->add_option("-o,--output", out, "output directory")->required();
  print->add_option("--page", pageName, "page: letter, a4 or WxHin")
      ->check([](const std::string& v) {
        return vt::ParsePage(v) ? std::string() : "'" + v + "' is not letter, a4 or WxHin";
      });
  auto* fit = print->add_flag("--fit")->description("scale the image to fit the page (the default)");
  print->add_option("--dpi", dpi, "place the image at this many pixels per inch")
      ->check(CLI::Range(1.0, 10000.0))
      ->excludes(fit);
  AddCommon(print, &common);

  vantik::Adjustments previewAdjust;
  double gamma = 1.5;
  int sharpen = 0;
  std::string previewIn, previewOut;
  CLI::App* preview = app.add_subcommand("preview", "show the adjustments as a screen preview");
  preview->add_option("input", previewIn, "image file")->required();
  preview->add_option("-o,--output", previewOut, "output image (PNG)")->required();
  AddAdjustments(preview, &previewAdjust);
  preview->add_option("--gamma", gamma, "gamma 1.0..3.0 (1.5 leaves tones unchanged)")
      ->check(CLI::Range(1.0, 3.0));
  preview->add_option("--sharpen", sharpen, "edge sharpening 0..3")->check(CLI::Range(0, 3));

  Common sepCommon;
  std::string sepIn, sepOut;
  CLI::App* separate = app.add_subcommand("separate", "write the ink values as a CMYK TIFF");
  separate->add_option("input", sepIn, "image file")->required();
  separate->add_option("-o,--output", sepOut, "output TIFF")->required();
  AddCommon(separate, &sepCommon);

  std::string chartOut, chartSize = "1500x1000";
  CLI::App* chart = app.add_subcommand("chart", "draw the test chart");
  chart->add_option("-o,--output", chartOut, "output image (PNG)")->required();
  chart->add_option("--size", chartSize, "pixels, WxH")->check([](const std::string& v) {
    int w = 0, h = 0;
    char tail = 0;
    return std::sscanf(v.c_str(), "%dx%d%c", &w, &h, &tail) == 2 && w >= 64 && h >= 64 &&
                   w <= 20000 && h <= 20000
               ? std::string()
               : "'" + v + "' is not WxH (64..20000)";
  });

  CLI::App* res = app.add_subcommand("resources", "list, show or export the resource blocks");
  res->require_subcommand(1);
  CLI::App* list = res->add_subcommand("list", "one line per block");
  std::string showSpec, exportDir;
  CLI::App* show = res->add_subcommand("show", "decode one block");
  show->add_option("block", showSpec, "N, colour:N or halftone:N")->required();
  CLI::App* exportCmd = res->add_subcommand("export", "write the default blocks to a directory");
  exportCmd->add_option("dir", exportDir, "directory")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::fprintf(stderr, "vantik: %s\n", e.what());
    return 2;
  }

  int rc = 0;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  if (*print) {
    rc = Print(input, common, resources, out, pageName, dpi, quiet);
  } else if (*preview) {
    rc = PreviewCommand(previewIn, previewOut, previewAdjust, gamma, sharpen);
  } else if (*separate) {
    rc = SeparateCommand(sepIn, sepOut, sepCommon, resources);
  } else if (*chart) {
    int w = 0, h = 0;
    std::sscanf(chartSize.c_str(), "%dx%d", &w, &h);
    Status s = WriteAtomically(chartOut, vt::DrawChart(w, h), w, h, 3);
    rc = s.ok() ? 0 : Fail(s);
  } else if (*list) {
    Result<std::string> text = vt::ListResources(resources);
    rc = text.ok() ? (std::fputs(text->c_str(), stdout), 0) : Fail(text.status());
  } else if (*show) {
    Result<std::string> text = vt::ShowResource(resources, showSpec);
    rc = text.ok() ? (std::fputs(text->c_str(), stdout), 0) : Fail(text.status());
  } else if (*exportCmd) {
    Status s = vt::ExportResources(exportDir);
    rc = s.ok() ? 0 : Fail(s);
  }
  vips_shutdown();
  return rc;
}
