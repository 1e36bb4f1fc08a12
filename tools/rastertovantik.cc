// rastertovantik: the print-queue filter.  Reads CUPS raster (from the file
// argument or standard input), colour-matches and halftones every page with
// the job's options and the queue's PPD, and writes CUPS raster pages of
// 1-bit dot planes on standard output for the printer's own back-end filter.
//
//   rastertovantik job-id user title copies options [file]
//
// Messages go to standard error as INFO:, WARNING:, ERROR:, PAGE: and ATTR:
// lines.  SIGTERM (a cancelled job) stops at the next line: the page in hand
// is dropped, the pages already written stay whole.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "raster_filter.h"

namespace {

std::atomic<bool> g_cancel{false};

void OnTerm(int) { g_cancel = true; }

struct PpdCloser {
  void operator()(ppd_file_t* p) const { ppdClose(p); }
};

}  // namespace

int main(int argc, char** argv) {
  namespace vf = vantik::filter;
  vf::Messages messages;
  setbuf(stderr, nullptr);
  if (argc < 6 || argc > 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n",
                 argc > 0 ? argv[0] : "rastertovantik");
    return 1;
  }

  struct sigaction action = {};
  action.sa_handler = OnTerm;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  // A back-end that goes away must not kill the filter silently: a failed
  // write is reported instead.
  signal(SIGPIPE, SIG_IGN);

  int inputFd = 0;
  if (argc == 7) {
    inputFd = open(argv[6], O_RDONLY);
    if (inputFd < 0) {
      messages.Error(std::string("Unable to open the raster file ") + argv[6] + ": " +
                     std::strerror(errno));
      return 1;
    }
  }

  std::unique_ptr<ppd_file_t, PpdCloser> ppd;
  if (const char* path = getenv("PPD"); path != nullptr && *path) {
    ppd.reset(ppdOpenFile(path));
    if (!ppd) {
      int line = 0;
      ppd_status_t st = ppdLastError(&line);
      messages.Error(std::string("Unable to open the PPD ") + path + ": " + ppdErrorString(st) +
                     " on line " + std::to_string(line));
      return 1;
    }
  }

  vantik::Result<vf::FilterSettings> settings = vf::SettingsFromOptions(argv[5], ppd.get());
  if (!settings.ok()) {
    messages.Error(settings.status().message());
    return 1;
  }
  messages.Attr(settings->job.blackOnly
                    ? "marker-names=Black marker-colors=#000000 marker-types=ink-cartridge"
                    : "marker-names=Cyan,Magenta,Yellow,Black "
                      "marker-colors=#00FFFF,#FF00FF,#FFFF00,#000000 "
                      "marker-types=ink-cartridge,ink-cartridge,ink-cartridge,ink-cartridge");

  vf::FilterResult result;
  vantik::Status s = vf::RunFilter(inputFd, 1, *settings, g_cancel, messages, &result);
  if (inputFd != 0) close(inputFd);
  if (!s.ok()) {
    messages.Error(s.message());
    return 1;
  }
  if (result.cancelled) {
    messages.Info("Job cancelled after " + std::to_string(result.pages) + " page(s)");
    return 0;
  }
  messages.Info("Printed " + std::to_string(result.pages) + " page(s)");
  return 0;
}
