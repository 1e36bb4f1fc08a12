// The print-queue filter's option string, as CUPS hands it to the filter:
// libcups splits it into options, the queue's PPD marks them over its
// defaults, the filter reads its settings from both, and a job that reads
// is turned into the library's colour settings against the default
// resources.  Every input runs without a PPD and with the queue's own PPD
// (when the build made one).  A value must be taken or refused with a
// message naming the option; nothing may crash, read past a string or leak.
#include <cups/ppd.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "job.h"
#include "raster_filter.h"
#include "vantik/default_resources.h"

// libcups keeps a few bytes of the options cupsMarkOptions adds while
// marking a PPD; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libcups.so\n"; }

namespace {

ppd_file_t* QueuePpd() {
#ifdef VANTIK_FUZZ_PPD
  ppd_file_t* ppd = ppdOpenFile(VANTIK_FUZZ_PPD);
  if (ppd == nullptr) std::abort();  // the build made it: it must open
  return ppd;
#else
  return nullptr;
#endif
}

// The settings a job reads into, as text: jobs that read alike meet the
// colour settings once.
std::string KeyOf(const vantik::tool::JobOptions& j) {
  std::string key = j.method + '|' + j.paper + '|' + std::to_string(j.blackOnly) + '|' +
                    std::to_string(j.resolution.x) + 'x' + std::to_string(j.resolution.y);
  for (int v : {j.adjust.brightness, j.adjust.contrast, j.adjust.saturation, j.adjust.red,
                j.adjust.green, j.adjust.blue, j.gammaHundredths}) {
    key += ',' + std::to_string(v);
  }
  if (j.calibration) {
    for (int v : *j.calibration) key += ';' + std::to_string(v);
  }
  return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ppd_file_t* const ppd = QueuePpd();
  static const vantik::ResourceSet resources = [] {
    vantik::ResourceSet set;
    for (const auto& b : vantik::resources::Defaults()) set.AddView(b.service, b.number, b.bytes);
    return set;
  }();
  // Turning a job into colour settings reads the default colour-table
  // index (most of an input's time), so each distinct job meets it once.
  static std::set<std::string> seen;
  // An argument cannot hold a NUL: the string ends at the first one.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string option = text.substr(0, text.find('\0'));

  vantik::Result<vantik::filter::FilterSettings> last =
      vantik::Status(RC_FAILURE, "not read");
  for (ppd_file_t* queue : {static_cast<ppd_file_t*>(nullptr), ppd}) {
    last = vantik::filter::SettingsFromOptions(option.c_str(), queue);
    // A refusal says why.
    if (!last.ok() && last.status().message().empty()) std::abort();
    if (ppd == nullptr) break;
  }
  if (!last.ok()) return 0;
  vantik::tool::JobOptions job = last->job;
  if (!last->resolutionChosen) job.resolution = {720, 720};
  if (seen.size() > 200000) seen.clear();
  if (!seen.insert(KeyOf(job)).second) return 0;
  vantik::Result<vantik::ColorSettings> colour = vantik::tool::MakeColorSettings(job, resources, 64);
  if (!colour.ok() && colour.status().message().empty()) std::abort();
  return 0;
}
