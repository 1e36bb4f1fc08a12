// Every block of the default resource set, cut short, through the
// length-carrying calls at the step of the dialogue that asks for it: the
// library accepts the prefix or refuses it with RC_BAD_RESOURCE, reads
// nothing past it (each prefix is an exact-size copy, so the sanitizer
// build catches a read past it), and the instances delete cleanly.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "interface/memblock.h"
#include "sweeps/dialogue.h"

namespace vantik::sweeps {
namespace {

// For each block of the default set, settings whose whole dialogue asks
// for it (the first such in AllCombos order).
std::map<std::pair<Service, int>, Combo> ComboPerBlock() {
  std::map<std::pair<Service, int>, Combo> found;
  for (const Combo& c : AllCombos()) {
    const Outcome out = Dialogue(c).Run();
    if (!out.complete) continue;
    for (const Asked& a : out.asked) found.emplace(std::make_pair(a.service, a.number), c);
  }
  return found;
}

const std::map<std::pair<Service, int>, Combo>& Combos() {
  static const auto combos = ComboPerBlock();
  return combos;
}

// Prefix lengths of a block of `size` bytes: every length up to 512, the
// last 128, and every 509th in between (beyond the headers a block's
// checks compare one declared size with the length, so the lengths in the
// middle behave alike).
std::vector<size_t> PrefixLengths(size_t size) {
  std::set<size_t> lengths;
  for (size_t n = 0; n < size && n <= 512; ++n) lengths.insert(n);
  for (size_t n = size > 128 ? size - 128 : 0; n < size; ++n) lengths.insert(n);
  for (size_t n = 512; n < size; n += 509) lengths.insert(n);
  return {lengths.begin(), lengths.end()};
}

TEST(DefaultSetSweep, SomeCompleteDialogueAsksForEveryBlock) {
  for (const resources::Block& b : resources::Defaults()) {
    EXPECT_TRUE(Combos().count({b.service, b.number}))
        << resources::DirectoryName(b.service) << " block " << b.number
        << " is asked for by no dialogue that completes";
  }
}

TEST(DefaultSetSweep, EveryPrefixIsAcceptedOrRefusedAsMalformed) {
  const long baseline = MemLiveBlocks();
  size_t prefixes = 0;
  for (const resources::Block& b : resources::Defaults()) {
    auto it = Combos().find({b.service, b.number});
    if (it == Combos().end()) continue;  // reported by the test above
    const Asked target{b.service, b.number};
    const std::string name = std::string(resources::DirectoryName(b.service)) + " block " +
                             std::to_string(b.number) + " (" + it->second.Name() + ")";
    for (size_t n : PrefixLengths(b.bytes.size())) {
      const Outcome out = Dialogue(it->second).Run(&target, b.bytes.first(n));
      ++prefixes;
      ASSERT_TRUE(out.replaced) << name << " prefix " << n;
      EXPECT_TRUE(out.replacedCode == RC_OK || out.replacedCode == RC_BAD_RESOURCE)
          << name << " prefix " << n << " of " << b.bytes.size() << ": "
          << VantikCodeName(out.replacedCode);
      EXPECT_EQ(out.cmDelete, RC_OK) << name << " prefix " << n;
      EXPECT_EQ(out.htDelete, RC_OK) << name << " prefix " << n;
      ASSERT_EQ(MemLiveBlocks(), baseline) << name << " prefix " << n << ": a block leaked";
    }
    // The whole block is accepted at that step.
    const Outcome whole = Dialogue(it->second).Run(&target, b.bytes);
    EXPECT_EQ(whole.replacedCode, RC_OK) << name;
  }
  RecordProperty("prefixes", static_cast<int>(prefixes));
}

}  // namespace
}  // namespace vantik::sweeps
