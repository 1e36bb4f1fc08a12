// Block formats: every writer's block parses back to what was written and is
// guessed as its own kind, and malformed blocks are refused with the right
// code and a reason.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "formats/curve_rows.h"
#include "formats/curve_slots.h"
#include "formats/format.h"
#include "formats/id_list.h"
#include "formats/index_text.h"
#include "formats/matrix16.h"
#include "formats/matrix8.h"
#include "formats/node_positions.h"
#include "formats/reference_levels.h"
#include "formats/screen_text.h"
#include "formats/table_block.h"
#include "interface/byte_reader.h"

namespace vantik::formats {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

IndexContent SmallIndex() {
  IndexContent index;
  index.header = " test index";
  index.columns = "table halftone kind paper x y mode selector";
  index.entries = {{7, 0, "K1", "PB", 720, 360, "M2", 3}, {9, 301, "K2", "PA", 1440, 720, "M0", -4}};
  index.endLine = " end";
  index.kinds = {"K0", "K1", "K2"};
  index.hasList2Base = true;
  index.list2Base = 8;
  index.list2 = {"PA", "PB"};
  index.modes = {"M0", "M1", "M2"};
  return index;
}

TEST(IndexFormat, WrittenIndexParsesBackWithItsNamesResolved) {
  for (bool nul : {true, false}) {
    for (const char* eol : {"\r\n", "\n"}) {
      IndexContent content = SmallIndex();
      content.nulTerminated = nul;
      content.lineEnd = eol;
      const Bytes block = WriteIndex(content);
      SCOPED_TRACE(std::string(block.begin(), block.end()));
      std::vector<IndexEntry> entries(kIndexMaxEntries);
      IndexView index;
      ByteReader reader(block.data(), block.size());
      ASSERT_TRUE(ParseIndex(reader, entries.data(), index).ok());
      ResolveIndexNames(index);
      ASSERT_EQ(index.count, 2);
      EXPECT_EQ(index.list2Base, 8);
      EXPECT_EQ(index.modes.count, 3);
      const IndexEntry& a = entries[0];
      EXPECT_EQ(a.tableNumber, 7);
      EXPECT_EQ(a.halftoneNumber, 0);
      EXPECT_EQ(a.kindIndex, 1);
      EXPECT_EQ(a.list2Number, 9);
      EXPECT_EQ(a.modeIndex, 2);
      EXPECT_EQ(a.xResolution, 720);
      EXPECT_EQ(a.yResolution, 360);
      EXPECT_EQ(a.selector, 3);
      EXPECT_EQ(entries[1].selector, -4);
      EXPECT_EQ(entries[1].list2Number, 8);
      EXPECT_EQ(GuessKind(Dialogue::kColor, 0, block), Kind::kIndex);
    }
  }
}

TEST(IndexFormat, LimitsAreRefusedWithTheirReason) {
  struct Case {
    const char* what;
    IndexContent content;
    const char* reason;  // part of it
  };
  std::vector<Case> cases;
  IndexContent longName = SmallIndex();
  longName.entries[0].kind = "ABCDEFGHIJKL";  // 12 bytes
  cases.push_back({"name of 12 bytes", longName, "11 bytes"});
  IndexContent many = SmallIndex();
  many.entries.assign(101, many.entries[0]);
  cases.push_back({"101 entries", many, "100 entries"});
  IndexContent kinds = SmallIndex();
  kinds.kinds.assign(13, "K");
  cases.push_back({"13 kind names", kinds, "name list"});
  IndexContent token = SmallIndex();
  token.entries[0].mode = std::string(256, 'M');
  cases.push_back({"token of 256 bytes", token, "255 bytes"});
  for (const Case& c : cases) {
    const Bytes block = WriteIndex(c.content);
    std::vector<IndexEntry> entries(kIndexMaxEntries);
    IndexView index;
    ByteReader reader(block.data(), block.size());
    const Outcome parsed = ParseIndex(reader, entries.data(), index);
    EXPECT_EQ(parsed.code, RC_BAD_RESOURCE) << c.what;
    EXPECT_NE(std::string(parsed.reason).find(c.reason), std::string::npos) << c.what << ": " << parsed.reason;
  }
  // One short of each limit is accepted.
  IndexContent edge = SmallIndex();
  edge.entries.assign(100, edge.entries[0]);
  edge.entries[0].kind = "ABCDEFGHIJK";
  edge.kinds.assign(12, "K");
  const Bytes block = WriteIndex(edge);
  std::vector<IndexEntry> entries(kIndexMaxEntries);
  IndexView index;
  ByteReader reader(block.data(), block.size());
  EXPECT_TRUE(ParseIndex(reader, entries.data(), index).ok());
  EXPECT_EQ(index.count, 100);
}

TEST(TableFormat, WrittenTableParsesBackAndShortBlocksKeepTheirTable) {
  TableContent t;
  t.tag = "A TAG LONGER THAN FIFTEEN";
  t.tableClass = 50;
  t.tableType = 3;
  t.primaryGain[1] = 200;
  t.hueShift[2] = -5;
  t.saturationBoost = -7;
  t.secondaryGain[0] = 9;
  t.weights[0] = 350;
  t.weights[1] = -2;
  t.weights[4] = 12345;
  t.params[2] = 765;
  t.n = 2;
  t.w = 3;
  t.positions = {0, 255, 0, 255, 0, 255};
  for (int i = 0; i < 24; ++i) t.table.push_back(static_cast<uint8_t>(i));
  t.gray = {1, 2};
  t.diagonal = {9, 8, 7, 6, 5, 4};
  const Bytes block = WriteTableBlock(t);
  ASSERT_EQ(block.size(), 76u + 6 + 24 + 2 + 6);
  EXPECT_EQ(GuessKind(Dialogue::kColor, 1, block), Kind::kTable);

  TableBlockView v;
  ByteReader reader(block.data(), block.size());
  ASSERT_TRUE(ParseTableBlock(reader, v).ok());
  EXPECT_EQ(std::string(v.header.tag), "A TAG LONGER TH");
  EXPECT_EQ(v.header.tableClass, 50);
  EXPECT_EQ(v.header.tableType, 3);
  EXPECT_EQ(v.header.primaryGain[1], 200);
  EXPECT_EQ(v.header.hueShift[2], -5);
  EXPECT_EQ(v.header.saturationBoost, -7);
  EXPECT_EQ(v.header.secondaryGain[0], 9);
  EXPECT_EQ(v.header.weights[0], 350);
  EXPECT_EQ(v.header.weights[1], -2);
  EXPECT_EQ(v.header.weights[4], 12345);
  EXPECT_EQ(v.header.params[2], 765);
  EXPECT_EQ(v.n, 2);
  EXPECT_EQ(v.w, 3);
  EXPECT_EQ(v.table[TableNode(2, 3, 1, 1, 1)], 21);
  ASSERT_NE(v.gray, nullptr);
  ASSERT_NE(v.diagonal, nullptr);
  EXPECT_EQ(v.diagonal[5], 4);

  // A block that ends inside its trailing parts still parses: the rules that
  // read them decide.
  const size_t withGray = block.size() - 6;
  for (size_t length : {withGray - 1, withGray, block.size() - 1}) {
    ByteReader cut(block.data(), length);
    ASSERT_TRUE(ParseTableBlock(cut, v).ok()) << length;
    EXPECT_EQ(v.gray != nullptr, length >= withGray) << length;
    EXPECT_EQ(v.diagonal, nullptr) << length;
  }
  ByteReader noTable(block.data(), withGray - 3);
  EXPECT_EQ(ParseTableBlock(noTable, v).code, RC_BAD_RESOURCE);
}

TEST(HalftoneFormats, WrittenBlocksParseBackAndAreGuessedAsTheirKind) {
  const Bytes ids = WriteIdList({50, 60, -7});
  IdList list;
  ByteReader idReader(ids.data(), ids.size());
  ASSERT_TRUE(ParseIdList(idReader, list).ok());
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list.ids[2], -7);
  EXPECT_EQ(list.ids[3], kIdListEnd);
  EXPECT_EQ(GuessKind(Dialogue::kHalftone, 10, ids), Kind::kIdList);

  std::vector<uint8_t> positions;
  for (int i = 0; i < kNodePositionCount; ++i) positions.push_back(static_cast<uint8_t>((i * 255 + 15) / 31));
  const Bytes nodes = WriteNodePositions(positions);
  NodePositions np;
  ByteReader nodeReader(nodes.data(), nodes.size());
  ASSERT_TRUE(ParseNodePositions(nodeReader, np).ok());
  EXPECT_EQ(np.positions[31], 255);
  EXPECT_EQ(GuessKind(Dialogue::kHalftone, 50, nodes), Kind::kNodes);

  const Bytes m16 = WriteMatrix16(4, 2, {0, 1, 2, 3, 4, 5, 0x8000, 0xFFFF});
  Matrix16View v16;
  ByteReader m16Reader(m16.data(), m16.size());
  ASSERT_TRUE(ParseMatrix16(m16Reader, v16).ok());
  EXPECT_EQ(v16.cells, 8u);
  EXPECT_EQ(v16.bytesPerCell, 2u);
  EXPECT_EQ(v16.Cell(5), 5);
  EXPECT_EQ(v16.Cell(6), -32768);
  EXPECT_EQ(v16.Cell(7), -1);
  EXPECT_EQ(GuessKind(Dialogue::kHalftone, 60, m16), Kind::kMatrix16);

  // 256 is stored as 255.
  const Bytes m8 = WriteMatrix8(256, 1, Bytes(256, 9));
  EXPECT_EQ(m8[0], 255);
  Matrix8View v8;
  ASSERT_TRUE(ParseMatrix8(m8.data(), m8.size(), v8).ok());
  EXPECT_EQ(v8.width, 256);
  EXPECT_EQ(v8.height, 1);
  EXPECT_EQ(GuessKind(Dialogue::kHalftone, 301, m8), Kind::kMatrix8);
  EXPECT_EQ(ParseMatrix8(m8.data(), m8.size() - 1, v8).code, RC_BAD_RESOURCE);

  ScreenTableContent screen{"selector method m1 m2 m3 phase ",
                            {{111, 5, 311, 310, 301, 0}, {-112, 2, 0, 310, 321, 7}}};
  const Bytes table = WriteScreenTable(screen);
  EXPECT_EQ(GuessKind(Dialogue::kHalftone, 77, table), Kind::kScreenTable);
  std::vector<ScreenLine> lines;
  bool sawEnd = false;
  ASSERT_TRUE(ListScreenLines(table.data(), table.size(), &lines, &sawEnd).ok());
  EXPECT_TRUE(sawEnd);
  ASSERT_EQ(lines.size(), 2u);
  for (const ScreenLine& l : lines) {
    ScreenLine found{};
    ASSERT_TRUE(FindScreenLine(table.data(), table.size(), l.selector, &found).ok());
    EXPECT_EQ(found.matrix2Phase, l.matrix2Phase);
    EXPECT_EQ(found.matrix3, l.matrix3);
  }
  EXPECT_EQ(lines[1].selector, -112);
  ScreenLine none{};
  EXPECT_EQ(FindScreenLine(table.data(), table.size(), 999, &none).code, RC_BAD_RESOURCE);
}

TEST(HalftoneFormats, MalformedBlocksGiveTheEngineCodes) {
  struct Case {
    const char* what;
    Bytes block;
    uint32_t code;
  };
  Bytes nodes33 = {33, 0};
  nodes33.resize(35, 0);
  Bytes flat = {32, 0};
  flat.resize(34, 0);
  flat.back() = 255;
  const Case nodeCases[] = {
      {"no count", {32}, RC_BAD_RESOURCE},
      {"count 33", nodes33, RC_BAD_VALUE},
      {"positions cut", {32, 0, 0, 255}, RC_BAD_RESOURCE},
      {"positions not rising", flat, RC_BAD_RESOURCE},
  };
  for (const Case& c : nodeCases) {
    NodePositions np;
    ByteReader r(c.block.data(), c.block.size());
    const Outcome parsed = ParseNodePositions(r, np);
    EXPECT_EQ(parsed.code, c.code) << c.what;
    EXPECT_STRNE(parsed.reason, "") << c.what;
  }
  const Case idCases[] = {
      {"no end", {1, 0, 2, 0}, RC_BAD_RESOURCE},
      {"odd byte", {1, 0, 0xFF}, RC_BAD_RESOURCE},
      {"16 ids", [] { Bytes b(32, 1); b.push_back(0xFF); b.push_back(0xFF); return b; }(), RC_BAD_RESOURCE},
  };
  for (const Case& c : idCases) {
    IdList list;
    ByteReader r(c.block.data(), c.block.size());
    EXPECT_EQ(ParseIdList(r, list).code, c.code) << c.what;
  }
  const Case matrixCases[] = {
      {"header cut", {2, 2, 2}, RC_BAD_RESOURCE},
      {"zero width", {0, 2, 2, 0}, RC_BAD_RESOURCE},
      {"cells cut", {2, 1, 2, 0, 1, 0, 2}, RC_BAD_RESOURCE},
  };
  for (const Case& c : matrixCases) {
    Matrix16View v;
    ByteReader r(c.block.data(), c.block.size());
    EXPECT_EQ(ParseMatrix16(r, v).code, c.code) << c.what;
  }
}

TEST(CalibrationFormats, WrittenBlocksParseBack) {
  const Bytes slots = WriteCurveSlots({{0, {0, 1, 2, 3}}, {5, {3, 2, 1, 0}}, {5, {1, 1, 1, 1}}});
  EXPECT_EQ(GuessKind(Dialogue::kColor, 980, slots), Kind::kCurveSlots);
  CurveSlots found;
  ByteReader r(slots.data(), slots.size());
  ASSERT_TRUE(ParseCurveSlots(r, 5, 4, found).ok());
  EXPECT_EQ(found.slot[0], 1) << "the last record of a key wins";
  EXPECT_EQ(found.slot[4], 4) << "channels past the record keep their own slot";
  std::vector<CurveSlotRecord> records;
  ByteReader lr(slots.data(), slots.size());
  ASSERT_TRUE(ListCurveSlots(lr, &records).ok());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].slots, (std::vector<uint8_t>{3, 2, 1, 0}));
  // A slot at or beyond the channels, and a record short of a channel.
  ByteReader r3(slots.data(), slots.size());
  EXPECT_EQ(ParseCurveSlots(r3, 5, 2, found).code, RC_BAD_RESOURCE);
  ByteReader r5(slots.data(), slots.size());
  EXPECT_EQ(ParseCurveSlots(r5, 0, 5, found).code, RC_BAD_RESOURCE);

  const Bytes levels = WriteReferenceLevels({50, 40});
  EXPECT_EQ(GuessKind(Dialogue::kColor, 990, levels), Kind::kReferenceLevels);
  const uint8_t* l = nullptr;
  ByteReader lv(levels.data(), levels.size());
  ASSERT_TRUE(ParseReferenceLevels(lv, 2, &l).ok());
  EXPECT_EQ(l[1], 40);
  ByteReader lv3(levels.data(), levels.size());
  EXPECT_EQ(ParseReferenceLevels(lv3, 3, &l).code, RC_BAD_RESOURCE);

  std::array<std::array<uint8_t, kCurveRowBytes>, kCurveRowCount> rows{};
  rows[20][255] = 77;
  const Bytes curves = WriteCurveRows(rows);
  EXPECT_EQ(GuessKind(Dialogue::kColor, 901, curves), Kind::kCurveRows);
  CurveRowsView view;
  ByteReader cr(curves.data(), curves.size());
  ASSERT_TRUE(ParseCurveRows(cr, view).ok());
  EXPECT_EQ(view.Row(20)[255], 77);
  ByteReader shortRows(curves.data(), curves.size() - 1);
  EXPECT_EQ(ParseCurveRows(shortRows, view).code, RC_BAD_RESOURCE);
}

TEST(FormatTable, EveryKindHasOneHandlerAndStrangersAreUnknown) {
  for (const Handler& h : Handlers()) {
    EXPECT_EQ(&HandlerOf(h.kind), &h) << h.name;
    EXPECT_FALSE(h.summary.empty()) << h.name;
  }
  EXPECT_EQ(HandlerOf(Kind::kUnknown).name, "unknown");
  EXPECT_EQ(GuessKind(Dialogue::kColor, 5, Bytes{0x80, 0x81}), Kind::kUnknown);
  EXPECT_EQ(GuessKind(Dialogue::kHalftone, 5, Bytes{1, 2, 3}), Kind::kUnknown);
  EXPECT_EQ(GuessKind(Dialogue::kColor, 5, Text("no slash here")), Kind::kUnknown);
}

}  // namespace
}  // namespace vantik::formats
