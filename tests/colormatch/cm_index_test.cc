#include "colormatch/cm_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/cm_fixtures.h"
#include "formats/index_text.h"
#include "interface/memblock.h"

namespace vantik::colormatch {
namespace {

using cmfix::IndexLine;
using cmfix::IndexText;
using cmfix::MakeIndex;
using cmfix::MatchingLine;

class CmIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    live_ = MemLiveBlocks();
    const ColorAdjustRecord adjust = cmfix::DefaultAdjust();
    const HalftoneParams params = cmfix::DefaultParams();
    int32_t inOut = 0;
    CmHandle h = nullptr;
    ASSERT_EQ(CmNewThk(&adjust, nullptr, nullptr, nullptr, &params, nullptr, nullptr, &inOut, &h),
              RC_OK);
    inst_ = static_cast<CmInstance*>(h);
    inst_->tableNumber = 77;
    inst_->halftoneNumber = 78;
  }
  void TearDown() override {
    CmDeleteThk(inst_);
    MemResetFaults();
    EXPECT_EQ(MemLiveBlocks(), live_);
  }

  // Looks the text up from an exactly sized heap copy, so that a read past
  // the block is caught by the address sanitizer.
  uint32_t Lookup(const std::string& text, int32_t* table, bool bounded = true) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    if (!bounded) bytes.push_back(0);
    ByteReader reader(bytes.data(), bounded ? bytes.size() : ByteReader::kUnbounded);
    *table = -999;
    return CmIndexLookup(*inst_, reader, table);
  }
  int32_t TableOf(const std::string& text) {
    int32_t table = 0;
    EXPECT_EQ(Lookup(text, &table), RC_OK);
    return table;
  }

  CmInstance* inst_ = nullptr;
  long live_ = 0;
};

TEST_F(CmIndexTest, DecimalRule) {
  struct Case {
    const char* token;
    int32_t value;
  };
  for (Case c : {Case{"", 0}, Case{"12", 12}, Case{"1-2", -12}, Case{"-5", -5},
                 Case{"3a", 79}, Case{"\xff", -49}, Case{"4294967297", 1},
                 Case{"1-", -1}}) {
    EXPECT_EQ(formats::IndexDecimal(c.token, static_cast<int>(std::string(c.token).size())), c.value)
        << c.token;
  }
}

TEST_F(CmIndexTest, LastMatchingLineWins) {
  IndexText t;
  t.lines = {MatchingLine(11, 301), {12, 302, "K3", "PB", 360, 720, "M4", 1},
             MatchingLine(13, 0), {14, 303, "K2", "PB", 720, 720, "M4", 1}};
  int32_t table = 0;
  ASSERT_EQ(Lookup(MakeIndex(t), &table), RC_OK);
  EXPECT_EQ(table, 13);
  EXPECT_EQ(inst_->tableNumber, 13);
  EXPECT_EQ(inst_->halftoneNumber, -1);  // halftone number 0 stands for none
}

TEST_F(CmIndexTest, LastMatchWinsEvenWithTableNumberZero) {
  IndexText t;
  t.lines = {MatchingLine(11, 301), MatchingLine(0, 305)};
  EXPECT_EQ(TableOf(MakeIndex(t)), 0);
  EXPECT_EQ(inst_->tableNumber, 0);
  EXPECT_EQ(inst_->halftoneNumber, 305);
}

TEST_F(CmIndexTest, NoMatchLeavesTheInstanceAlone) {
  IndexText t;
  t.lines = {{12, 302, "K3", "PB", 360, 720, "M4", 1}};
  EXPECT_EQ(TableOf(MakeIndex(t)), 0);
  t.lines.clear();
  EXPECT_EQ(TableOf(MakeIndex(t)), 0);
  EXPECT_EQ(inst_->tableNumber, 77);
  EXPECT_EQ(inst_->halftoneNumber, 78);
}

TEST_F(CmIndexTest, NameListTwoForms) {
  struct Case {
    const char* list2;
    const char* name;
    int32_t number;  // adjust field 8 that makes the line match
  };
  const Case cases[] = {
      {"8 PA PB", "PB", 9},
      {"PA PB", "PB", 1},
      {"QA PB", "PB", 347},  // "QA" is the base: 33 * 10 + 17
      {"8 PA PB", "PZ", 0},  // not in the list: 0, not the base
      {"8 PB PA PB", "PB", 10},  // the last equal name wins
  };
  for (const Case& c : cases) {
    IndexText t;
    t.list2 = c.list2;
    t.lines = {{21, 301, "K3", c.name, 720, 720, "M4", 1}};
    inst_->adjust.field[8] = c.number;
    EXPECT_EQ(TableOf(MakeIndex(t)), 21) << c.list2 << " / " << c.name;
    inst_->adjust.field[8] = c.number + 1;
    EXPECT_EQ(TableOf(MakeIndex(t)), 0) << c.list2 << " / " << c.name;
  }
}

TEST_F(CmIndexTest, KindAndModeNamesResolveToTheirLastPosition) {
  struct Case {
    const char* kinds;
    const char* kind;
    int32_t instanceKind;
    const char* modes;
    const char* mode;
    int16_t tableMode;
  };
  const Case cases[] = {
      {"K0 K1 K2 K3", "K3", 3, "M0 M1 M2 M3 M4", "M4", 4},
      {"K0 K1 K2 K3 K3", "K3", 4, "M0 M1 M2 M3 M4", "M4", 4},
      {"K0 K1 K2 K3", "KX", 0, "M0 M1 M2 M3 M4", "M4", 4},  // unknown: position 0
      {"K0 K1 K2 K3", "K3", 3, "M0 M1 M2 M3 M4", "M0", 0},  // calibration's mode 0
      {"K0 K1 K2 K3", "K3", 3, "M0 M1 M2 M3 M4", "MX", 0},
      {"K0 K1 K2 K3", "k3", 0, "M0 M1 M2 M3 M4", "M4", 4},  // case-sensitive
      {"K0 K1 K2 K33", "K3", 0, "M0 M1 M2 M3 M4", "M4", 4},  // both must end together
  };
  for (const Case& c : cases) {
    IndexText t;
    t.kinds = c.kinds;
    t.modes = c.modes;
    t.lines = {{31, 301, c.kind, "PB", 720, 720, c.mode, 1}};
    inst_->params.kind = c.instanceKind;
    inst_->tableMode = c.tableMode;
    EXPECT_EQ(TableOf(MakeIndex(t)), 31) << c.kind << " " << c.mode;
    inst_->tableMode = static_cast<int16_t>(c.tableMode == 0 ? 4 : 0);
    EXPECT_EQ(TableOf(MakeIndex(t)), 0) << c.kind << " " << c.mode;
  }
}

TEST_F(CmIndexTest, DecimalTokensInEntryLines) {
  IndexText t;
  t.lines = {{41, 301, "K3", "PB", 720, 720, "M4", 0}};
  std::string text = MakeIndex(t);
  text.replace(text.find("M4 0"), 4, "M4 1-2 and more tokens");
  inst_->adjust.field[7] = -12;
  EXPECT_EQ(TableOf(text), 41);
  text.replace(text.find("1-2"), 3, "3a");
  inst_->adjust.field[7] = 79;
  EXPECT_EQ(TableOf(text), 41);
}

TEST_F(CmIndexTest, LineEndStyles) {
  for (const char* eol : {"\r\n", "\n", "\r", "\n\n", "\r\n\r\r\n"}) {
    IndexText t;
    t.eol = eol;
    t.lines = {MatchingLine(11, 301), {12, 302, "K3", "PB", 360, 720, "M4", 1}};
    int32_t table = 0;
    EXPECT_EQ(Lookup(MakeIndex(t), &table), RC_OK);
    EXPECT_EQ(table, 11) << testing::PrintToString(eol);
  }
}

TEST_F(CmIndexTest, HeaderSlashAtLineEndSwallowsTheNextLineWithLf) {
  const std::string a = "11 301 K3 PB 720 720 M4 1";
  const std::string b = "12 302 K3 PB 720 720 M4 1";
  const std::string c = "0 0 K0 PA 1 1 M0 0";
  const std::string lists = "K0 K1 K2 K3\n8 PA PB\nM0 M1 M2 M3 M4\n";
  // LF: the byte after '/' is the line end, so line a is the header's rest and
  // line b the skipped line.
  EXPECT_EQ(TableOf("index /\n" + a + "\n" + b + "\n" + c + "\n/\n" + lists), 0);
  // CR LF: the header ends at its LF; line a is skipped, b is an entry.
  EXPECT_EQ(TableOf("index /\r\n" + a + "\r\n" + b + "\r\n" + c + "\r\n/\r\n" + lists), 12);
}

// The header runs to the first '/' of the block whatever bytes come before
// it, end bytes included, and the byte after the '/' is skipped whatever it
// is.  A length-less block has only its end bytes to stop the scan.
TEST_F(CmIndexTest, HeaderBeforeTheSlashMayHoldAnyByte) {
  IndexText t;
  t.lines = {MatchingLine(11, 301)};
  const std::string text = MakeIndex(t);  // "/* colour table index..."
  const std::string nul(1, '\0');
  struct Case {
    const char* what;
    std::string block;
  } cases[] = {
      {"NUL before the slash", "\x01" + nul + "\x1a\xff" + text},
      {"EOF byte before the slash", "head\x1a" + text},
      {"NUL after the slash", "/" + nul + text.substr(2)},
      {"EOF byte after the slash", "/\x1a" + text.substr(2)},
  };
  for (const Case& c : cases) {
    int32_t table = 0;
    EXPECT_EQ(Lookup(c.block, &table), RC_OK) << c.what;
    EXPECT_EQ(table, 11) << c.what;
    EXPECT_EQ(Lookup(c.block, &table, /*bounded=*/false), RC_BAD_RESOURCE) << c.what;
  }
  int32_t table = 0;
  EXPECT_EQ(Lookup("no slash" + nul + "\x1a at all", &table), RC_BAD_RESOURCE);
  // Length-less and without a '/': the scan stops at the terminating zero.
  EXPECT_EQ(Lookup("no slash at all", &table, /*bounded=*/false), RC_BAD_RESOURCE);
}

TEST_F(CmIndexTest, TextEndsAtNulOrEofByte) {
  IndexText t;
  t.lines = {MatchingLine(11, 301)};
  const std::string text = MakeIndex(t);
  for (char end : {'\0', '\x1a'}) {
    EXPECT_EQ(TableOf(text + end + "\nanything " + std::string(400, 'x')), 11);
    // Ending before the '/' line: no end line.
    std::string cut = text;
    cut.insert(cut.find("/end"), 1, end);
    int32_t table = 0;
    EXPECT_EQ(Lookup(cut, &table), RC_BAD_RESOURCE);
  }
  int32_t table = 0;
  EXPECT_EQ(Lookup(text, &table, /*bounded=*/false), RC_OK);
  EXPECT_EQ(table, 11);
}

// Every limit of the format: at the limit the index is read, one past it is
// refused whole.
TEST_F(CmIndexTest, FormatLimits) {
  auto entries = [](int n) {
    IndexText t;
    for (int i = 0; i < n; ++i) t.lines.push_back(MatchingLine(100 + i, 301));
    return MakeIndex(t);
  };
  auto withKind = [](const std::string& kind) {
    IndexText t;
    t.kinds = "K0 K1 K2 " + kind;
    t.lines = {{11, 301, kind, "PB", 720, 720, "M4", 1}};
    return MakeIndex(t);
  };
  auto names = [](const char* prefix, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += std::string(i ? " " : "") + prefix + std::to_string(i);
    return s;
  };
  auto withLists = [](const std::string& kinds, const std::string& list2,
                      const std::string& modes) {
    IndexText t;
    t.kinds = kinds;
    t.list2 = list2;
    t.modes = modes;
    t.lines = {MatchingLine(11, 301)};
    return MakeIndex(t);
  };
  auto withSelector = [](const std::string& selector) {
    IndexText t;
    t.lines = {MatchingLine(11, 301)};
    std::string s = MakeIndex(t);
    s.replace(s.find("M4 1"), 4, "M4 " + selector);
    return s;
  };
  auto withRemainder = [](const std::string& where, int n) {
    IndexText t;
    t.lines = {MatchingLine(11, 301)};
    std::string s = MakeIndex(t);
    s.insert(s.find(where) + where.size(), " " + std::string(static_cast<size_t>(n - 1), 'r'));
    return s;
  };
  struct Case {
    const char* what;
    std::string ok;
    std::string bad;
  };
  const std::string std2 = "8 PA PB";
  const Case cases[] = {
      {"entries", entries(100), entries(101)},
      {"entry name", withKind("K3456789012"), withKind("K34567890123")},
      {"token", withSelector("0" + std::string(254, '0')), withSelector(std::string(256, '0'))},
      {"list 1", withLists(names("K", 12), std2, "M0"), withLists(names("K", 13), std2, "M0")},
      {"list 2", withLists("K0", names("P", 32), "M0"), withLists("K0", names("P", 33), "M0")},
      {"list 2 with base", withLists("K0", "8 " + names("P", 32), "M0"),
       withLists("K0", "8 " + names("P", 33), "M0")},
      {"list 3", withLists("K0", std2, names("M", 12)), withLists("K0", std2, names("M", 13))},
      {"list name", withLists("K0 K1234567890", std2, "M0"),
       withLists("K0 K12345678901", std2, "M0")},
      {"entry remainder", withRemainder("M4 1", 255), withRemainder("M4 1", 256)},
      // The header's remainder after "/*" already holds 19 bytes, the
      // skipped line 43.
      {"header remainder", withRemainder("/*", 236), withRemainder("/*", 237)},
      {"skipped line", withRemainder("selector", 212), withRemainder("selector", 213)},
      {"end line remainder", withRemainder("/end", 255), withRemainder("/end", 256)},
      {"slash", "/x\r\nskipped\r\n/\r\n", "no slash\r\nskipped\r\n/\r\n"},
      {"end line", entries(0), "/\r\n\r\n" + cmfix::Str(MatchingLine(11, 301)) + "\r\n"},
  };
  for (const Case& c : cases) {
    int32_t table = 0;
    EXPECT_EQ(Lookup(c.ok, &table), RC_OK) << c.what;
    inst_->tableNumber = 77;
    EXPECT_EQ(Lookup(c.bad, &table), RC_BAD_RESOURCE) << c.what;
    EXPECT_EQ(table, -999) << c.what;
    EXPECT_EQ(inst_->tableNumber, 77) << c.what;
    EXPECT_EQ(Lookup(c.bad, &table, /*bounded=*/false), RC_BAD_RESOURCE) << c.what;
  }
}

// A block cut anywhere before its end line is refused; cut after it, the
// entries are read and the lists are whatever arrived.  Nothing past the cut
// is read (the copy is sized exactly).
TEST_F(CmIndexTest, TruncatedBlocks) {
  IndexText t;
  t.lines = {MatchingLine(11, 301), MatchingLine(12, 302)};
  const std::string text = MakeIndex(t);
  const size_t endLine = text.find("/end");
  for (size_t n = 0; n <= text.size(); ++n) {
    int32_t table = 0;
    const uint32_t rc = Lookup(text.substr(0, n), &table);
    if (n <= endLine) {
      EXPECT_EQ(rc, RC_BAD_RESOURCE) << n;
    } else {
      EXPECT_EQ(rc, RC_OK) << n;
    }
  }
  ByteReader none(nullptr, 100);
  int32_t table = 0;
  EXPECT_EQ(CmIndexLookup(*inst_, none, &table), RC_BAD_RESOURCE);
}

TEST_F(CmIndexTest, WorkBlockFailures) {
  IndexText t;
  t.lines = {MatchingLine(11, 301)};
  for (auto [op, code] : {std::pair{MemOp::kAlloc, RC_NO_MEMORY},
                          std::pair{MemOp::kLock, RC_LOCK_FAILED}}) {
    MemResetFaults();
    MemFailNth(op, 1);
    int32_t table = 0;
    EXPECT_EQ(Lookup(MakeIndex(t), &table), static_cast<uint32_t>(code));
    EXPECT_EQ(table, -999);
    EXPECT_EQ(inst_->tableNumber, 77);
    EXPECT_EQ(MemLiveBlocks(), live_ + 2);  // the instance and its CmLut
  }
}

}  // namespace
}  // namespace vantik::colormatch
