// One 16-bit call frame: reads the arguments in order, maps far addresses
// through the selector table, keeps in/out shorts in 32-bit temporaries, and
// at the end of the call writes those back (low 16 bits) and releases the
// mappings.
#pragma once

#include <cstdint>
#include <memory>

#include "interface/byte_reader.h"
#include "vantik/bridge16.h"

namespace vantik::bridge {

inline constexpr int kMaxListPairs = 16;

// The caller's tagged list, widened, with copies of the records the library
// reads through it.  The library reads the list again after the creating
// call has returned (colour matching looks its calibration record up at the
// table step and in the calibration steps, and its adjustment pass hands
// the list to a preview), so the list stays with the instance's handle for
// as long as the instance lives.  Gamma (key 1, 4 bytes) and the curve
// table (key 256, 768 bytes) are copied whole and must lie in the caller's
// memory; a calibration record (key 512) is copied up to kCalibrationCopy
// bytes or the end of the caller's memory, and the zeros after the copy end
// it there, so that no read of it leaves the copy.  Other values are not
// read by the library and stay addresses in the caller's memory.
struct WidenedList {
  static constexpr uint32_t kGammaBytes = 4;
  static constexpr uint32_t kCurveBytes = 768;
  // "CW:", the key, a level per ink (at most 96) and the two end bytes.
  static constexpr uint32_t kCalibrationCopy = 128;

  TaggedValueList list{};
  TaggedValuePair pairs[kMaxListPairs] = {};
  uint8_t gamma[kGammaBytes] = {};
  uint8_t curves[kCurveBytes] = {};
  uint8_t calibration[kCalibrationCopy + 8] = {};
};

class Frame {
 public:
  static constexpr int kMaxMappings = 48;
  static constexpr int kMaxInOut = 2;
  static constexpr int kMaxPairs = kMaxListPairs;

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
  // key and a far value), widened with each value mapped and the records
  // the library reads copied (WidenedList).  A list of more than 16 pairs,
  // or one whose pairs or read records run past the caller's memory, marks
  // the frame bad.
  TaggedValueList* List(FarPtr16 far);
  // The widened list, for the handle of the instance it was given to (null
  // when the call had none).
  std::unique_ptr<WidenedList> TakeList() { return std::move(widened_); }

  bool bad() const { return bad_; }
  // The code of a bad frame: RC_NO_MEMORY when the widened list could not
  // be made, else RC_BAD_HANDLE.
  uint32_t BadCode() const;
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
  std::unique_ptr<WidenedList> widened_;
  bool noMemory_ = false;
};

}  // namespace vantik::bridge
