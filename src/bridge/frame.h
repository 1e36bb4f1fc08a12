// One 16-bit call frame: reads the arguments in order, maps far addresses
// through the selector table, keeps in/out shorts in 32-bit temporaries, and
// at the end of the call writes those back (low 16 bits) and releases the
// mappings.
#pragma once

#include <cstdint>

#include "interface/byte_reader.h"
#include "vantik/bridge16.h"

namespace vantik::bridge {

class Frame {
 public:
  static constexpr int kMaxMappings = 48;
  static constexpr int kMaxInOut = 2;
  static constexpr int kMaxPairs = 16;

  Frame(const void* data, uint32_t bytes);
  ~Frame() { Finish(); }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  uint32_t U32() { return reader_.U32LE(); }
  int32_t Short() { return reader_.S16LE(); }
  uint32_t Word() { return reader_.U16LE(); }
  FarPtr16 Far() { return reader_.U32LE(); }

  // Flat address of far with at least `need` bytes reachable behind it (the
  // reachable count is stored when asked for).  A null far gives null; a far
  // address outside the registered selectors marks the frame bad.
  uint8_t* Map(FarPtr16 far, uint32_t need, uint32_t* reachable = nullptr);
  // An in/out short: null for a null far, else a sign-extended temporary.
  int32_t* InOut(FarPtr16 far);
  // The caller's tagged list (a signed 32-bit count, then pairs of a 32-bit
  // key and a far value), widened with each value mapped.
  TaggedValueList* List(FarPtr16 far);

  bool bad() const { return bad_; }
  // Writes the in/out temporaries back and releases the mappings; runs once.
  void Finish();

 private:
  ByteReader reader_;
  bool bad_ = false;
  bool finished_ = false;
  FarPtr16 mapped_[kMaxMappings];
  int mappedCount_ = 0;
  struct InOutSlot {
    uint8_t* where;
    int32_t value;
  } inOut_[kMaxInOut];
  int inOutCount_ = 0;
  TaggedValuePair pairs_[kMaxPairs];
  TaggedValueList list_{};
};

}  // namespace vantik::bridge
