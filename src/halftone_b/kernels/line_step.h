// Two threads diffusing consecutive lines at once.
//
// A diffused pixel at column x reads its error entry and changes entries
// x - 23 .. x + 23 of the ink's one error line (the widest spread, set J,
// reaches 23 either way).  The next line touches the same entries from
// the same columns, so it may take pixel x' once the line before has done
// every pixel up to x' + 46: from then on no entry it reaches still waits
// for an earlier change.  Lines run this way, each a fixed lead behind the
// one before, make every entry see the same changes in the same order as
// one line after the other, and so the same bits.
//
// Each line publishes how far it has come (columns below `done` are
// finished) in a small ring of slots; the line after waits on it.  A line
// publishes kFinished on every way out, errors included, so no follower
// waits forever.
#pragma once

#include <atomic>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantik::halftone_b {

class LineStep {
 public:
  static constexpr uint32_t kFinished = 0xFFFFFFFFu;
  // Columns a follower stays behind the column its leader has finished:
  // two spread reaches and the pixel between them, rounded up.
  static constexpr uint32_t kLead = 48;
  // Pixels between two looks at the leader's progress.
  static constexpr uint32_t kChunk = 64;

  LineStep() {
    for (auto& s : slots_) s.store(kEmpty, std::memory_order_relaxed);
  }

  // Line y has finished every column below done.
  void Publish(uint32_t y, uint32_t done) {
    std::atomic<uint64_t>& slot = slots_[y % kSlots];
    slot.store(static_cast<uint64_t>(y) << 32 | done, std::memory_order_release);
    slot.notify_all();  // cheap while nobody sleeps on it
  }

  // Waits until line y has finished every column below `done` (kFinished:
  // the whole line) and has published at least once.
  // A short spin covers the usual case of a leader a little short of the
  // mark; a leader that lost its core is waited for asleep.
  void WaitFor(uint32_t y, uint32_t done) const {
    const std::atomic<uint64_t>& slot = slots_[y % kSlots];
    for (int spins = 0;; ++spins) {
      const uint64_t v = slot.load(std::memory_order_acquire);
      if (v != kEmpty) {
        const uint32_t line = static_cast<uint32_t>(v >> 32);
        // A later line in the slot means line y is long done.
        if (line > y || (line == y && static_cast<uint32_t>(v) >= done)) return;
      }
      if (spins < 200) {
#if defined(__SSE2__)
        _mm_pause();
#endif
      } else {
        slot.wait(v, std::memory_order_acquire);
      }
    }
  }

 private:
  static constexpr uint64_t kEmpty = ~uint64_t{0};
  // Two workers keep at most two lines in flight; a few more slots leave
  // room.
  static constexpr int kSlots = 8;
  std::atomic<uint64_t> slots_[kSlots];
};

// Where a follower at column x, about to take a chunk of a run ending at
// end, needs its leader to be.
inline uint32_t LeaderNeeded(uint32_t x, uint32_t end) {
  const uint64_t need = uint64_t{x} + LineStep::kChunk + LineStep::kLead;
  return need >= end ? LineStep::kFinished : static_cast<uint32_t>(need);
}

// What a kernel run needs to take part: the shared progress, and whether a
// line before this one is still to be waited for.
struct StepRun {
  LineStep* step = nullptr;
  bool follows = false;  // false: the first line, nothing before it runs
};

// Publishes kFinished for the run's line when it goes out of scope, once
// the line before has finished too (a run refused early has waited for
// nothing), so that a finished line always means every line up to it is.
class FinishOnExit {
 public:
  FinishOnExit(const StepRun& run, uint32_t y) : run_(run), y_(y) {}
  ~FinishOnExit() {
    if (run_.step == nullptr) return;
    if (run_.follows) run_.step->WaitFor(y_ - 1, LineStep::kFinished);
    run_.step->Publish(y_, LineStep::kFinished);
  }
  FinishOnExit(const FinishOnExit&) = delete;
  FinishOnExit& operator=(const FinishOnExit&) = delete;

 private:
  const StepRun& run_;
  uint32_t y_;
};

}  // namespace vantik::halftone_b
