// The page replay with halftone engine B (kind 1) on the tiny resource set.
#include <gtest/gtest.h>

#include "bridge/bridge_page.h"
#include "common/tiny_resources.h"
#include "interface/params.h"

namespace vantik::test::page {
namespace {

// Engine B (kind 1) on the tiny resource set: id list 200, nodes 201,
// matrix 202; four-byte pixels.
PageSetup EngineBPage() {
  ColorAdjustRecord a{};
  a.field[8] = 8;   // PLAIN
  a.field[kAdjustColorModeB] = 2;  // table mode 4
  HalftoneParams h{};
  h.kind = 1;
  h.renderMode = 3;
  h.lutMode = 1;
  h.xResolution = 720;
  h.yResolution = 720;
  h.lineWidth = 256;
  PageSetup p{"engine B", WithPreviewSettings(a), h, h, 4, {}};
  const vantik::ResourceSet set = vantik::testing::TinyResources();
  p.blocks[-2] = vantik::testing::Bytes(vantik::testing::TinyIndexText());
  p.blocks[120] = vantik::testing::TinyTable();
  for (int32_t n : {200, 201, 202}) {
    const auto b = set.Find(vantik::Service::kHalftone, n);
    if (b) p.blocks[n] = Block(b->begin(), b->end());
  }
  return p;
}

using BridgePageBTest = BridgeTest;

TEST_F(BridgePageBTest, EngineBPageEqualsTheDirectEntryPoints) { ExpectSamePage(EngineBPage()); }

}  // namespace
}  // namespace vantik::test::page
