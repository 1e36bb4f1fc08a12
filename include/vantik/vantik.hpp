// vantik C++ API: RAII classes over the C entry points of vantik.h.
//
// A caller never drives the resource dialogue by hand: a ResourceSet holds
// the blocks by number, and ColorMatcher / Halftoner answer every number the
// library asks for from it, passing each block with its length.  Every call
// reports a Status that carries the return code, its name and a message in
// words a user understands.  No exceptions are thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantik/service.h"
#include "vantik/vantik.h"

// The C++ API is part of the shared library's exported surface.
#pragma GCC visibility push(default)

namespace vantik {

// ---- Status ---------------------------------------------------------------

class Status {
 public:
  Status() = default;
  Status(uint32_t code, std::string message)
      : code_(code), message_(std::move(message)) {}
  static Status Ok() { return Status(); }

  bool ok() const { return code_ == RC_OK; }
  uint32_t code() const { return code_; }
  // Symbolic name of the code ("RC_BAD_RESOURCE").
  const char* name() const { return VantikCodeName(code_); }
  const std::string& message() const { return message_; }
  // "message (RC_NAME 0x300)", or "ok".
  std::string ToString() const;

 private:
  uint32_t code_ = RC_OK;
  std::string message_;
};

// A value or the Status that explains why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit on purpose
  Result(Status status) : status_(std::move(status)) {}  // NOLINT
  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  T& value() { return *value_; }
  T& operator*() { return *value_; }
  T* operator->() { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

// ---- User adjustments -----------------------------------------------------

// The user's colour adjustments, each -50..50 (0 = unchanged).
struct Adjustments {
  int brightness = 0;
  int contrast = 0;
  int saturation = 0;
  int red = 0;
  int green = 0;
  int blue = 0;

  // A ColorAdjustRecord with these adjustments in fields 1 to 6 and every
  // other field 0.
  ColorAdjustRecord ToRecord() const;
};

// Checks every adjustment before it reaches the library; the message names
// the first value out of range ("brightness 60 is outside -50..50").
Status Validate(const Adjustments& adjust);
// Gamma in hundredths (100..300) and sharpening mode (0..3) of the preview.
Status ValidateGamma(int gammaHundredths);
Status ValidateSharpen(int mode);

// ---- Resources --------------------------------------------------------------

const char* ServiceName(Service service);  // "colour", "halftone"

// Resource blocks by service and number.  Blocks are either owned (copied in)
// or borrowed views of memory that outlives the set (embedded defaults).
class ResourceSet {
 public:
  void Add(Service service, int number, std::vector<uint8_t> bytes);
  void AddView(Service service, int number, std::span<const uint8_t> bytes);
  // The block with that number, or an empty optional.
  std::optional<std::span<const uint8_t>> Find(Service service, int number) const;
  std::vector<int> Numbers(Service service) const;
  bool empty() const { return blocks_.empty(); }

 private:
  struct Entry {
    std::vector<uint8_t> owned;
    std::span<const uint8_t> view;
  };
  std::map<std::pair<int, int>, Entry> blocks_;
};

// Names read from a colour-table index: list 1 (kinds), list 2 (papers, with
// its base number) and list 3 (modes).  Used to turn a paper name into the
// number the library matches and to explain a failed match in words.
struct IndexNames {
  std::vector<std::string> kinds;
  int paperBase = 0;
  std::vector<std::string> papers;
  std::vector<std::string> modes;
  struct Entry {
    int table = 0, halftone = 0, xResolution = 0, yResolution = 0, selector = 0;
    std::string kind, paper, mode;
  };
  std::vector<Entry> entries;
  // The list-2 number of a paper name (case-insensitive), if listed.
  std::optional<int> PaperNumber(std::string_view name) const;
  // The name behind a list-2 number, or the number in digits.
  std::string PaperName(int number) const;
};
// Reads the names and entries of an index block; nothing outside the block
// is read.  An empty optional when the text does not have the index layout.
std::optional<IndexNames> ReadIndexNames(std::span<const uint8_t> block);

// ---- Colour matching ----------------------------------------------------------

// The colour-table index is the first colour block the caller hands over;
// the dialogue names it 0 (the value CmNewThk leaves in its in/out int).
constexpr int kColorIndexBlock = 0;

// A calibration record (TaggedValueList key 512): one level per ink, 30..70.
struct Calibration {
  int key = 0;
  std::vector<int> levels;
};
Status Validate(const Calibration& calibration, int channels);

// Halftone parameters in named form (HalftoneParams without the pointer).
struct HalftoneSettings {
  int kind = 1;
  int variant = 0;
  int renderMode = 3;   // 3: RGB pixels of 4 bytes (byte 0 unused); 0: one byte
  int lutMode = 1;      // 0: single ink from one gray byte per pixel
  int xResolution = 720;
  int yResolution = 720;
  int horizontalScale = 0;
  uint32_t lineWidth = 0;
  HalftoneParams ToParams() const;
};

// The inks a page is printed with, which decides the tables of the index
// that apply.
enum class InkSet {
  kColor,  // cyan, magenta, yellow and black through the colour tables, with
           // the table block's ink corrections
  kBlack,  // black alone, through the black-only tables (pair it with
           // renderMode 0 and lutMode 0: one gray byte per pixel)
};

struct ColorSettings {
  Adjustments adjust;
  InkSet inks = InkSet::kColor;
  int selector = 0;     // record field 7
  int paper = 0;        // record field 8 (list-2 number)
  int gammaHundredths = 0;  // 0: library default; else TaggedValueList key 1
  std::optional<Calibration> calibration;
  HalftoneSettings halftone;
  int indexBlock = kColorIndexBlock;
};

// A colour-matching instance whose resource sequence is complete.
class ColorMatcher {
 public:
  static Result<ColorMatcher> Create(const ColorSettings& settings,
                                     const ResourceSet& resources);
  ColorMatcher(ColorMatcher&&) noexcept;
  ColorMatcher& operator=(ColorMatcher&&) noexcept;
  ColorMatcher(const ColorMatcher&) = delete;
  ColorMatcher& operator=(const ColorMatcher&) = delete;
  ~ColorMatcher();

  // Ink values (channels() bytes per pixel, black last) of packed RGB pixels.
  Status Translate(std::span<const uint8_t> rgb, std::span<uint8_t> inks) const;
  int channels() const;
  CmLut* lut() const;
  CmHandle handle() const { return handle_; }
  const ColorSettings& settings() const;

 private:
  struct Owned;
  ColorMatcher(CmHandle handle, std::unique_ptr<Owned> owned);
  CmHandle handle_ = nullptr;
  std::unique_ptr<Owned> owned_;
};

// ---- Halftoning -------------------------------------------------------------

// Dot planes the engine writes for these settings: 4 for colour, 1 for a
// single ink.
int PlaneCount(const HalftoneSettings& settings);
// Bytes per input pixel the engine reads.
int InputBytesPerPixel(const HalftoneSettings& settings);

class Halftoner {
 public:
  // A halftoner for the matcher's halftone settings.  `matcher` must outlive
  // this call (the engine reads its table while loading); engine A resamples
  // the matcher's table in place, so later translations use that grid.
  static Result<Halftoner> Create(ColorMatcher& matcher,
                                  const ResourceSet& resources);
  Halftoner(Halftoner&&) noexcept;
  Halftoner& operator=(Halftoner&&) noexcept;
  Halftoner(const Halftoner&) = delete;
  Halftoner& operator=(const Halftoner&) = delete;
  ~Halftoner();

  // One run of one line: `count` dots from column x0 of line y, planes at
  // dst + k * planeStride starting at bit 0.
  Status Line(const uint8_t* src, uint8_t* dst, int32_t planeStride,
              uint32_t count, uint32_t x0, uint32_t y);
  int planes() const { return planes_; }
  int bytesPerPixel() const { return bytesPerPixel_; }
  const HalftoneSettings& settings() const { return settings_; }

 private:
  Halftoner(HalftoneHandle handle, const HalftoneSettings& settings);
  friend struct HalftonerAccess;  // the page pipeline's in-step runs
  HalftoneHandle handle_ = nullptr;
  HalftoneSettings settings_;
  int planes_ = 0;
  int bytesPerPixel_ = 0;
};

// ---- Preview ------------------------------------------------------------------

struct PreviewSettings {
  Adjustments adjust;
  int gammaHundredths = 150;
  int sharpen = 0;
};

class Preview {
 public:
  static Result<Preview> Create(const PreviewSettings& settings);
  Preview(Preview&&) noexcept;
  Preview& operator=(Preview&&) noexcept;
  Preview(const Preview&) = delete;
  Preview& operator=(const Preview&) = delete;
  ~Preview();

  // Packed RGB in, packed RGB out (may be the same buffer).
  Status Translate(std::span<const uint8_t> rgb, std::span<uint8_t> out) const;

 private:
  explicit Preview(PreviewHandle handle) : handle_(handle) {}
  PreviewHandle handle_ = nullptr;
};

// ---- Whole pages ----------------------------------------------------------------

// Supplies source row y (0-based, asked in increasing order) as packed RGB,
// 3 bytes per pixel, width pixels.  Return a failed Status to stop.
using RowSource = std::function<Status(int y, std::span<uint8_t> rgb)>;
// Receives output line y: plane k's packed bits (MSB first, 1 = dot).
using PlaneSink =
    std::function<Status(int y, std::span<const std::span<const uint8_t>> planes)>;
// Called after each output line with (done, total).
using Progress = std::function<void(int done, int total)>;

struct PageGeometry {
  int sourceWidth = 0, sourceHeight = 0;  // rows delivered by the RowSource
  int width = 0, height = 0;              // dots across and lines down
  // Where the scaled source lands on the page: its top-left dot and its size
  // in dots.  The page outside it is white (paper), and any part of it that
  // falls off the page is cut.  A size of 0 x 0 fills the whole page.
  int left = 0, top = 0;
  int placedWidth = 0, placedHeight = 0;
};

// Time each stage of a page spent working (not waiting), in seconds.
struct PageStageTimes {
  double source = 0;    // reading source rows, scaling, engine pixel form
  double halftone = 0;  // the engine's line calls (the stage's own thread)
  double translate = 0; // with two threads, the front ends of lines made
                        // ahead of the halftone stage (its own thread)
  double sink = 0;      // the sink and progress callbacks
  int threads = 0;      // threads the page ran on
};

struct PageOptions {
  // 0: one per core; 1: every stage on the calling thread.  With more, the
  // source, the halftoning and the sink run as stages on their own threads,
  // joined by bounded queues of line batches.  The four-ink diffusion
  // methods also split their halftoning: with 2, a stage of its own makes
  // the lines' colour translation ahead of their diffusion; with 3 or more,
  // two lines are halftoned at once, the second a few columns behind the
  // first.  The planes are the same bits whatever the
  // count.
  int threads = 0;
  PageStageTimes* times = nullptr;  // filled in when not null
};

// Renders a page line by line: source rows are scaled (bilinear, two source
// rows held) to the placed size, put into the engine's pixel form and
// halftoned; each finished line goes to the sink.  Memory is a few batches
// of lines, never the page.  The source is always called on the calling
// thread; the sink and the progress callback are called in order and from
// one thread at a time, but with more than one thread not from the calling
// one.
Status RenderPage(Halftoner& halftoner, const PageGeometry& geometry,
                  const RowSource& source, const PlaneSink& sink,
                  const Progress& progress = nullptr, const PageOptions& options = {});

// Bytes in one packed line of `dots` dots.
inline size_t PlaneBytes(int dots) { return (static_cast<size_t>(dots) + 7) / 8; }

}  // namespace vantik

#pragma GCC visibility pop
