// Stopping on SIGTERM, SIGINT and SIGHUP: the handler only records the
// signal; the page loops see it at the next line, fail, and the output files
// of the unfinished page are removed as for any other failure.  A print
// queue cancels jobs with SIGTERM.
#pragma once

#include "vantik/vantik.hpp"

namespace vantik::tool {

// Installs the handlers (without SA_RESTART, so that a blocking read of
// standard input returns).
void InstallStopHandlers();
// The signal received, or 0.
int StopSignal();
// A failed Status when a signal was received, Ok otherwise.
Status CheckStop();
// After the command has cleaned up: ends the process by the same signal
// (the conventional exit status) when one was received.
void ExitIfStopped();

}  // namespace vantik::tool
