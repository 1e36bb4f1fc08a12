#include "print_run.h"

#include <chrono>
#include <memory>

#include "outputs.h"
#include "vantik/default_resources.h"

namespace vantik::tool {

std::optional<printmodel::ScreenRule> ScreenRuleOfMethod(const std::string& method) {
  const Method* m = FindMethod(method);
  if (m == nullptr || m->kind != 2) return std::nullopt;
  switch (m->selector) {
    case resources::kSelectorBlueNoise:
      return printmodel::ScreenRule::kBlackFirstInkLimited;
    case resources::kSelectorClustered:
      return printmodel::ScreenRule::kBlackFirst;
    case resources::kSelectorStacked:
      return printmodel::ScreenRule::kStacked;
    default:
      return std::nullopt;
  }
}

Result<const printmodel::PrintModel*> ChoosePrintModel(
    const std::string& arg, std::unique_ptr<printmodel::PrintModel>* owned) {
  if (arg.empty()) return &printmodel::PrintModel::Default();
  if (arg == "ideal") return static_cast<const printmodel::PrintModel*>(nullptr);
  Result<printmodel::MeasurementSet> set = printmodel::LoadMeasurements(arg);
  if (!set.ok()) return Status(set.status().code(), "--model " + set.status().message());
  Result<printmodel::PrintModel> model = printmodel::PrintModel::Fit(*set);
  if (!model.ok()) return Status(model.status().code(), "--model " + model.status().message());
  *owned = std::make_unique<printmodel::PrintModel>(std::move(*model));
  return static_cast<const printmodel::PrintModel*>(owned->get());
}

Status RunPrint(const PrintRequest& request, const ResourceSet& resources,
                PrintResult* result) {
  const auto start = std::chrono::steady_clock::now();
  const PageGeometry& g = request.geometry;
  Result<ColorSettings> settings =
      MakeColorSettings(request.options, resources, static_cast<uint32_t>(g.width));
  if (!settings.ok()) return settings.status();
  Result<ColorMatcher> matcher = ColorMatcher::Create(*settings, resources);
  if (!matcher.ok()) return matcher.status();
  Result<Halftoner> halftoner = Halftoner::Create(*matcher, resources);
  if (!halftoner.ok()) return halftoner.status();

  const int planes = halftoner->planes();
  result->inks = PlaneNames(planes);
  int sw = 0, sh = 0;
  ScreenSize(request.widthInches, request.heightInches, request.screenLongest, &sw, &sh);
  sw = std::min(sw, g.width);
  sh = std::min(sh, g.height);
  PrintSimulator simulator(g.width, g.height, sw, sh, result->inks, request.model);

  const bool files = !request.outDir.empty();
  OutputFiles out(request.outDir);
  std::vector<std::unique_ptr<PbmWriter>> pbm;
  std::vector<std::unique_ptr<TiffPlaneWriter>> tif;
  if (files) {
    for (const std::string& ink : result->inks) {
      if (request.pbm) {
        auto p = std::make_unique<PbmWriter>();
        Status s = p->Open(out.Add(request.stem + "-" + ink + ".pbm"), g.width, g.height);
        if (!s.ok()) return s;
        pbm.push_back(std::move(p));
      }
      if (request.tiff) {
        auto t = std::make_unique<TiffPlaneWriter>();
        Status s = t->Open(out.Add(request.stem + "-" + ink + ".tif"), g.width, g.height,
                           request.options.resolution.x, request.options.resolution.y,
                           TiffCompressionFor(request.options.method));
        if (!s.ok()) return s;
        tif.push_back(std::move(t));
      }
    }
  }
  PlaneSink sink = [&](int y, std::span<const std::span<const uint8_t>> rows) -> Status {
    for (size_t k = 0; k < pbm.size(); ++k) {
      Status s = pbm[k]->Row(rows[k]);
      if (!s.ok()) return s;
    }
    for (size_t k = 0; k < tif.size(); ++k) {
      Status s = tif[k]->Row(rows[k]);
      if (!s.ok()) return s;
    }
    if (request.simulate) simulator.Row(y, rows);
    if (request.tap) return request.tap(y, rows);
    return Status::Ok();
  };
  PageOptions pageOptions;
  pageOptions.threads = request.threads;
  pageOptions.times = &result->stages;
  Status s = RenderPage(*halftoner, g, request.source, sink, request.progress, pageOptions);
  if (!s.ok()) return s;
  // Closing the plane files, finishing the simulated print and writing its
  // image count as output time too, so that the stage times show what the
  // outputs cost in all.
  const auto outputsStart = std::chrono::steady_clock::now();
  for (auto& p : pbm) {
    s = p->Close();
    if (!s.ok()) return s;
  }
  for (auto& t : tif) {
    s = t->Close();
    if (!s.ok()) return s;
  }
  if (request.simulate) {
    result->simulated = simulator.Image();
    result->simulatedWidth = simulator.width();
    result->simulatedHeight = simulator.height();
  }
  if (files) {
    if (request.writeImage && request.simulate) {
      s = request.writeImage(out.Add(request.stem + "-print.png"), result->simulated,
                             result->simulatedWidth, result->simulatedHeight);
      if (!s.ok()) return s;
    }
    s = out.Commit();
    if (!s.ok()) return s;
    result->files = out.finals();
  }
  result->stages.sink +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - outputsStart).count();
  result->seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return Status::Ok();
}

}  // namespace vantik::tool
