// The default resource set: colour-table index, colour tables, calibration
// blocks, engine B id lists, colour nodes and 16-bit threshold matrices, and
// engine A's screen table with its byte threshold matrices.  The blocks are
// generated at build time and embedded; a directory in the same layout can
// replace them (see resources/README.md).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantik/service.h"

namespace vantik::resources {

// Which service's resource dialogue asks for a block.
using vantik::Service;

// One resource block.  `kind` is one of "index", "table", "id-list",
// "nodes", "matrix16", "screen-table", "matrix8", "calibration" (or
// "unknown" for a loaded block that fits none of them).
struct Block {
  Service service;
  int number;
  std::span<const uint8_t> bytes;
  std::string_view kind;
};

// A block read from a directory; it owns its bytes.
struct OwnedBlock {
  Service service;
  int number;
  std::vector<uint8_t> bytes;
  std::string kind;

  Block view() const { return Block{service, number, bytes, kind}; }
};

// Block numbers the dialogues ask for first, and the calibration blocks.
inline constexpr int kColorIndexNumber = 0;      // asked for after CmNewThk
inline constexpr int kCalibrationSlots = 980;
inline constexpr int kCalibrationLevels = 990;
inline constexpr int kCalibrationIndex = 900;
inline constexpr int kScreenTableNumber = 300;  // engine A's first block

// Selection values of the default index.
inline constexpr int kPaperPlain = 0;  // ColorAdjustRecord field 8
inline constexpr int kPaperPhoto = 1;
// ColorAdjustRecord field 7.  Engine A (kind 2) offers three screens; kind 3
// (and kind 0) has one table per kind-3 kernel; kind 1 has selector 0 only.
inline constexpr int kSelectorBlueNoise = 0;  // kind 2: blue-noise, ink-limited (method 5)
inline constexpr int kSelectorClustered = 1;  // kind 2: clustered dots (method 2)
inline constexpr int kSelectorStacked = 2;    // kind 2: blue-noise, stacked inks (method 6)
inline constexpr int kSelectorDiffusedMagenta = 0;  // kind 3 with variant 0 or 2
inline constexpr int kSelectorAllDithered = 1;      // kind 3 with any other variant
// Table modes with entries: 0 (black only, ColorAdjustRecord field 9 = 4)
// and 4 (colour, field 10 = 2 or field 9 = 1).
inline constexpr int kModeMono = 0;
inline constexpr int kModeColor = 4;

// The embedded default set, in a fixed order (colour blocks by number, then
// halftone blocks by number).
std::span<const Block> Defaults();

// The default block with that number, or null.
const Block* FindDefault(Service service, int number);

// Reads every `<dir>/color/<number>.bin` and `<dir>/halftone/<number>.bin`.
// Other files are ignored.  Fails (nullopt, reason in *error) when a
// sub-directory is missing, a `.bin` name is not a number, a file cannot be
// read or is empty or larger than 16 MiB.
std::optional<std::vector<OwnedBlock>> LoadDirectory(const std::filesystem::path& dir,
                                                     std::string* error);

// Writes the default set into `dir` in the layout LoadDirectory reads,
// creating the directories.  Each file is written under a temporary name and
// renamed, so a failed export leaves no partial block.
bool ExportDirectory(const std::filesystem::path& dir, std::string* error);

// Writes any set of blocks in that layout.
bool ExportBlocks(std::span<const Block> blocks, const std::filesystem::path& dir,
                  std::string* error);

// "color" or "halftone": the directory name of a service.
std::string_view DirectoryName(Service service);

// Kind of a block judged from its number and contents.
std::string_view GuessKind(Service service, int number, std::span<const uint8_t> bytes);

}  // namespace vantik::resources
