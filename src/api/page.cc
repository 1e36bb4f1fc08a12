// Whole pages: source rows are scaled to printer resolution one line at a
// time, put into the engine's pixel form and halftoned; only two source rows
// and a few batches of lines are held.
//
// Three stages do the work: the source stage reads and scales rows into the
// engine's pixel form, the halftone stage makes the planes, the sink stage
// hands them on.  With one thread they take turns batch by batch on the
// calling thread; with more, the halftone and sink stages run on threads of
// their own and the source stage on the calling thread, joined by queues
// of batches drawn from a fixed pool (which bounds memory and lets a fast
// stage run at most a pool's length ahead).  Each stage handles its batches
// in page order, so the engine sees the same calls either way and the planes
// are the same bits.
//
// With two threads the four-ink diffusion methods split the halftoning of
// each line in two: a translate stage between the source and the halftone
// stage computes the lines' front ends (the kernels' records, which do not
// depend on the error lines) ahead, and the halftone stage diffuses from
// them.  Whichever of the two reaches a line first takes it, so the work
// balances itself: a line the translate stage has not started is halftoned
// whole by the halftone stage.
//
// With three threads or more they instead halftone two lines at once: a
// partner thread takes the odd lines, the stage the even ones, and each
// line steps a fixed lead behind the one before it (the kernels'
// line_step.h), which keeps the error lines' changes in one-thread order.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "halftone_b/dispatch.h"
#include "halftone_b/kernels/line_step.h"
#include "interface/params.h"
#include "vantik/vantik.hpp"

namespace vantik {

struct HalftonerAccess {
  static HalftoneHandle Handle(const Halftoner& h) { return h.handle_; }
};

namespace {

using Clock = std::chrono::steady_clock;

// While alive, the calling thread blocks every asynchronous signal, so that
// threads started meanwhile inherit the mask.  The page's own threads then
// never take a signal meant for the caller: a process-directed signal (a
// cancelled job's SIGTERM) goes to the caller's thread, where a blocking read
// of the source returns and the caller's handler sees it.  Faults (SIGSEGV and
// the like) stay with the thread that raises them.
class AsyncSignalsBlocked {
 public:
  AsyncSignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS}) sigdelset(&all, sig);
    pthread_sigmask(SIG_BLOCK, &all, &old_);
  }
  ~AsyncSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  AsyncSignalsBlocked(const AsyncSignalsBlocked&) = delete;
  AsyncSignalsBlocked& operator=(const AsyncSignalsBlocked&) = delete;

 private:
  sigset_t old_;
};

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Position of output sample i of n on an axis of m source samples, with the
// sample centres aligned: source = (i + 0.5) * m / n - 0.5, in 1/256 units.
struct Tap {
  int lo;
  int hi;
  int frac;  // weight of hi, 0..256
};

Tap TapOf(int i, int n, int m) {
  int64_t pos = ((2 * static_cast<int64_t>(i) + 1) * m * 256) / (2 * static_cast<int64_t>(n)) - 128;
  if (pos < 0) pos = 0;
  int lo = static_cast<int>(pos >> 8);
  int frac = static_cast<int>(pos & 255);
  if (lo >= m - 1) {
    lo = m - 1;
    frac = 0;
  }
  return {lo, std::min(lo + 1, m - 1), frac};
}

// Sizes and offsets up to 2^24 keep every position above inside 64 bits.
constexpr int kMaxExtent = 1 << 24;

// Where R, G and B go in the engine's pixel: its own 3-byte form (RGB or
// BGR), else bytes 1..3 of four.
PixelLayout RgbFormOf(const HalftoneSettings& s) {
  const PixelLayout form = HalftoneInputLayoutOf(s.kind, s.renderMode, s.lutMode);
  return form.bytesPerPixel == 3 ? form : LayoutOf(kRenderXrgb);
}

// Page lines in the engine's pixel form: source rows are read in order, each
// once, blended across (kept per source row, since an enlarging page uses a
// row for several lines) and then down, and written as one gray byte, packed
// RGB or RGB in bytes 1..3 of four.  Columns and lines outside the placed
// area are white.
class LineMaker {
 public:
  // `rgb` says where R, G and B go in a pixel of bpp bytes.
  LineMaker(const PageGeometry& g, int bpp, const PixelLayout& rgb, const RowSource& source)
      : g_(g), bpp_(bpp), rgb_(rgb), source_(source) {
    areaW_ = g.placedWidth > 0 ? g.placedWidth : g.width;
    areaH_ = g.placedHeight > 0 ? g.placedHeight : g.height;
    x0_ = std::clamp(g.left, 0, g.width);
    x1_ = static_cast<int>(std::clamp<int64_t>(int64_t{g.left} + areaW_, x0_, g.width));
    unscaled_ = areaW_ == g.sourceWidth && areaH_ == g.sourceHeight;
    // Taps of the covered columns only: a placed area may be far wider than
    // the page.
    xs_.resize(static_cast<size_t>(x1_ - x0_));
    for (int x = x0_; x < x1_; ++x) {
      xs_[static_cast<size_t>(x - x0_)] = TapOf(x - g.left, areaW_, g.sourceWidth);
    }
    const size_t sw = static_cast<size_t>(g.sourceWidth);
    for (int i = 0; i < 2; ++i) {
      rows_[i].assign(sw * 3, 0);
      across_[i].assign(static_cast<size_t>(x1_ - x0_) * 3, 0);
    }
    scaled_.assign(static_cast<size_t>(g.width) * 3, 255);
  }

  // Writes page line y (lines asked in order) to out, width x bpp bytes;
  // byte 0 of four-byte pixels is left as it is.
  Status Make(int y, uint8_t* out) {
    const int row = y - g_.top;
    uint8_t* s = scaled_.data() + static_cast<size_t>(x0_) * 3;
    const size_t n = static_cast<size_t>(x1_ - x0_) * 3;
    if (row < 0 || row >= areaH_ || n == 0) {
      std::fill_n(s, n, uint8_t{255});
    } else if (unscaled_) {
      // Both axes one to one: the blend would give back the source bytes.
      Status st = Load(row);
      if (!st.ok()) return st;
      std::memcpy(s, rows_[1].data() + static_cast<size_t>(x0_ - g_.left) * 3, n);
    } else {
      const Tap ty = TapOf(row, areaH_, g_.sourceHeight);
      Status st = Load(ty.hi);
      if (!st.ok()) return st;
      // lo == hi, or hi the first row: both taps from the newer row.
      const uint16_t* a = across_[held_[0] == ty.lo ? 0 : 1].data();
      const uint16_t* b = across_[1].data();
      const uint32_t fa = static_cast<uint32_t>(256 - ty.frac), fb = static_cast<uint32_t>(ty.frac);
      for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<uint8_t>((a[i] * fa + b[i] * fb + (1u << 15)) >> 16);
      }
    }
    Emit(out);
    return Status::Ok();
  }

  // Reads the rows the scaling did not need, so a streaming source reaches
  // its end.
  Status Finish() {
    while (next_ < g_.sourceHeight) {
      Status st = source_(next_++, rows_[0]);
      if (!st.ok()) return st;
    }
    return Status::Ok();
  }

 private:
  // Reads source rows up to hi into slot 1, the one before into slot 0.
  Status Load(int hi) {
    while (held_[1] < hi) {
      std::swap(rows_[0], rows_[1]);
      std::swap(across_[0], across_[1]);
      held_[0] = held_[1];
      Status st = source_(next_, rows_[1]);
      if (!st.ok()) return st;
      held_[1] = next_++;
      if (!unscaled_) Across(rows_[1].data(), across_[1].data());
    }
    return Status::Ok();
  }

  // A source row blended across to the placed columns, in 1/256 units.
  void Across(const uint8_t* r, uint16_t* out) const {
    for (int x = x0_; x < x1_; ++x) {
      const Tap t = xs_[static_cast<size_t>(x - x0_)];
      const uint32_t fa = static_cast<uint32_t>(256 - t.frac), fb = static_cast<uint32_t>(t.frac);
      const uint8_t* lo = r + static_cast<size_t>(t.lo) * 3;
      const uint8_t* hi = r + static_cast<size_t>(t.hi) * 3;
      for (int c = 0; c < 3; ++c) *out++ = static_cast<uint16_t>(lo[c] * fa + hi[c] * fb);
    }
  }

  void Emit(uint8_t* out) const {
    const uint8_t* p = scaled_.data();
    const int w = g_.width;
    if (bpp_ == 1) {
      for (int x = 0; x < w; ++x, p += 3) {
        out[x] = static_cast<uint8_t>((299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000);
      }
    } else if (bpp_ == 3 && rgb_.offsets[0] == 0 && rgb_.offsets[2] == 2) {
      std::memcpy(out, p, static_cast<size_t>(w) * 3);
    } else if (bpp_ == 3) {
      for (int x = 0; x < w; ++x, p += 3, out += 3) {
        out[rgb_.offsets[0]] = p[0];
        out[rgb_.offsets[1]] = p[1];
        out[rgb_.offsets[2]] = p[2];
      }
    } else {
      for (int x = 0; x < w; ++x, p += 3, out += 4) {
        out[1] = p[0];
        out[2] = p[1];
        out[3] = p[2];
      }
    }
  }

  const PageGeometry& g_;
  const int bpp_;
  const PixelLayout rgb_;
  const RowSource& source_;
  int areaW_ = 0, areaH_ = 0;
  int x0_ = 0, x1_ = 0;  // page columns the placed area covers
  bool unscaled_ = false;
  std::vector<Tap> xs_;
  std::vector<uint8_t> rows_[2];
  std::vector<uint16_t> across_[2];
  int held_[2] = {-1, -1};
  int next_ = 0;  // next source row to ask for
  std::vector<uint8_t> scaled_;
};

// Who has a line of a split batch (see PageRun::SplitHalftone).
enum LineState : uint8_t {
  kLineFree,        // nobody yet
  kLineTranslating, // the translate stage is making its records
  kLineRecorded,    // records ready for the diffusion
  kLineRefused,     // the front end refused it: halftoned whole
  kLineTaken,       // the halftone stage halftones it whole
};

// A run of consecutive page lines on its way through the stages.
struct Batch {
  int first = 0;
  int count = 0;
  std::vector<uint8_t> pixels;  // pixel lines, each followed by zero padding
  std::vector<uint8_t> planes;  // per line: planes x planeBytes
  // Split halftoning only: per line, the front end's records (width each)
  // and who has the line.
  std::vector<uint32_t> records;
  std::unique_ptr<std::atomic<uint8_t>[]> states;
};

// A queue between two stages.  Close lets the taker drain what is queued;
// Cancel stops both sides at once.
class Channel {
 public:
  void Push(Batch* b) {
    {
      std::lock_guard<std::mutex> lock(m_);
      if (cancelled_) return;
      q_.push_back(b);
    }
    cv_.notify_one();
  }
  bool Pop(Batch*& b) {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [&] { return cancelled_ || closed_ || !q_.empty(); });
    if (cancelled_ || q_.empty()) return false;
    b = q_.front();
    q_.pop_front();
    return true;
  }
  void Close() {
    {
      std::lock_guard<std::mutex> lock(m_);
      closed_ = true;
    }
    cv_.notify_all();
  }
  void Cancel() {
    {
      std::lock_guard<std::mutex> lock(m_);
      cancelled_ = true;
    }
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<Batch*> q_;
  bool closed_ = false, cancelled_ = false;
};

class PageRun {
 public:
  PageRun(Halftoner& halftoner, const PageGeometry& g, const RowSource& source,
          const PlaneSink& sink, const Progress& progress)
      : halftoner_(halftoner),
        g_(g),
        sink_(sink),
        progress_(progress),
        maker_(g, halftoner.bytesPerPixel(), RgbFormOf(halftoner.settings()), source) {
    planes_ = halftoner.planes();
    planeBytes_ = PlaneBytes(g.width);
    pixelStride_ = static_cast<size_t>(g.width) * halftoner.bytesPerPixel() + 8;
    // About 4 MB of pixels per batch (64 lines at most): every batch is a
    // hand-over between threads, and lines taken in step wait for each
    // other at a batch's end.
    batchLines_ = static_cast<int>(std::clamp<size_t>((size_t{1} << 22) / pixelStride_, 1, 64));
    batchLines_ = std::min(batchLines_, g.height);
  }

  Status RunInline(PageStageTimes& times) {
    Batch b = MakeBatch();
    for (int y = 0; y < g_.height; y += batchLines_) {
      b.first = y;
      b.count = std::min(batchLines_, g_.height - y);
      auto t = Clock::now();
      Status s = Source(b);
      times.source += Since(t);
      if (!s.ok()) return s;
      t = Clock::now();
      s = Halftone(b);
      times.halftone += Since(t);
      if (!s.ok()) return s;
      t = Clock::now();
      s = Sink(b);
      times.sink += Since(t);
      if (!s.ok()) return s;
    }
    const auto t = Clock::now();
    Status s = maker_.Finish();
    times.source += Since(t);
    return s;
  }

  // Whether the halftoning can take two lines at once.
  bool CanStep() const {
    return halftoner_.settings().kind != kKindEngineA &&
           halftone_b::EngineBStepsLines(HalftonerAccess::Handle(halftoner_));
  }

  // Whether the halftoning can run a line's front end apart from its
  // diffusion.
  bool CanSplit() const {
    return halftoner_.settings().kind != kKindEngineA &&
           halftone_b::EngineBSplitsLines(HalftonerAccess::Handle(halftoner_));
  }

  enum class Mode { kPlain, kStepped, kSplit };

  Status RunThreaded(PageStageTimes& times, Mode mode) {
    mode_ = mode;
    constexpr int kPool = 6;
    std::vector<Batch> pool(kPool);
    for (Batch& b : pool) {
      b = MakeBatch();
      free_.Push(&b);
    }
    // The source stays on the calling thread: image decoders often tie
    // their state to the thread that opened them.
    std::thread translate;
    std::thread halftone;
    std::thread sink;
    {
      AsyncSignalsBlocked blocked;
      if (mode == Mode::kSplit) {
        translate = std::thread([&] { Guard(&PageRun::TranslateStage, times.translate); });
      }
      halftone = std::thread([&] { Guard(&PageRun::HalftoneStage, times.halftone); });
      sink = std::thread([&] { Guard(&PageRun::SinkStage, times.sink); });
    }
    Guard(&PageRun::SourceStage, times.source);
    if (translate.joinable()) translate.join();
    halftone.join();
    sink.join();
    if (thrown_) std::rethrow_exception(thrown_);
    return failure_;
  }

 private:
  Batch MakeBatch() const {
    Batch b;
    b.pixels.assign(pixelStride_ * static_cast<size_t>(batchLines_), 0);
    b.planes.assign(planeBytes_ * static_cast<size_t>(planes_) * static_cast<size_t>(batchLines_), 0);
    if (mode_ == Mode::kSplit) {
      b.records.assign(static_cast<size_t>(g_.width) * static_cast<size_t>(batchLines_), 0);
      b.states = std::make_unique<std::atomic<uint8_t>[]>(static_cast<size_t>(batchLines_));
    }
    return b;
  }

  Status Source(Batch& b) {
    for (int i = 0; i < b.count; ++i) {
      Status s = maker_.Make(b.first + i, b.pixels.data() + pixelStride_ * static_cast<size_t>(i));
      if (!s.ok()) return s;
    }
    return Status::Ok();
  }

  Status Halftone(Batch& b) {
    const size_t lineBytes = planeBytes_ * static_cast<size_t>(planes_);
    std::fill_n(b.planes.begin(), lineBytes * static_cast<size_t>(b.count), uint8_t{0});
    for (int i = 0; i < b.count; ++i) {
      Status s = halftoner_.Line(b.pixels.data() + pixelStride_ * static_cast<size_t>(i),
                                 b.planes.data() + lineBytes * static_cast<size_t>(i),
                                 static_cast<int32_t>(planeBytes_),
                                 static_cast<uint32_t>(g_.width), 0,
                                 static_cast<uint32_t>(b.first + i));
      if (!s.ok()) return s;
    }
    return Status::Ok();
  }

  Status Sink(const Batch& b) {
    const size_t lineBytes = planeBytes_ * static_cast<size_t>(planes_);
    std::vector<std::span<const uint8_t>> views(static_cast<size_t>(planes_));
    for (int i = 0; i < b.count; ++i) {
      const uint8_t* line = b.planes.data() + lineBytes * static_cast<size_t>(i);
      for (int k = 0; k < planes_; ++k) {
        views[static_cast<size_t>(k)] = {line + planeBytes_ * static_cast<size_t>(k), planeBytes_};
      }
      const int y = b.first + i;
      Status s = sink_(y, views);
      if (!s.ok()) return s;
      if (progress_) progress_(y + 1, g_.height);
    }
    return Status::Ok();
  }

  // ---- Stages on threads ----

  Status SourceStage(double& busy) {
    for (int y = 0; y < g_.height; y += batchLines_) {
      Batch* b = nullptr;
      if (!free_.Pop(b)) return Status::Ok();  // stopped by another stage
      b->first = y;
      b->count = std::min(batchLines_, g_.height - y);
      const auto t = Clock::now();
      Status s = Source(*b);
      busy += Since(t);
      if (!s.ok()) return s;
      made_.Push(b);
    }
    made_.Close();
    const auto t = Clock::now();
    Status s = maker_.Finish();
    busy += Since(t);
    return s;
  }

  // Lines of one parity of a batch, each in step with the line before it.
  Status HalftoneInStep(Batch& b, int parity) {
    const size_t lineBytes = planeBytes_ * static_cast<size_t>(planes_);
    const HalftoneHandle handle = HalftonerAccess::Handle(halftoner_);
    for (int i = 0; i < b.count; ++i) {
      const int y = b.first + i;
      if ((y & 1) != parity) continue;
      uint8_t* dst = b.planes.data() + lineBytes * static_cast<size_t>(i);
      std::fill_n(dst, lineBytes, uint8_t{0});
      const halftone_b::StepRun run{&step_, y > 0};
      const uint32_t rc = halftone_b::EngineBBandInStep(
          handle, b.pixels.data() + pixelStride_ * static_cast<size_t>(i), dst,
          static_cast<int32_t>(planeBytes_), static_cast<uint32_t>(g_.width), 0,
          static_cast<uint32_t>(y), run);
      if (rc != RC_OK) return Status(rc, "halftoning line " + std::to_string(y) + " failed");
    }
    return Status::Ok();
  }

  // The partner thread of a stepped halftone stage: the odd lines of each
  // batch the stage hands it.
  class Partner {
   public:
    explicit Partner(PageRun& run) : run_(run), thread_([this] { Loop(); }) {}
    ~Partner() {
      {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
      }
      cv_.notify_all();
      thread_.join();
    }
    void Start(Batch* b) {
      {
        std::lock_guard<std::mutex> lock(m_);
        batch_ = b;
        ++given_;
      }
      cv_.notify_all();
    }
    Status Wait() {
      std::unique_lock<std::mutex> lock(m_);
      cv_.wait(lock, [&] { return done_ == given_; });
      return status_;
    }

   private:
    void Loop() {
      uint64_t seen = 0;
      for (;;) {
        Batch* b = nullptr;
        {
          std::unique_lock<std::mutex> lock(m_);
          cv_.wait(lock, [&] { return stop_ || given_ != seen; });
          if (given_ == seen) return;  // stopped with nothing left to do
          seen = given_;
          b = batch_;
        }
        Status s = run_.HalftoneInStep(*b, 1);
        {
          std::lock_guard<std::mutex> lock(m_);
          status_ = s;
          done_ = seen;
        }
        cv_.notify_all();
      }
    }

    PageRun& run_;
    std::mutex m_;
    std::condition_variable cv_;
    Batch* batch_ = nullptr;
    uint64_t given_ = 0, done_ = 0;
    bool stop_ = false;
    Status status_;
    std::thread thread_;  // last: starts once the fields above exist
  };

  // ---- Split halftoning ----
  //
  // The translate stage hands each batch on to the halftone stage before it
  // starts on the batch's lines, then claims the lines one by one in order
  // and makes their records.  The halftone stage takes the lines in order
  // too: a recorded line it diffuses, a line being translated it waits
  // for, and a line nobody has claimed it claims and halftones whole.  A
  // line's records are written by one thread and read by the other only
  // after the state says so (release / acquire).

  Status TranslateStage(double& busy) {
    const HalftoneHandle handle = HalftonerAccess::Handle(halftoner_);
    const size_t width = static_cast<size_t>(g_.width);
    Batch* b = nullptr;
    while (made_.Pop(b)) {
      const int count = b->count;
      for (int i = 0; i < count; ++i) b->states[i].store(kLineFree, std::memory_order_relaxed);
      const int first = b->first;
      translated_.Push(b);
      for (int i = 0; i < count; ++i) {
        std::atomic<uint8_t>& state = b->states[i];
        uint8_t expected = kLineFree;
        if (!state.compare_exchange_strong(expected, kLineTranslating,
                                           std::memory_order_acquire)) {
          continue;
        }
        const auto t = Clock::now();
        const uint32_t rc = halftone_b::EngineBTranslate(
            handle, b->pixels.data() + pixelStride_ * static_cast<size_t>(i),
            static_cast<uint32_t>(width), 0, static_cast<uint32_t>(first + i),
            b->records.data() + width * static_cast<size_t>(i));
        busy += Since(t);
        state.store(rc == RC_OK ? kLineRecorded : kLineRefused, std::memory_order_release);
        state.notify_all();
      }
    }
    translated_.Close();
    return Status::Ok();
  }

  Status SplitHalftone(Batch& b) {
    const size_t lineBytes = planeBytes_ * static_cast<size_t>(planes_);
    const size_t width = static_cast<size_t>(g_.width);
    const HalftoneHandle handle = HalftonerAccess::Handle(halftoner_);
    std::fill_n(b.planes.begin(), lineBytes * static_cast<size_t>(b.count), uint8_t{0});
    for (int i = 0; i < b.count; ++i) {
      const uint8_t* src = b.pixels.data() + pixelStride_ * static_cast<size_t>(i);
      uint8_t* dst = b.planes.data() + lineBytes * static_cast<size_t>(i);
      const uint32_t y = static_cast<uint32_t>(b.first + i);
      std::atomic<uint8_t>& state = b.states[i];
      uint8_t now = kLineFree;
      if (!state.compare_exchange_strong(now, kLineTaken, std::memory_order_acquire)) {
        while (now == kLineTranslating) {
          state.wait(kLineTranslating, std::memory_order_acquire);
          now = state.load(std::memory_order_acquire);
        }
      }
      if (now == kLineRecorded) {
        const uint32_t rc = halftone_b::EngineBDiffuse(
            handle, src, b.records.data() + width * static_cast<size_t>(i), dst,
            static_cast<int32_t>(planeBytes_), 0, static_cast<uint32_t>(width), 0, y, 0);
        if (rc != RC_OK) return Status(rc, "halftoning line " + std::to_string(y) + " failed");
      } else {
        Status s = halftoner_.Line(src, dst, static_cast<int32_t>(planeBytes_),
                                   static_cast<uint32_t>(width), 0, y);
        if (!s.ok()) return s;
      }
    }
    return Status::Ok();
  }

  Status HalftoneStage(double& busy) {
    if (mode_ == Mode::kStepped) return SteppedHalftoneStage(busy);
    const bool split = mode_ == Mode::kSplit;
    Channel& in = split ? translated_ : made_;
    Batch* b = nullptr;
    while (in.Pop(b)) {
      const auto t = Clock::now();
      Status s = split ? SplitHalftone(*b) : Halftone(*b);
      busy += Since(t);
      if (!s.ok()) return s;
      done_.Push(b);
    }
    done_.Close();
    return Status::Ok();
  }

  Status SteppedHalftoneStage(double& busy) {
    Partner partner(*this);
    Batch* b = nullptr;
    while (made_.Pop(b)) {
      const auto t = Clock::now();
      partner.Start(b);
      Status s = HalftoneInStep(*b, 0);
      const Status other = partner.Wait();
      busy += Since(t);
      if (s.ok()) s = other;
      if (!s.ok()) return s;
      done_.Push(b);
    }
    done_.Close();
    return Status::Ok();
  }

  Status SinkStage(double& busy) {
    Batch* b = nullptr;
    while (done_.Pop(b)) {
      const auto t = Clock::now();
      Status s = Sink(*b);
      busy += Since(t);
      if (!s.ok()) return s;
      free_.Push(b);
    }
    return Status::Ok();
  }

  // Runs a stage; a failure (or an exception from a callback) is kept, the
  // first one only, and stops every stage.
  void Guard(Status (PageRun::*stage)(double&), double& busy) {
    Status s;
    std::exception_ptr thrown;
    try {
      s = (this->*stage)(busy);
    } catch (...) {
      thrown = std::current_exception();
    }
    if (s.ok() && !thrown) return;
    {
      std::lock_guard<std::mutex> lock(failureLock_);
      if (failure_.ok() && !thrown_) {
        failure_ = s;
        thrown_ = thrown;
      }
    }
    free_.Cancel();
    made_.Cancel();
    translated_.Cancel();
    done_.Cancel();
  }

  Halftoner& halftoner_;
  const PageGeometry& g_;
  const PlaneSink& sink_;
  const Progress& progress_;
  LineMaker maker_;
  int planes_ = 0;
  size_t planeBytes_ = 0;
  size_t pixelStride_ = 0;
  int batchLines_ = 1;

  Channel free_, made_, translated_, done_;
  Mode mode_ = Mode::kPlain;
  halftone_b::LineStep step_;
  std::mutex failureLock_;
  Status failure_;
  std::exception_ptr thrown_;
};

}  // namespace

Status RenderPage(Halftoner& halftoner, const PageGeometry& g,
                  const RowSource& source, const PlaneSink& sink,
                  const Progress& progress, const PageOptions& options) {
  if (g.width <= 0 || g.height <= 0 || g.sourceWidth <= 0 || g.sourceHeight <= 0) {
    return Status(RC_BAD_PARAMETER, "page or source size is empty");
  }
  if (g.placedWidth < 0 || g.placedHeight < 0 || (g.placedWidth == 0) != (g.placedHeight == 0)) {
    return Status(RC_BAD_PARAMETER, "the placed image needs a width and a height");
  }
  for (int64_t v : {int64_t{g.width}, int64_t{g.height}, int64_t{g.sourceWidth},
                    int64_t{g.sourceHeight}, int64_t{g.placedWidth}, int64_t{g.placedHeight},
                    int64_t{g.left}, int64_t{g.top}}) {
    if (v > kMaxExtent || v < -kMaxExtent) {
      return Status(RC_BAD_PARAMETER, "page, source or placement larger than " +
                                          std::to_string(kMaxExtent) + " pixels");
    }
  }
  if (static_cast<uint32_t>(g.width) > halftoner.settings().lineWidth) {
    return Status(RC_BAND_TOO_LARGE, "page width " + std::to_string(g.width) +
                                         " dots exceeds the halftone line width " +
                                         std::to_string(halftoner.settings().lineWidth));
  }
  if (halftoner.settings().horizontalScale != 0) {
    return Status(RC_BAD_PARAMETER, "pages are rendered one pixel per dot");
  }
  if (options.threads < 0) {
    return Status(RC_BAD_PARAMETER, "the thread count cannot be negative");
  }
  int threads = options.threads;
  if (threads == 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

  PageStageTimes times;
  PageRun run(halftoner, g, source, sink, progress);
  // Two lines at once only with a thread for each beside the source and
  // the sink: with two cores the source and sink stages already keep the
  // second core busy, and lines in step that lose their core to them wait
  // for each other (measured slower than the three stages alone).  With
  // two, the front ends of the lines go to a stage of their own, which
  // takes up what the source and sink leave of the second core.
  using Mode = PageRun::Mode;
  const Mode mode = threads >= 3 && run.CanStep() ? Mode::kStepped
                    : threads == 2 && run.CanSplit() ? Mode::kSplit
                                                     : Mode::kPlain;
  times.threads = threads == 1 ? 1 : mode == Mode::kPlain ? 3 : 4;
  Status s = threads > 1 ? run.RunThreaded(times, mode) : run.RunInline(times);
  if (options.times != nullptr) *options.times = times;
  return s;
}

}  // namespace vantik
