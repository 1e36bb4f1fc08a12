// The filter inside the real print system.
//   Chain: cupsfilter with the PPD turns a PDF into the filter's output; its
//   planes are the bits `vantik print` gives on the same raster.
//   Queue: a cupsd of the test's own (temporary configuration, spool and
//   log folders, a free loopback port, a file device) prints a two-page PDF
//   sent with lp, cancels a second job mid-way and stays healthy.
// Both need CUPS, the cups filters and Ghostscript (scripts/setup.sh
// installs them); without them they are skipped.
#include <arpa/inet.h>
#include <cups/cups.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "queue_support.h"

namespace vantik::queuetest {
namespace {

#if defined(VANTIK_FILTER_PATH) && defined(VANTIK_PPD_PATH)

// Two letter pages: colour squares, a gray ramp and text.
constexpr const char* kTwoPages = R"(%!PS
<< /PageSize [612 792] >> setpagedevice
/Helvetica findfont 36 scalefont setfont
1 0 0 setrgbcolor 72 480 200 200 rectfill
0 0 1 setrgbcolor 320 480 200 200 rectfill
0 1 9 { dup 0.1 mul setgray 50 mul 72 add 300 50 100 rectfill } for
0 setgray 72 700 moveto (Page one) show showpage
0 0.6 0.2 setrgbcolor 100 100 300 300 rectfill
1 1 0 setrgbcolor 200 450 250 150 rectfill
0 setgray 72 700 moveto (Page two) show showpage
)";

// `pages` full pages of dense colour: slow enough to cancel mid-way.
std::string DensePages(int pages) {
  std::string ps = "%!PS\n<< /PageSize [612 792] >> setpagedevice\n";
  for (int i = 0; i < pages; ++i) {
    ps += "0 1 99 { dup 0.01 mul 0.5 ";
    ps += std::to_string(i % 2);
    ps += " setrgbcolor 7.92 mul 0 exch 612 7.92 rectfill } for showpage\n";
  }
  return ps;
}

bool HavePrintSystem(std::string* missing) {
  for (const char* p : {"cupsd", "cupsfilter", "lp", "lpadmin", "cancel", "gs"}) {
    if (FindProgram(p).empty()) {
      *missing = p;
      return false;
    }
  }
  if (::access("/usr/lib/cups/filter/gstoraster", X_OK) != 0 &&
      ::access("/usr/lib/cups/filter/pdftoraster", X_OK) != 0) {
    *missing = "the cups filters (gstoraster)";
    return false;
  }
  return true;
}

// A CUPS server folder: the system's filters and back-ends, and this build's
// filter; the filter's output type.
class CupsFolder {
 public:
  explicit CupsFolder(const std::string& tag) : dir_(tag) {
    fs::create_directories(dir_.path() / "sb" / "filter");
    for (const auto& e : fs::directory_iterator("/usr/lib/cups/filter")) {
      // An installed vantik's filter gives way to this build's.
      if (e.path().filename() == "rastertovantik") continue;
      fs::create_symlink(e.path(), dir_.path() / "sb" / "filter" / e.path().filename());
    }
    for (const char* sub : {"backend", "notifier", "daemon", "monitor", "cgi-bin"}) {
      if (fs::exists(fs::path("/usr/lib/cups") / sub)) {
        fs::create_directory_symlink(fs::path("/usr/lib/cups") / sub, dir_.path() / "sb" / sub);
      }
    }
    // CUPS runs only filters that root owns and nobody else may change.
    const fs::path filter = dir_.path() / "sb" / "filter" / "rastertovantik";
    fs::copy_file(VANTIK_FILTER_PATH, filter);
    fs::permissions(filter, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file(VANTIK_MIME_TYPES, dir_.path() / "vantik.types");
    fs::copy_file(VANTIK_PPD_PATH, dir_.path() / "vantik.ppd");
  }
  const TempDir& dir() const { return dir_; }
  std::string operator/(const std::string& name) const { return dir_ / name; }

  // A PDF from PostScript, through Ghostscript.
  std::string Pdf(const std::string& name, const std::string& ps) const {
    { std::ofstream(dir_ / (name + ".ps")) << ps; }
    const std::string pdf = dir_ / (name + ".pdf");
    int rc = RunCommand({"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                  "-sOutputFile=" + pdf, dir_ / (name + ".ps")});
    EXPECT_EQ(rc, 0) << "gs could not make " << pdf;
    return pdf;
  }

 private:
  TempDir dir_;
};

// The whole chain of the queue (the cups filters, then rastertovantik)
// prints what the tool prints from the same raster, with the job's options
// (the contrast, and pure black on the second run) reaching both.
TEST(CupsChain, PlanesEqualTheTools) {
  std::string missing;
  if (!HavePrintSystem(&missing)) GTEST_SKIP() << missing << " is not installed";
  CupsFolder cups("chain");
  { std::ofstream(cups / "cups-files.conf") << "ServerBin " << (cups / "sb") << "\nDataDir /usr/share/cups\n"; }
  const std::string pdf = cups.Pdf("doc", kTwoPages);
  auto filter = [&](const std::string& mime, const std::string& out, const std::string& pure) {
    return RunCommand({"cupsfilter", "-e", "-c", cups / "cups-files.conf", "-p", cups / "vantik.ppd",
                "-m", mime, "-o", "Resolution=360dpi", "-o", "VantikContrast=10", "-o",
                "VantikPureBlack=" + pure, pdf},
               "/dev/null", out, cups / (mime.substr(mime.find('/') + 1) + ".log"));
  };
  // The raster the cups filters make.
  ASSERT_EQ(filter("application/vnd.cups-raster", cups / "in.ras", "False"), 0)
      << Slurp(cups / "vnd.cups-raster.log");
  for (bool pure : {false, true}) {
    SCOPED_TRACE(pure ? "pure black" : "rich black");
    // The whole chain's output.
    ASSERT_EQ(filter("printer/vantik", cups / "out.ras", pure ? "True" : "False"), 0)
        << Slurp(cups / "vantik.log");
    const std::string log = Slurp(cups / "vantik.log");
    EXPECT_TRUE(Contains(log, "rastertovantik")) << log;

    bool truncated = true;
    std::vector<DotPage> pages = ReadDotPages(cups / "out.ras", &truncated);
    EXPECT_FALSE(truncated);
    ASSERT_EQ(pages.size(), 2u);

    // The tool on the same raster, with the same options.
    fs::remove_all(cups.dir().path() / "tool");
    fs::create_directories(cups.dir().path() / "tool");
    std::vector<std::string> args = {VANTIK_TOOL_PATH, "-q", "print", cups / "in.ras", "-o",
                                     cups / "tool", "--contrast", "10"};
    if (pure) args.push_back("--pure-black");
    ASSERT_EQ(RunCommand(args, "/dev/null", "", cups / "tool.log", {"ASAN_OPTIONS=detect_leaks=0"}),
              0)
        << Slurp(cups / "tool.log");
    const char* inks[] = {"black", "cyan", "magenta", "yellow"};  // KCMY, the PPD's order
    for (size_t p = 0; p < pages.size(); ++p) {
      const cups_page_header2_t& h = pages[p].header;
      EXPECT_EQ(h.HWResolution[0], 360u);
      EXPECT_EQ(h.cupsColorSpace, CUPS_CSPACE_KCMY);
      EXPECT_EQ(h.cupsColorOrder, CUPS_ORDER_PLANAR);
      ASSERT_EQ(pages[p].planes.size(), 4u);
      for (int k = 0; k < 4; ++k) {
        int w = 0, hgt = 0;
        const std::string pbm = cups / ("tool/in-p" + std::to_string(p + 1) + "-" + inks[k] + ".pbm");
        std::vector<uint8_t> tool = ReadPbm(pbm, &w, &hgt);
        ASSERT_EQ(w, int(h.cupsWidth)) << pbm;
        ASSERT_EQ(hgt, int(h.cupsHeight)) << pbm;
        EXPECT_TRUE(tool == pages[p].planes[k]) << "page " << p + 1 << ", " << inks[k];
      }
    }
  }
}

// ---- A cupsd of the test's own --------------------------------------------------

int FreeLoopbackPort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(s);
  return port;
}

class Cupsd {
 public:
  explicit Cupsd(const CupsFolder& cups) : cups_(cups) {
    port_ = FreeLoopbackPort();
    server_ = "127.0.0.1:" + std::to_string(port_);
    for (const char* d : {"spool", "spool/tmp", "cache", "state", "log", "out"}) {
      fs::create_directories(cups.dir().path() / d);
    }
    fs::permissions(cups.dir().path() / "spool/tmp", fs::perms::all | fs::perms::sticky_bit);
    fs::permissions(cups.dir().path() / "out", fs::perms::all);
    std::ofstream(cups / "cupsd.conf") << "Listen " << server_ << "\n"
                                       << "LogLevel debug\nBrowsing Off\nWebInterface No\n"
                                          "DefaultAuthType None\nMaxJobs 20\n"
                                          "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                          "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                          "  </Limit>\n</Policy>\n";
    std::ofstream(cups / "lsan.supp") << "leak:libcups.so\n";
    std::ofstream files(cups / "cups-files.conf");
    files << "ServerRoot " << cups.dir().path().string() << "\n"
          << "ServerBin " << (cups / "sb") << "\nDataDir /usr/share/cups\n"
          << "RequestRoot " << (cups / "spool") << "\nTempDir " << (cups / "spool/tmp") << "\n"
          << "CacheDir " << (cups / "cache") << "\nStateDir " << (cups / "state") << "\n"
          << "AccessLog " << (cups / "log/access_log") << "\nErrorLog " << (cups / "log/error_log")
          << "\nPageLog " << (cups / "log/page_log") << "\nPrintcap " << (cups / "printcap")
          << "\nFileDevice Yes\n"
          // Under the sanitizers: libcups keeps a few bytes of the options
          // cupsMarkOptions adds.
          << "SetEnv LSAN_OPTIONS suppressions=" << (cups / "lsan.supp") << "\n";
    files.close();
    daemon_ = Start({"cupsd", "-f", "-c", cups / "cupsd.conf", "-s", cups / "cups-files.conf"},
                    "/dev/null", cups / "cupsd.out", cups / "cupsd.err");
    for (int i = 0; i < 200 && !Up(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~Cupsd() {
    if (daemon_.pid > 0) {
      ::kill(daemon_.pid, SIGTERM);
      Wait(daemon_, std::chrono::seconds(20));
    }
  }
  bool Up() const {
    http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                1000, nullptr);
    if (http == nullptr) return false;
    httpClose(http);
    return true;
  }
  bool Alive() const { return daemon_.pid > 0 && ::kill(daemon_.pid, 0) == 0 && ::waitpid(daemon_.pid, nullptr, WNOHANG) == 0; }
  const std::string& server() const { return server_; }

  // A client command against this server; its standard output.
  int Client(std::vector<std::string> argv, std::string* out = nullptr) const {
    argv.insert(argv.begin() + 1, {"-h", server_});
    const std::string o = cups_ / "client.out";
    int rc = RunCommand(argv, "/dev/null", o, cups_ / "client.err");
    if (out) *out = Slurp(o) + Slurp(cups_ / "client.err");
    return rc;
  }

  // Sends a file with lp; the job's id, or 0.
  int Submit(const std::string& queue, const std::vector<std::string>& options,
             const std::string& file) const {
    std::vector<std::string> argv = {"lp", "-d", queue};
    for (const std::string& o : options) argv.insert(argv.end(), {"-o", o});
    argv.push_back(file);
    std::string out;
    if (Client(argv, &out) != 0) {
      ADD_FAILURE() << out;
      return 0;
    }
    size_t dash = out.find(queue + "-");
    return dash == std::string::npos ? 0 : std::atoi(out.c_str() + dash + queue.size() + 1);
  }

  // The job's state (IPP_JSTATE_*), or 0 when unknown.
  int JobState(int id) const {
    http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                5000, nullptr);
    if (http == nullptr) return 0;
    cups_job_t* jobs = nullptr;
    int n = cupsGetJobs2(http, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    int state = 0;
    for (int i = 0; i < n; ++i) {
      if (jobs[i].id == id) state = jobs[i].state;
    }
    cupsFreeJobs(n, jobs);
    httpClose(http);
    return state;
  }

  // Waits until the job's state is one of `states`.
  int WaitJob(int id, std::initializer_list<int> states, int seconds) const {
    int state = 0;
    for (int i = 0; i < seconds * 20; ++i) {
      state = JobState(id);
      for (int s : states) {
        if (state == s) return state;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return state;
  }

  std::string ErrorLog() const { return Slurp(cups_ / "log/error_log"); }

 private:
  const CupsFolder& cups_;
  int port_ = 0;
  std::string server_;
  Spawned daemon_;
};

// The lines of the error log about one job.
std::string JobLines(const std::string& log, int id) {
  const std::string tag = "[Job " + std::to_string(id) + "]";
  std::string out;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (Contains(line, tag)) out += line + "\n";
  }
  return out;
}

TEST(CupsQueue, PrintsThroughTheFilterAndSurvivesACancel) {
  std::string missing;
  if (!HavePrintSystem(&missing)) GTEST_SKIP() << missing << " is not installed";
  if (::geteuid() != 0) GTEST_SKIP() << "cupsd runs its filters as another user only as root";
  CupsFolder cups("queue");
  Cupsd cupsd(cups);
  ASSERT_TRUE(cupsd.Up()) << Slurp(cups / "cupsd.err") << Slurp(cups / "log/error_log");

  const std::string out = cups / "out/inkjet.ras";
  ASSERT_EQ(cupsd.Client({"lpadmin", "-p", "inkjet", "-E", "-v", "file://" + out, "-P",
                          cups / "vantik.ppd"}),
            0);

  // Two pages with two job options.
  const int job = cupsd.Submit("inkjet", {"Resolution=360dpi", "VantikSaturation=10"},
                               cups.Pdf("two", kTwoPages));
  ASSERT_GT(job, 0);
  const int done = cupsd.WaitJob(job, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED,
                                       IPP_JSTATE_CANCELED, IPP_JSTATE_STOPPED}, 180);
  ASSERT_EQ(done, IPP_JSTATE_COMPLETED) << JobLines(cupsd.ErrorLog(), job);
  bool truncated = true;
  std::vector<DotPage> pages = ReadDotPages(out, &truncated);
  EXPECT_FALSE(truncated);
  ASSERT_EQ(pages.size(), 2u) << JobLines(cupsd.ErrorLog(), job);
  for (const DotPage& p : pages) {
    EXPECT_EQ(p.header.HWResolution[0], 360u);
    EXPECT_EQ(p.header.HWResolution[1], 360u);
    EXPECT_EQ(p.header.cupsBitsPerColor, 1u);
    EXPECT_EQ(p.header.cupsColorSpace, CUPS_CSPACE_KCMY);
    ASSERT_EQ(p.planes.size(), 4u);
    // Plausible ink: some of every colour ink these pages need, far from a
    // flooded page.
    const double area = double(p.header.cupsWidth) * p.header.cupsHeight;
    double total = 0;
    for (int k = 0; k < 4; ++k) total += double(p.Dots(k)) / area;
    EXPECT_GT(total, 0.02);
    EXPECT_LT(total, 1.0);
    EXPECT_GT(p.Dots(2), 0u);  // magenta
    EXPECT_GT(p.Dots(3), 0u);  // yellow
  }
  const std::string lines = JobLines(cupsd.ErrorLog(), job);
  EXPECT_TRUE(Contains(lines, "PAGE: 2 1")) << lines;

  // A long job, cancelled while the filter works on it.
  const int slow = cupsd.Submit("inkjet", {"Resolution=1440x720dpi"}, cups.Pdf("dense", DensePages(6)));
  ASSERT_GT(slow, 0);
  for (int i = 0; i < 1200; ++i) {
    if (Contains(JobLines(cupsd.ErrorLog(), slow), "Printing page 1")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(Contains(JobLines(cupsd.ErrorLog(), slow), "Printing page 1"))
      << JobLines(cupsd.ErrorLog(), slow);
  std::string said;
  ASSERT_EQ(cupsd.Client({"cancel", std::to_string(slow)}, &said), 0) << said;
  EXPECT_EQ(cupsd.WaitJob(slow, {IPP_JSTATE_CANCELED, IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED}, 60),
            IPP_JSTATE_CANCELED);
  const std::string cancelled = JobLines(cupsd.ErrorLog(), slow);
  EXPECT_FALSE(Contains(cancelled, "crashed")) << cancelled;
  // cupsd stops reading a cancelled job's messages early, so the filter's
  // own "Job cancelled" line may or may not reach the log (the filter's
  // tests check it); a crash would.

  // The queue stays healthy: the server runs, the printer takes the next job.
  EXPECT_TRUE(cupsd.Alive());
  std::string status;
  ASSERT_EQ(cupsd.Client({"lpstat", "-p", "inkjet"}, &status), 0);
  EXPECT_TRUE(Contains(status, "enabled")) << status;
  const int after = cupsd.Submit("inkjet", {"Resolution=360dpi", "ColorModel=Gray"},
                                 cups.Pdf("again", kTwoPages));
  ASSERT_GT(after, 0);
  ASSERT_EQ(cupsd.WaitJob(after, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_STOPPED}, 180),
            IPP_JSTATE_COMPLETED)
      << JobLines(cupsd.ErrorLog(), after);
  pages = ReadDotPages(out, &truncated);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].header.cupsColorSpace, CUPS_CSPACE_K);
}

#endif  // VANTIK_FILTER_PATH && VANTIK_PPD_PATH

}  // namespace
}  // namespace vantik::queuetest
