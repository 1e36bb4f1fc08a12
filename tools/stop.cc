#include "stop.h"

#include <signal.h>

#include <csignal>
#include <cstdio>

namespace vantik::tool {

namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void OnStopSignal(int sig) {
  if (gSignal == 0) gSignal = sig;
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction sa = {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

int StopSignal() { return gSignal; }

Status CheckStop() {
  if (gSignal == 0) return Status::Ok();
  return Status(RC_FAILURE, std::string("stopped by ") + SignalName(gSignal) +
                                "; the unfinished page was removed");
}

void ExitIfStopped() {
  const int sig = gSignal;
  if (sig == 0) return;
  std::fflush(nullptr);
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace vantik::tool
