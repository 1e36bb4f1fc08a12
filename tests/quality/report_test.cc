// `vantik quality --quick`: the page holds its sections and tables, every
// figure parses as a number, the pictures it shows are there, and bad
// options are refused with one line and nothing written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

#ifdef VANTIK_TOOL_PATH

class QualityReport : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vantik-quality-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Vantik(const std::string& args, std::string* err = nullptr) {
    const std::string errPath = (dir_ / "stderr").string();
    const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 " + std::string(VANTIK_TOOL_PATH) +
                            " -q " + args + " >/dev/null 2>" + errPath;
    const int status = std::system(cmd.c_str());
    if (err) *err = Slurp(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  }
  static std::string Slurp(const fs::path& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  fs::path dir_;
};

TEST_F(QualityReport, QuickRunWritesThePageItsFiguresAndPictures) {
  const fs::path out = dir_ / "report";
  ASSERT_EQ(Vantik("quality --quick -o " + out.string()), 0);
  const std::string html = Slurp(out / "index.html");
  ASSERT_FALSE(html.empty());
  for (const char* id : {"about", "summary", "targets", "front", "run-0", "run-0-tone", "run-0-gray-ab",
                         "run-0-delta-e", "run-0-spectrum"}) {
    EXPECT_NE(html.find("id=\"" + std::string(id) + "\""), std::string::npos) << id;
  }
  EXPECT_NE(html.find("Low-frequency energy"), std::string::npos);

  // The summary has a row per method at 720x720 on plain paper, and every
  // figure in it is a finite number.  The last two are the worst texture
  // ratios to Floyd-Steinberg, in printed lightness and in the cyan plane:
  // every method reaches some tint, so both are above 0, and no halftone
  // of a flat tint is a thousand times grainier than plain diffusion.
  const size_t from = html.find("class=\"summary\""), to = html.find("</table>", from);
  ASSERT_NE(from, std::string::npos);
  const std::string summary = html.substr(from, to - from);
  const std::string rowStart = "<tr><td>720x720</td><td>plain</td><td>";
  const std::string numStart = "<td class=\"num\">";
  int rows = 0;
  for (size_t r = summary.find(rowStart); r != std::string::npos; r = summary.find(rowStart, r + 1)) {
    ++rows;
    const size_t rowEnd = summary.find("</tr>", r);
    const std::string row = summary.substr(r, rowEnd - r);
    const std::string method = row.substr(rowStart.size(), row.find('<', rowStart.size()) - rowStart.size());
    std::vector<double> figures;
    for (size_t n = row.find(numStart); n != std::string::npos; n = row.find(numStart, n + 1)) {
      const size_t begin = n + numStart.size();
      const std::string text = row.substr(begin, row.find('<', begin) - begin);
      char* end = nullptr;
      const double v = std::strtod(text.c_str(), &end);
      EXPECT_TRUE(end != text.c_str() && *end == '\0' && std::isfinite(v) && v >= 0)
          << method << ": '" << text << "'";
      figures.push_back(v);
    }
    ASSERT_EQ(figures.size(), 9u) << method;
    for (size_t f = 7; f < 9; ++f) {
      EXPECT_GT(figures[f], 0) << method << " texture figure " << f;
      EXPECT_LT(figures[f], 1000) << method << " texture figure " << f;
    }
  }
  EXPECT_EQ(rows, 7);

  // Every picture the page shows is there.
  const std::string imgStart = "<img src=\"";
  int pictures = 0;
  for (size_t i = html.find(imgStart); i != std::string::npos; i = html.find(imgStart, i + 1)) {
    const size_t begin = i + imgStart.size();
    const std::string name = html.substr(begin, html.find('"', begin) - begin);
    EXPECT_TRUE(fs::is_regular_file(out / name)) << name;
    ++pictures;
  }
  EXPECT_GT(pictures, 0);
  EXPECT_GT(fs::file_size(out / "front.png"), 1000u);
}

TEST_F(QualityReport, NarrowedRunReportsOnlyWhatWasAsked) {
  const fs::path out = dir_ / "report";
  ASSERT_EQ(Vantik("quality --quick --method ordered,diffusion --paper photo -o " + out.string()), 0);
  const std::string html = Slurp(out / "index.html");
  // Each method is judged against what its own dots print: the ordered
  // screen against its screen rule's gamut, diffusion against independent
  // dots.
  EXPECT_NE(html.find("<td>720x720</td><td>photo</td><td>ordered</td><td>screen: black first, ink-limited</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<td>720x720</td><td>photo</td><td>diffusion</td><td>independent dots</td>"),
            std::string::npos);
  EXPECT_EQ(html.find("<td>plain</td>"), std::string::npos);
  EXPECT_EQ(html.find("<td>hybrid</td>"), std::string::npos);
  // Source cyan alone prints only about a third of the cyan dots; the dense
  // tints come from the darker half of the cyan path, so both methods reach
  // the 80 % and 98 % tints.
  for (const char* tint : {"80", "98"}) {
    const size_t row = html.find("<tr><td class=\"num\">" + std::string(tint) + "</td>");
    ASSERT_NE(row, std::string::npos) << tint;
    const std::string line = html.substr(row, html.find("</tr>", row) - row);
    EXPECT_EQ(line.find("not reached"), std::string::npos) << line;
  }
}

TEST_F(QualityReport, BadOptionsAreOneLineAndWriteNothing) {
  // Values the option table checks are usage errors (2); the rest fail when
  // the run looks them up (1).
  const struct {
    const char* args;
    int exit;
  } cases[] = {{"--method nope", 1},          {"--resolution 999x999", 1},
               {"--resolution wide", 1},      {"--paper velvet", 1},
               {"--model /nonexistent.ti3", 1}, {"--model ideal", 1},
               {"--calibration 80", 2}};
  for (const auto& c : cases) {
    const fs::path out = dir_ / "out";
    std::string err;
    EXPECT_EQ(Vantik(std::string("quality --quick ") + c.args + " -o " + out.string(), &err), c.exit)
        << c.args;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.args << ": " << err;
    EXPECT_FALSE(fs::exists(out / "index.html")) << c.args;
    EXPECT_FALSE(fs::exists(out / "images")) << c.args;
  }
}

#else
TEST(QualityReport, NeedsTheTool) { GTEST_SKIP() << "built without the vantik tool"; }
#endif

}  // namespace
