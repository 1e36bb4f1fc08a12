// Directory form of a resource set, the generator's reproducibility and the
// decoder's robustness.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "vantik/default_resources.h"
#include "vantik/resource_describe.h"

namespace vantik::resources {
namespace {

namespace fs = std::filesystem;

class TempDir : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vantik_res_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const fs::path& rel, const std::string& bytes) {
    fs::create_directories((dir_ / rel).parent_path());
    std::ofstream(dir_ / rel, std::ios::binary) << bytes;
  }
  fs::path dir_;
};

TEST_F(TempDir, ExportThenLoadRoundTripsByteForByte) {
  std::string error;
  ASSERT_TRUE(ExportDirectory(dir_, &error)) << error;
  const auto loaded = LoadDirectory(dir_, &error);
  ASSERT_TRUE(loaded) << error;
  const auto defaults = Defaults();
  ASSERT_EQ(loaded->size(), defaults.size());
  for (size_t i = 0; i < defaults.size(); ++i) {
    SCOPED_TRACE(defaults[i].number);
    EXPECT_EQ((*loaded)[i].service, defaults[i].service);
    EXPECT_EQ((*loaded)[i].number, defaults[i].number);
    EXPECT_EQ((*loaded)[i].kind, defaults[i].kind) << "kind judged from the file";
    EXPECT_TRUE(std::equal(defaults[i].bytes.begin(), defaults[i].bytes.end(), (*loaded)[i].bytes.begin(),
                           (*loaded)[i].bytes.end()));
  }
  for (const auto& entry : fs::recursive_directory_iterator(dir_))
    EXPECT_NE(entry.path().extension(), ".tmp") << "temporary file left behind";
}

TEST_F(TempDir, LoadRejectsBrokenDirectoriesWithTheFileNamed) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    const char* expect;  // part of the message
  };
  const Case cases[] = {
      {"no halftone folder", {{"color/0.bin", "/x"}}, "halftone"},
      {"name not a number", {{"color/abc.bin", "x"}, {"halftone/1.bin", "x"}}, "abc.bin"},
      {"empty block", {{"color/7.bin", ""}, {"halftone/1.bin", "x"}}, "7.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_);
    for (const auto& [name, bytes] : c.files) Write(name, bytes);
    std::string error;
    EXPECT_FALSE(LoadDirectory(dir_, &error));
    EXPECT_NE(error.find(c.expect), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(LoadDirectory(dir_ / "absent", &error));
  EXPECT_FALSE(error.empty());
}

TEST_F(TempDir, LoadIgnoresOtherFilesAndReadsNegativeNumbers) {
  Write("color/README.txt", "notes");
  Write("color/-3.bin", "abc");
  Write("halftone/5.bin", std::string("\x01\x00\xff\xff", 4));
  std::string error;
  const auto loaded = LoadDirectory(dir_, &error);
  ASSERT_TRUE(loaded) << error;
  ASSERT_EQ(loaded->size(), 2u);
  EXPECT_EQ((*loaded)[0].number, -3);
  EXPECT_EQ((*loaded)[1].kind, "id-list");
}

TEST_F(TempDir, ExportIntoAFileFails) {
  Write("file", "x");
  std::string error;
  EXPECT_FALSE(ExportDirectory(dir_ / "file", &error));
  EXPECT_FALSE(error.empty());
}

#ifdef VANTIK_RESGEN_PATH
TEST_F(TempDir, GeneratorReproducesTheEmbeddedSet) {
  const std::string cmd = std::string("\"") + VANTIK_RESGEN_PATH + "\" \"" + dir_.string() + "\" \"" +
                          (dir_ / "blocks.cc").string() + "\"";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string error;
  const auto loaded = LoadDirectory(dir_, &error);
  ASSERT_TRUE(loaded) << error;
  ASSERT_EQ(loaded->size(), Defaults().size());
  for (size_t i = 0; i < loaded->size(); ++i) {
    const Block& d = Defaults()[i];
    EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), (*loaded)[i].bytes.begin(), (*loaded)[i].bytes.end()))
        << DirectoryName(d.service) << " " << d.number;
  }
}
#endif

TEST(Describe, DecodesEveryDefaultBlockAndSurvivesTruncation) {
  for (const Block& b : Defaults()) {
    SCOPED_TRACE(b.number);
    const std::string text = Describe(b);
    EXPECT_NE(text.find(std::to_string(b.number)), std::string::npos);
    EXPECT_EQ(text.find("no decoder"), std::string::npos);
    // Every prefix of a small block, a few of a large one: never reads
    // outside the bytes it is given.
    const size_t step = b.bytes.size() > 400 ? b.bytes.size() / 7 : 1;
    for (size_t len = 0; len < b.bytes.size(); len += step) {
      std::vector<uint8_t> copy(b.bytes.begin(), b.bytes.begin() + static_cast<std::ptrdiff_t>(len));
      Describe(Block{b.service, b.number, copy, b.kind});
    }
  }
  // Random bytes under every kind's decoder.
  uint64_t state = 12345;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint8_t>(state >> 56);
  };
  for (const char* kind : {"index", "table", "id-list", "nodes", "matrix16", "screen-table", "matrix8",
                           "calibration"}) {
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> bytes(static_cast<size_t>(next()) * (round % 4 == 0 ? 80 : 1));
      for (uint8_t& b : bytes) b = next();
      Describe(Block{Service::kColor, round % 2 ? 990 : 0, bytes, kind});
    }
  }
  const std::string index = Describe(*FindDefault(Service::kColor, kColorIndexNumber));
  EXPECT_NE(index.find("96 entries"), std::string::npos) << index;
  EXPECT_NE(index.find("DIFFUSION"), std::string::npos);
  const std::string matrix = Describe(*FindDefault(Service::kHalftone, 63));
  EXPECT_NE(matrix.find("128 x 128"), std::string::npos) << matrix;
  EXPECT_NE(matrix.find("permutation"), std::string::npos);
}

}  // namespace
}  // namespace vantik::resources
