// The 16-bit call bridge on random call sequences.  Caller memory is a set
// of selectors, each mapped over a heap copy exactly as long as what it
// holds (records, a small complete resource set, pixel buffers, an in/out
// short, an instance variable, raw fuzz bytes), so any access past what the
// caller registered is caught.  Each call's frame is built field by field:
// far addresses point at the start of a selector, inside or just past one,
// at an unknown selector or anywhere; handles are the bridge's own (it
// hands them out from 0x10000 on) or anything; counts and shorts are raw.
// Tagged lists are built pair by pair (0 to 16 pairs, more, or a count
// that lies), with gamma, curve and calibration records where they end
// exactly at the end of the caller's memory, one byte past it, inside a
// larger block or nowhere, and given to colour matching (a whole page,
// with the caller's list moved away before the steps that read it) or to
// a preview.
//
// After every call no far address may stay mapped; at the end every
// handle is deleted and no block may stay allocated.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "../tests/common/halftone_a_fixtures.h"
#include "../tests/common/tiny_resources.h"
#include "interface/memblock.h"
#include "vantik/bridge16.h"
#include "vantik/vantik.h"

namespace {

using Block = std::vector<uint8_t>;

void Put16(Block& b, int v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Block& b, uint32_t v) {
  Put16(b, static_cast<int>(v & 0xFFFF));
  Put16(b, static_cast<int>(v >> 16));
}

// Caller memory made once: the contents every input starts from.
struct Templates {
  std::vector<Block> blocks;
  // Where the resource blocks and the records of a ready-made page sit
  // among the blocks: block index by resource number, per service.
  std::vector<std::pair<int, size_t>> colourBlocks, halftoneBlocks;
  size_t pageAdjust = 0, firstParams = 0, previewOptions = 0, inOut = 0, var = 0;
  Templates() {
    using vantik::Service;
    const vantik::ResourceSet set = vantik::testing::TinyResources();
    for (Service s : {Service::kColor, Service::kHalftone}) {
      for (int n : set.Numbers(s)) {
        auto bytes = *set.Find(s, n);
        (s == Service::kColor ? colourBlocks : halftoneBlocks).emplace_back(n, blocks.size());
        blocks.emplace_back(bytes.begin(), bytes.end());
      }
    }
    // Engine A's screen table and matrices (screen method 1).
    for (const auto& [n, bytes] : vantik::testing::StandardBlocks(1)) {
      halftoneBlocks.emplace_back(n, blocks.size());
      blocks.push_back(bytes);
    }
    // 36-byte colour adjustment record: twelve shorts (kind 1, mode fields
    // that select the colour table), three far addresses.
    Block adjust;
    const int fields[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0};
    for (int f : fields) Put16(adjust, f);
    for (int i = 0; i < 3; ++i) Put32(adjust, 0);
    blocks.push_back(adjust);
    // The record of a ready-made page: paper PLAIN (8), which the tiny
    // index matches.
    pageAdjust = blocks.size();
    adjust[16] = 8;
    blocks.push_back(adjust);
    // 24-byte halftone parameters for each engine: kind, variant, render
    // mode, lut mode, x and y resolution, two engine fields, scale, a word
    // line width, a far address.
    firstParams = blocks.size();
    for (int kind : {1, 2, 3}) {
      Block params;
      const int p[9] = {kind, 0, 3, 1, 720, 720, 0, 0, 0};
      for (int v : p) Put16(params, v);
      Put16(params, 64);
      Put32(params, 0);
      blocks.push_back(params);
    }
    previewOptions = blocks.size();
    blocks.push_back({3, 0, 0, 0, 0, 0});  // preview options: mode 3
    inOut = blocks.size();
    blocks.push_back({0, 0});              // in/out short
    var = blocks.size();
    blocks.push_back({0, 0, 0, 0});        // instance variable
    // A tagged list: count 1, key 1 (gamma), value far to a short.
    Block list;
    Put32(list, 1);
    Put32(list, 1);
    Put32(list, 0);
    blocks.push_back(list);
    // The records a tagged list points at, each in memory exactly as long
    // as the record: gamma 180, a curve table, and a calibration record
    // the tiny resources take (key 0, four levels, the two end bytes).
    records[kGamma] = blocks.size();
    Put32(blocks.emplace_back(), 180);
    records[kCurves] = blocks.size();
    Block& curves = blocks.emplace_back();
    for (int i = 0; i < 768; ++i) curves.push_back(static_cast<uint8_t>(255 - i % 256));
    records[kCalibration] = blocks.size();
    blocks.push_back({'C', 'W', ':', 0, 40, 50, 60, 70, 0xFE, 0xFF});
    // The three again, one after another in one larger block, so that a
    // value can point inside the caller's memory with more after it.
    pool = blocks.size();
    Block all;
    for (int k = 0; k < kRecordKinds; ++k) {
      poolOffset[k] = static_cast<uint32_t>(all.size());
      const Block& r = blocks[records[k]];
      all.insert(all.end(), r.begin(), r.end());
    }
    all.resize(all.size() + 16, 0x77);
    blocks.push_back(all);
  }
  // The records the bridge copies out of a tagged list, by kind.
  enum RecordKind { kGamma, kCurves, kCalibration, kRecordKinds };
  static constexpr int32_t kRecordKeys[kRecordKinds] = {1, 256, 512};
  size_t records[kRecordKinds] = {};
  uint32_t poolOffset[kRecordKinds] = {};
  size_t pool = 0;
};

constexpr uint16_t kFirstSelector = 0x0100;
constexpr uint32_t kFirstHandle = 0x10000;

struct Region {
  uint16_t selector;
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t length;
};

// Field kinds of a frame: far address, handle, short or word, 32-bit value.
enum Field : char { kFar = 'F', kHandle = 'H', kShort = 'S', kU32 = 'U' };

// Frame layout of each stub, in index order.
constexpr const char* kLayouts[STUB_COUNT] = {
    "H",            // halftone delete
    "HFFUSSSSSSF",  // halftone
    "HFF",          // halftone set resource
    "FFHFFF",       // halftone new
    "H",            // get CmLut
    "HSFFUF",       // colour translation
    "H",            // colour delete
    "HFF",          // colour set resource
    "FFFFFFFFF",    // colour new
    "HSFFUF",       // preview translation
    "H",            // preview delete
    "FFFFFFSF",     // preview new
};

uint32_t FarField(FarPtr16 far) { return far; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Templates templates;
  FuzzedDataProvider in(data, size);
  const long live = vantik::MemLiveBlocks();
  if (Bridge16Connect("VANTIK16.DLL", "VANTIK32.DLL") != 1) std::abort();

  // The template regions, then two buffers of fuzzed size and contents.
  std::vector<Region> regions;
  auto add = [&](const uint8_t* bytes, uint32_t length) {
    Region r;
    r.selector = static_cast<uint16_t>(kFirstSelector + regions.size());
    r.bytes.reset(new uint8_t[length == 0 ? 1 : length]);
    if (length != 0) std::memcpy(r.bytes.get(), bytes, length);
    r.length = length;
    if (Bridge16MapSelector(r.selector, r.bytes.get(), length) != RC_OK) std::abort();
    regions.push_back(std::move(r));
  };
  for (const Block& b : templates.blocks) add(b.data(), static_cast<uint32_t>(b.size()));
  for (int i = 0; i < 2; ++i) {
    const uint32_t length = in.ConsumeIntegralInRange<uint32_t>(0, 2048);
    Block raw = in.ConsumeBytes<uint8_t>(length);
    raw.resize(length, static_cast<uint8_t>(0x5A + i));
    add(raw.data(), length);
  }
  // The tagged list a list op builds: an empty list until then.
  const size_t listRegion = regions.size();
  add(Block(4, 0).data(), 4);
  // Moves a region to fresh memory with the same contents and frees the
  // old one, so that any address the library kept into it is caught.
  auto renew = [&](size_t index, const uint8_t* bytes, uint32_t length) {
    Region& r = regions[index];
    std::unique_ptr<uint8_t[]> fresh(new uint8_t[length == 0 ? 1 : length]);
    if (length != 0) std::memcpy(fresh.get(), bytes, length);
    r.bytes = std::move(fresh);
    r.length = length;
    if (Bridge16MapSelector(r.selector, r.bytes.get(), length) != RC_OK) std::abort();
  };
  auto moveAway = [&]() {
    for (size_t index : {listRegion, templates.records[0], templates.records[1],
                         templates.records[2], templates.pool}) {
      const Block copy(regions[index].bytes.get(), regions[index].bytes.get() + regions[index].length);
      renew(index, copy.data(), static_cast<uint32_t>(copy.size()));
    }
  };

  auto farField = [&]() -> uint32_t {
    const int how = in.ConsumeIntegralInRange<int>(0, 7);
    const Region& r = regions[in.ConsumeIntegralInRange<size_t>(0, regions.size() - 1)];
    switch (how) {
      case 0: return 0;
      case 5: return VANTIK_FAR16(r.selector, in.ConsumeIntegralInRange<uint32_t>(0, r.length + 8));
      case 6: return VANTIK_FAR16(in.ConsumeIntegralInRange<uint16_t>(0x4000, 0x4010), 0);
      case 7: return in.ConsumeIntegral<uint32_t>();
      default: return FarField(VANTIK_FAR16(r.selector, 0));
    }
  };

  // One call with a copy of the frame exactly as long as the frame, so a
  // read past it is caught.
  auto callStub = [&](uint32_t index, const Block& frame) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[frame.size() + 1]);
    if (!frame.empty()) std::memcpy(exact.get(), frame.data(), frame.size());
    const uint32_t rc = Bridge16Call(index, exact.get(), static_cast<uint32_t>(frame.size()));
    if (Bridge16FixedMappings() != 0) std::abort();
    return rc;
  };
  auto at = [&](size_t block) { return VANTIK_FAR16(regions[block].selector, 0); };
  auto read16 = [&](size_t block) {
    return static_cast<int16_t>(regions[block].bytes[0] | regions[block].bytes[1] << 8);
  };
  auto read32 = [&](size_t block) {
    uint32_t v;
    std::memcpy(&v, regions[block].bytes.get(), 4);
    return v;
  };
  // Feeds a service's resource dialogue from the template blocks, the
  // first block (the colour-table index, or whatever the instance asks
  // for) and then each block the in/out short names, while one is found.
  auto dialogue = [&](uint32_t stub, uint32_t handle, int first,
                      const std::vector<std::pair<int, size_t>>& numbered) {
    int number = first;
    for (int step = 0; step < 8; ++step) {
      size_t block = SIZE_MAX;
      for (const auto& [n, index] : numbered)
        if (n == number) block = index;
      if (block == SIZE_MAX) return;
      Block frame;
      Put32(frame, handle);
      Put32(frame, at(block));
      Put32(frame, at(templates.inOut));
      if (callStub(stub, frame) != RC_OK) return;
      number = read16(templates.inOut);
      if (number == -1) return;
    }
  };

  // A ready-made page: colour matching (given the tagged list at listFar)
  // and a halftone instance of kind 1, 2 or 3 with both resource dialogues
  // run to the end, so that the calls after it reach working instances
  // (bands above all).  With moveList the caller's list and records move
  // away right after colour matching is made: the table and calibration
  // steps of its dialogue must read the bridge's copies.
  auto page = [&](uint32_t listFar, bool moveList) {
    Block frame;
    for (size_t f : {templates.pageAdjust, size_t{0}, size_t{0}, size_t{0},
                     templates.firstParams, size_t{0}, size_t{0}, templates.inOut,
                     templates.var}) {
      Put32(frame, f == 0 ? 0 : at(f));
    }
    std::memcpy(frame.data() + 12, &listFar, 4);
    if (callStub(STUB_CM_NEW, frame) != RC_OK) return;
    if (moveList) moveAway();
    const uint32_t cm = read32(templates.var);
    dialogue(STUB_CM_SET_RESOURCE, cm, templates.colourBlocks.front().first,
             templates.colourBlocks);
    frame.clear();
    Put32(frame, cm);
    const uint32_t lut = callStub(STUB_CM_GET_LUT, frame);
    frame.clear();
    Put32(frame, at(templates.firstParams + in.ConsumeIntegralInRange<size_t>(0, 2)));
    Put32(frame, 0);
    Put32(frame, lut);
    Put32(frame, 0);
    Put32(frame, at(templates.inOut));
    Put32(frame, at(templates.var));
    if (callStub(STUB_HALFTONE_NEW, frame) != RC_OK) return;
    dialogue(STUB_HALFTONE_SET_RESOURCE, read32(templates.var), read16(templates.inOut),
             templates.halftoneBlocks);
  };

  // The value of one pair of a tagged list, for a record of kind `kind`
  // (a key the bridge copies) or any other key: null, the record where
  // it ends exactly at the end of the caller's memory, one byte later (it
  // runs one byte past), just past the memory, inside a larger block, at
  // an unknown selector, anywhere in any region, or any 32 bits.
  auto valueFar = [&](int kind) -> uint32_t {
    const size_t own = templates.records[kind < 0 ? Templates::kGamma : kind];
    const uint16_t sel = regions[own].selector;
    const uint32_t length = regions[own].length;
    switch (in.ConsumeIntegralInRange<int>(0, 8)) {
      case 0: return 0;
      case 1: return VANTIK_FAR16(sel, 1);
      case 2: return VANTIK_FAR16(sel, length);
      case 3:
        return VANTIK_FAR16(regions[templates.pool].selector,
                            templates.poolOffset[kind < 0 ? 0 : kind]);
      case 4: return VANTIK_FAR16(in.ConsumeIntegralInRange<uint16_t>(0x4000, 0x4010), 0);
      case 5: return farField();
      case 6: return in.ConsumeIntegral<uint32_t>();
      default: return VANTIK_FAR16(sel, 0);
    }
  };
  // Builds a tagged list in the list region: 0 to 16 pairs, past 16, or a
  // count that lies about the pairs behind it (negative, or larger than
  // the memory holds); each pair a key the bridge copies (also twice), or
  // another key, with a value as above.
  auto buildList = [&]() {
    const int shape = in.ConsumeIntegralInRange<int>(0, 7);
    const int pairs = shape == 6   ? in.ConsumeIntegralInRange<int>(17, 20)
                      : shape == 7 ? in.ConsumeIntegralInRange<int>(0, 4)
                                   : in.ConsumeIntegralInRange<int>(0, 16);
    const uint32_t count = shape == 7 ? in.ConsumeIntegral<uint32_t>() : static_cast<uint32_t>(pairs);
    Block list;
    Put32(list, count);
    for (int i = 0; i < pairs; ++i) {
      const int which = in.ConsumeIntegralInRange<int>(0, 4);
      if (which < Templates::kRecordKinds) {
        Put32(list, static_cast<uint32_t>(Templates::kRecordKeys[which]));
        Put32(list, valueFar(which));
      } else {
        Put32(list, which == 3 ? in.ConsumeIntegral<uint32_t>()
                               : static_cast<uint32_t>(in.ConsumeIntegralInRange<int>(0, 600)));
        Put32(list, valueFar(-1));
      }
    }
    // The caller's memory may end before the last pair does.
    const size_t cut = std::min<size_t>(list.size() - 4, in.ConsumeIntegralInRange<size_t>(0, 3) == 0
                                                             ? in.ConsumeIntegralInRange<size_t>(1, 8)
                                                             : 0);
    list.resize(list.size() - cut);
    renew(listRegion, list.data(), static_cast<uint32_t>(list.size()));
  };

  for (int call = 0; call < 48 && in.remaining_bytes() > 0; ++call) {
    const int op = in.ConsumeIntegralInRange<int>(0, STUB_COUNT + 3);
    if (op == STUB_COUNT + 3) {
      // A tagged list, then a page made with it, a preview made with it, or
      // nothing (the list region is there for any call's far addresses).
      buildList();
      const uint32_t listFar = VANTIK_FAR16(regions[listRegion].selector, 0);
      switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: page(listFar, false); break;
        case 1: page(listFar, true); break;
        case 2: {
          Block frame;
          for (size_t f : {templates.pageAdjust, size_t{0}, size_t{0}, listRegion,
                           templates.previewOptions, size_t{0}}) {
            Put32(frame, f == 0 ? 0 : at(f));
          }
          Put16(frame, in.ConsumeIntegralInRange<int>(0, 3));
          Put32(frame, at(templates.var));
          (void)callStub(STUB_PREVIEW_NEW, frame);
          break;
        }
        default: break;
      }
      continue;
    }
    if (op == STUB_COUNT + 2) {
      page(0, false);
      continue;
    }
    if (op == STUB_COUNT + 1) {
      // The caller changes one byte of its memory between calls.
      Region& r = regions[in.ConsumeIntegralInRange<size_t>(0, regions.size() - 1)];
      if (r.length != 0)
        r.bytes[in.ConsumeIntegralInRange<uint32_t>(0, r.length - 1)] = in.ConsumeIntegral<uint8_t>();
      continue;
    }
    Block frame;
    uint32_t index = static_cast<uint32_t>(op);
    if (op == STUB_COUNT) {
      // Any index with a frame of any size up to 40 bytes.
      index = in.ConsumeIntegral<uint8_t>();
      frame = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
    } else {
      for (const char* f = kLayouts[op]; *f != '\0'; ++f) {
        switch (*f) {
          case kFar: Put32(frame, farField()); break;
          case kHandle:
            Put32(frame, in.ConsumeIntegralInRange<int>(0, 7) == 0
                             ? in.ConsumeIntegral<uint32_t>()
                             : kFirstHandle + in.ConsumeIntegralInRange<uint32_t>(0, 7));
            break;
          case kShort: Put16(frame, in.ConsumeIntegral<uint16_t>()); break;
          case kU32: Put32(frame, in.ConsumeIntegral<uint32_t>()); break;
        }
      }
    }
    (void)callStub(index, frame);
  }

  // Delete whatever is still open: halftone instances before the colour
  // instances whose CmLut they read.
  // Handles are never reused within a connection and a ready-made page
  // takes three, so an input hands out at most 3 x 48 of them.
  for (int stub : {STUB_HALFTONE_DELETE, STUB_PREVIEW_DELETE, STUB_CM_DELETE}) {
    for (uint32_t h = kFirstHandle; h < kFirstHandle + 3 * 48; ++h) {
      Block frame;
      Put32(frame, h);
      (void)Bridge16Call(static_cast<uint32_t>(stub), frame.data(), 4);
    }
  }
  Bridge16Disconnect();
  if (vantik::MemLiveBlocks() != live) std::abort();
  return 0;
}
