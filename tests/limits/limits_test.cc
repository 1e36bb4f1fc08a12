// Each size the library accepts, at its limit and one past it (the limits
// are listed in docs/LIMITS.md).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/cm_table_fixtures.h"
#include "common/tiny_resources.h"
#include "interface/memblock.h"
#include "vantik/bridge16.h"
#include "vantik/default_resources.h"
#include "vantik/vantik.hpp"

namespace vantik {
namespace {

ColorSettings Plain(uint32_t lineWidth = 64) {
  ColorSettings s;
  s.paper = 8;  // PLAIN in the small set's paper list
  s.halftone.lineWidth = lineWidth;
  return s;
}

// Colour tables: up to 32 nodes a side, and nodes x channels at most 192.
TEST(Limits, ColourTableNodesAndChannels) {
  struct Case {
    int n, w;
    bool accepted;
  } cases[] = {
      {32, 4, true},  {33, 4, false},  // nodes a side
      {32, 6, true},  {32, 7, false},  // nodes x channels: 192, 224
      {2, 4, true},   {1, 4, false},
  };
  for (const Case& c : cases) {
    testing::TableBlockContents contents;
    contents.n = c.n;
    contents.w = c.w;
    ResourceSet set = testing::TinyResources();
    set.Add(Service::kColor, 120, contents.Build());
    auto m = ColorMatcher::Create(Plain(), set);
    EXPECT_EQ(m.ok(), c.accepted) << c.n << " nodes, " << c.w << " channels: "
                                  << (m.ok() ? "accepted" : m.status().ToString());
    if (!c.accepted) {
      EXPECT_EQ(m.status().code(), RC_BAD_RESOURCE) << c.n << " x " << c.w;
    }
  }
}

// Engine B: an id list holds at most 15 ids; a colour-node block exactly 32.
TEST(Limits, EngineBIdListAndNodes) {
  struct Case {
    const char* what;
    int ids;
    int nodes;
    uint32_t code;  // of the step that takes the changed block
  } cases[] = {
      {"15 ids", 15, 32, RC_OK},
      {"16 ids", 16, 32, RC_BAD_RESOURCE},
      {"32 nodes", 3, 32, RC_OK},
      {"31 nodes", 3, 31, RC_BAD_VALUE},
      {"33 nodes", 3, 33, RC_BAD_VALUE},
  };
  const ResourceSet tiny = testing::TinyResources();
  for (const Case& c : cases) {
    auto m = ColorMatcher::Create(Plain(), tiny);
    ASSERT_TRUE(m.ok()) << m.status().ToString();
    HalftoneParams p = Plain().halftone.ToParams();
    HalftoneHandle h = nullptr;
    int32_t next = 0;
    ASSERT_EQ(HalftoneNewThk(&p, nullptr, m->lut(), nullptr, &next, &h), RC_OK);
    std::vector<int> idList;
    for (int i = 0; i < c.ids; ++i) idList.push_back(i == 0 ? 201 : 202);
    idList.push_back(-1);
    std::vector<uint8_t> ids;
    for (int v : idList) {
      ids.push_back(static_cast<uint8_t>(v));
      ids.push_back(static_cast<uint8_t>(v >> 8));
    }
    const uint32_t idCode = HalftoneSetResourceWithLength(h, ids.data(), ids.size(), &next);
    if (c.ids != 3) {
      EXPECT_EQ(idCode, c.code) << c.what;
    } else {
      ASSERT_EQ(idCode, RC_OK) << c.what;
      std::vector<uint8_t> nodes = {static_cast<uint8_t>(c.nodes), 0};
      for (int i = 0; i < c.nodes; ++i) nodes.push_back(static_cast<uint8_t>(i * 255 / (c.nodes - 1)));
      EXPECT_EQ(HalftoneSetResourceWithLength(h, nodes.data(), nodes.size(), &next), c.code)
          << c.what;
    }
    EXPECT_EQ(HalftoneDeleteThk(h), RC_OK) << c.what;
  }
}

// A run reaches at most the line width; a page is at most one line wide.
TEST(Limits, RunsAndPagesStayWithinTheLineWidth) {
  const ResourceSet tiny = testing::TinyResources();
  for (int kind : {1, 3}) {
    ColorSettings s = Plain(40);
    s.halftone.kind = kind;
    auto m = ColorMatcher::Create(s, tiny);
    ASSERT_TRUE(m.ok());
    auto h = Halftoner::Create(*m, tiny);
    ASSERT_TRUE(h.ok()) << h.status().ToString();
    std::vector<uint8_t> src(8 * 48, 0x80), planes(4 * 8, 0);
    EXPECT_EQ(h->Line(src.data(), planes.data(), 8, 40, 0, 0).code(), RC_OK);
    EXPECT_EQ(h->Line(src.data(), planes.data(), 8, 30, 10, 1).code(), RC_OK);
    EXPECT_EQ(h->Line(src.data(), planes.data(), 8, 41, 0, 2).code(), RC_BAND_TOO_LARGE);
    EXPECT_EQ(h->Line(src.data(), planes.data(), 8, 30, 11, 3).code(), RC_BAND_TOO_LARGE);

    RowSource source = [](int, std::span<uint8_t> rgb) {
      std::fill(rgb.begin(), rgb.end(), 100);
      return Status::Ok();
    };
    PlaneSink sink = [](int, std::span<const std::span<const uint8_t>>) { return Status::Ok(); };
    EXPECT_TRUE(RenderPage(*h, PageGeometry{4, 4, 40, 2}, source, sink).ok());
    EXPECT_EQ(RenderPage(*h, PageGeometry{4, 4, 41, 2}, source, sink).code(), RC_BAND_TOO_LARGE);
  }
}

// Engine B's error lines: a line width whose lines would pass 4 GiB is
// refused with RC_NO_MEMORY before anything is allocated.
TEST(Limits, EngineBErrorLinesStayBelowFourGiB) {
  const ResourceSet tiny = testing::TinyResources();
  auto m = ColorMatcher::Create(Plain(), tiny);
  ASSERT_TRUE(m.ok());
  // Kind 1 in colour keeps four error lines of (2 x width + 120) bytes,
  // rounded up to 4: the largest width whose four lines fit in 32 bits.
  const uint32_t largest = (0xFFFFFFFFu / 4 - 123) / 2;
  const long live = MemLiveBlocks();
  HalftoneParams p = Plain(largest + 1).halftone.ToParams();
  HalftoneHandle h = nullptr;
  int32_t next = 0;
  ASSERT_EQ(HalftoneNewThk(&p, nullptr, m->lut(), nullptr, &next, &h), RC_OK);
  const std::vector<uint8_t> ids = {201 & 0xFF, 0, 202 & 0xFF, 0, 0xFF, 0xFF};
  EXPECT_EQ(HalftoneSetResourceWithLength(h, ids.data(), ids.size(), &next), RC_NO_MEMORY);
  HalftoneDeleteThk(h);
  EXPECT_EQ(MemLiveBlocks(), live);
}

// The 16-bit bridge: 64 selectors and 256 handles.
TEST(Limits, BridgeSelectorAndHandleTables) {
  ASSERT_EQ(Bridge16Connect("VANTIK16.DLL", "VANTIK32.DLL"), 1);
  uint8_t memory[64];
  for (uint16_t s = 1; s <= 64; ++s) EXPECT_EQ(Bridge16MapSelector(s, memory, sizeof memory), RC_OK);
  EXPECT_EQ(Bridge16MapSelector(65, memory, sizeof memory), RC_NO_MEMORY);
  // Remapping a known selector needs no new slot.
  EXPECT_EQ(Bridge16MapSelector(64, memory, 8), RC_OK);

  // Preview instances through the stubs until the handle table is full.
  const long live = MemLiveBlocks();
  uint8_t* rec = memory;       // 36-byte record of zeros
  std::fill_n(memory, sizeof memory, 0);
  auto newPreview = [&] {
    const FarPtr16 recFar = VANTIK_FAR16(1, 0), optFar = VANTIK_FAR16(1, 40),
                   varFar = VANTIK_FAR16(1, 48);
    (void)rec;
    uint8_t frame[30];
    auto put32 = [&](int at, uint32_t v) { for (int i = 0; i < 4; ++i) frame[at + i] = static_cast<uint8_t>(v >> (8 * i)); };
    put32(0, recFar);
    put32(4, 0);
    put32(8, 0);
    put32(12, 0);
    put32(16, optFar);
    put32(20, 0);
    frame[24] = 1;
    frame[25] = 0;
    put32(26, varFar);
    return Bridge16Call(STUB_PREVIEW_NEW, frame, sizeof frame);
  };
  for (int i = 0; i < 256; ++i) ASSERT_EQ(newPreview(), RC_OK) << "instance " << i + 1;
  // The 257th is refused and its instance deleted.
  EXPECT_EQ(newPreview(), RC_NO_MEMORY & 0xFFFF);
  for (uint32_t handle = 0x10000; handle < 0x10000 + 256; ++handle) {
    uint8_t frame[4];
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<uint8_t>(handle >> (8 * i));
    EXPECT_EQ(Bridge16Call(STUB_PREVIEW_DELETE, frame, 4), RC_OK);
  }
  EXPECT_EQ(MemLiveBlocks(), live);
  Bridge16Disconnect();
}

// A resource directory's block: 1 byte to 16 MiB.
TEST(Limits, DirectoryBlockSize) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vantik-limits-" + std::to_string(::getpid()));
  struct Case {
    size_t bytes;
    bool accepted;
  } cases[] = {{1, true}, {0, false}, {16u << 20, true}, {(16u << 20) + 1, false}};
  for (const Case& c : cases) {
    fs::remove_all(dir);
    fs::create_directories(dir / "color");
    fs::create_directories(dir / "halftone");
    {
      std::ofstream f(dir / "color" / "7.bin", std::ios::binary);
      const std::vector<char> bytes(c.bytes, 'x');
      f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string error;
    const auto blocks = resources::LoadDirectory(dir, &error);
    EXPECT_EQ(blocks.has_value(), c.accepted) << c.bytes << " bytes: " << error;
    if (!c.accepted) {
      EXPECT_FALSE(error.empty());
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vantik
