// vantik: prints images through the colour and halftone library.  The
// commands register themselves (cmd_*.cc); main parses the command line
// and runs the one that was named.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <vips/vips8>

#include "command.h"
#include "stop.h"

namespace vt = vantik::tool;

int main(int argc, char** argv) {
  if (VIPS_INIT(argv[0])) return vt::Fail("cannot start libvips");
  CLI::App app{"vantik: colour matching and halftoning for ink-jet printing"};
  app.set_version_flag("--version", std::string("vantik ") + VANTIK_VERSION);
  app.require_subcommand(1);
  // Options of the whole tool are also accepted after the command's name.
  app.fallthrough();
  vt::Globals globals;
  vt::AddOption(&app, "--resources", &globals.resources)->check(CLI::ExistingDirectory);
  vt::AddFlag(&app, "--quiet", &globals.quiet);
  vt::AddFlag(&app, "--verbose", &globals.verbose);
  vt::AddOption(&app, "--max-pixels", &globals.maxPixels);

  std::vector<std::pair<CLI::App*, vt::CommandRun>> runs;
  for (const vt::CommandInfo& c : vt::Commands()) {
    CLI::App* sub = app.add_subcommand(c.name, c.description);
    runs.emplace_back(sub, c.setup(sub, globals));
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::fprintf(stderr, "vantik: %s\n", e.what());
    return 2;
  }
  if (!globals.verbose) {
    // Codec warnings would bury the one line that says what is wrong; a
    // damaged image fails its read instead.
    for (const char* domain : {"VIPS", "GLib", "GLib-GObject"}) {
      g_log_set_handler(domain, GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
                        [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    }
  }
  vt::InstallStopHandlers();
  int rc = 0;
  for (auto& [sub, run] : runs) {
    if (*sub) rc = run();
  }
  vips_shutdown();
  vt::ExitIfStopped();
  return rc;
}
