// Helpers of the print-queue tests: temporary folders, child processes,
// CUPS raster streams written and read back, PBM planes.
#pragma once

#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vantik::queuetest {

namespace fs = std::filesystem;

// A folder under the system's temporary folder, removed at the end.  It is
// world-readable: CUPS runs filters as its own user, which must reach it.
class TempDir {
 public:
  explicit TempDir(const std::string& tag) {
    std::string pattern = (fs::temp_directory_path() / ("vantik-" + tag + "-XXXXXX")).string();
    path_ = ::mkdtemp(pattern.data());
    ::chmod(path_.c_str(), 0755);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline bool Contains(const std::string& text, const std::string& needle) {
  return text.find(needle) != std::string::npos;
}

// A program on the PATH (or a full path), or an empty string.
inline std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string dirs = std::string(path ? path : "") + ":/usr/sbin:/sbin";
  size_t pos = 0;
  while (pos <= dirs.size()) {
    size_t colon = dirs.find(':', pos);
    std::string dir = dirs.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
    if (!dir.empty()) {
      std::string full = dir + "/" + name;
      if (::access(full.c_str(), X_OK) == 0) return full;
    }
    if (colon == std::string::npos) break;
    pos = colon + 1;
  }
  return "";
}

struct Spawned {
  pid_t pid = -1;
};

// Starts argv[0] with standard input, output and error from/to files
// ("" keeps the test's own).  `env` entries ("NAME=value") are added.
inline Spawned Start(const std::vector<std::string>& argv, const std::string& in,
                     const std::string& out, const std::string& err,
                     const std::vector<std::string>& env = {}) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!in.empty()) posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
  if (!out.empty()) {
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (!err.empty()) {
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  std::vector<std::string> envs;
  for (char** e = environ; *e; ++e) envs.emplace_back(*e);
  envs.insert(envs.end(), env.begin(), env.end());
  std::vector<char*> cargv, cenv;
  for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  for (const std::string& e : envs) cenv.push_back(const_cast<char*>(e.c_str()));
  cenv.push_back(nullptr);
  Spawned s;
  if (posix_spawnp(&s.pid, cargv[0], &fa, nullptr, cargv.data(), cenv.data()) != 0) s.pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return s;
}

// Waits for the child; its exit status, or 128 + signal.  -1 on timeout
// (the child is then killed).
inline int Wait(Spawned s, std::chrono::seconds limit = std::chrono::seconds(300)) {
  if (s.pid < 0) return -1;
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    pid_t r = ::waitpid(s.pid, &status, WNOHANG);
    if (r == s.pid) break;
    if (std::chrono::steady_clock::now() > end) {
      ::kill(s.pid, SIGKILL);
      ::waitpid(s.pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

inline int RunCommand(const std::vector<std::string>& argv, const std::string& in = "/dev/null",
               const std::string& out = "", const std::string& err = "",
               const std::vector<std::string>& env = {}) {
  return Wait(Start(argv, in, out, err, env));
}

// ---- CUPS raster ----------------------------------------------------------

// One input page: 8-bit RGB (or W gray) at `dpi`, pixel (x, y) from `pixel`.
struct InputPage {
  int width = 0, height = 0, xdpi = 360, ydpi = 360;
  cups_cspace_t space = CUPS_CSPACE_RGB;
  std::function<void(int x, int y, uint8_t* rgb)> pixel;
};

// The header gstoraster would write for such a page.
inline cups_page_header2_t InputHeader(const InputPage& p) {
  cups_page_header2_t h{};
  h.HWResolution[0] = unsigned(p.xdpi);
  h.HWResolution[1] = unsigned(p.ydpi);
  h.PageSize[0] = unsigned(p.width * 72 / p.xdpi);
  h.PageSize[1] = unsigned(p.height * 72 / p.ydpi);
  h.cupsWidth = unsigned(p.width);
  h.cupsHeight = unsigned(p.height);
  h.cupsBitsPerColor = 8;
  h.cupsColorOrder = CUPS_ORDER_CHUNKED;
  h.cupsColorSpace = p.space;
  const int bands = p.space == CUPS_CSPACE_W ? 1 : 3;
  h.cupsBitsPerPixel = unsigned(8 * bands);
  h.cupsBytesPerLine = unsigned(p.width * bands);
  h.cupsNumColors = unsigned(bands);
  std::snprintf(h.MediaType, sizeof h.MediaType, "Plain");
  return h;
}

// Writes the pages; `stopAfterLines` >= 0 cuts the last page after that
// many lines (a stream that ends early).
inline void WriteRaster(int fd, const std::vector<InputPage>& pages, int stopAfterLines = -1) {
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  for (size_t i = 0; i < pages.size(); ++i) {
    const InputPage& p = pages[i];
    cups_page_header2_t h = InputHeader(p);
    cupsRasterWriteHeader2(r, &h);
    std::vector<uint8_t> line(h.cupsBytesPerLine);
    const bool last = i + 1 == pages.size();
    for (int y = 0; y < p.height; ++y) {
      if (last && stopAfterLines >= 0 && y == stopAfterLines) break;
      for (int x = 0; x < p.width; ++x) {
        uint8_t rgb[3];
        p.pixel(x, y, rgb);
        if (p.space == CUPS_CSPACE_W) line[x] = rgb[0];
        else std::copy_n(rgb, 3, &line[size_t(x) * 3]);
      }
      cupsRasterWritePixels(r, line.data(), unsigned(line.size()));
    }
  }
  cupsRasterClose(r);
}

inline void WriteRasterFile(const std::string& path, const std::vector<InputPage>& pages,
                            int stopAfterLines = -1) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  WriteRaster(fd, pages, stopAfterLines);
  ::close(fd);
}

// One output page read back: its header and each plane's packed lines.
struct DotPage {
  cups_page_header2_t header{};
  std::vector<std::vector<uint8_t>> planes;  // plane k: height lines of PlaneBytes(width)
  size_t Dots(int k) const {
    size_t n = 0;
    for (uint8_t b : planes[k]) n += size_t(__builtin_popcount(b));
    return n;
  }
};

// Reads every page of a stream of 1-bit planes (planar or banded); a page
// whose lines cannot all be read ends the list and sets *truncated.
inline std::vector<DotPage> ReadDotPages(const std::string& path, bool* truncated = nullptr) {
  std::vector<DotPage> pages;
  if (truncated) *truncated = false;
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return pages;
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_READ);
  DotPage page;
  while (r && cupsRasterReadHeader2(r, &page.header)) {
    const cups_page_header2_t& h = page.header;
    const int planes = int(h.cupsNumColors);
    const size_t pb = (h.cupsWidth + 7) / 8;
    page.planes.assign(planes, std::vector<uint8_t>(pb * h.cupsHeight));
    bool ok = true;
    if (h.cupsColorOrder == CUPS_ORDER_BANDED) {
      std::vector<uint8_t> line(h.cupsBytesPerLine);
      for (unsigned y = 0; ok && y < h.cupsHeight; ++y) {
        ok = cupsRasterReadPixels(r, line.data(), unsigned(line.size())) == line.size();
        for (int k = 0; ok && k < planes; ++k) {
          std::copy_n(&line[k * pb], pb, &page.planes[k][y * pb]);
        }
      }
    } else {
      for (int k = 0; ok && k < planes; ++k) {
        for (unsigned y = 0; ok && y < h.cupsHeight; ++y) {
          ok = cupsRasterReadPixels(r, &page.planes[k][y * pb], unsigned(pb)) == pb;
        }
      }
    }
    if (!ok) {
      if (truncated) *truncated = true;
      break;
    }
    pages.push_back(page);
  }
  if (r) cupsRasterClose(r);
  ::close(fd);
  return pages;
}

// A binary PBM ("P4") as packed lines; empty when unreadable.
inline std::vector<uint8_t> ReadPbm(const std::string& path, int* width, int* height) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  f >> magic >> *width >> *height;
  f.get();
  if (magic != "P4" || !f) return {};
  std::vector<uint8_t> bits(size_t((*width + 7) / 8) * *height);
  f.read(reinterpret_cast<char*>(bits.data()), std::streamsize(bits.size()));
  return f ? bits : std::vector<uint8_t>{};
}

}  // namespace vantik::queuetest
