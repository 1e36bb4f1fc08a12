// Lookup in the embedded set, and the directory form of a resource set:
// <dir>/color/<number>.bin and <dir>/halftone/<number>.bin.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#include "formats/format.h"
#include "vantik/default_resources.h"

namespace vantik::resources {
namespace {

constexpr std::uintmax_t kMaxBlockBytes = 16u << 20;

// A block number from a file stem: optional '-', then decimal digits, in
// the range of a 32-bit int.
bool ParseNumber(const std::string& stem, int* out) {
  if (stem.empty() || stem.size() > 11) return false;
  size_t i = stem[0] == '-' ? 1 : 0;
  if (i == stem.size()) return false;
  long long v = 0;
  for (; i < stem.size(); ++i) {
    if (stem[i] < '0' || stem[i] > '9') return false;
    v = v * 10 + (stem[i] - '0');
  }
  if (stem[0] == '-') v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

bool Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

bool ReadFile(const std::filesystem::path& path, std::vector<uint8_t>* out, std::string* error) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Fail(error, path.string() + ": cannot read: " + ec.message());
  if (size == 0) return Fail(error, path.string() + ": empty resource block");
  if (size > kMaxBlockBytes) return Fail(error, path.string() + ": larger than 16 MiB, not a resource block");
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, path.string() + ": cannot open: " + std::strerror(errno));
  out->resize(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(out->data()), static_cast<std::streamsize>(size));
  if (in.gcount() != static_cast<std::streamsize>(size))
    return Fail(error, path.string() + ": short read");
  return true;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return Fail(error, temp.string() + ": cannot create: " + std::strerror(errno));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return Fail(error, temp.string() + ": write failed");
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return Fail(error, path.string() + ": cannot rename into place: " + ec.message());
  }
  return true;
}

}  // namespace

std::string_view DirectoryName(Service service) {
  return service == Service::kColor ? "color" : "halftone";
}

const Block* FindDefault(Service service, int number) {
  for (const Block& b : Defaults())
    if (b.service == service && b.number == number) return &b;
  return nullptr;
}

std::string_view GuessKind(Service service, int number, std::span<const uint8_t> bytes) {
  const formats::Dialogue dialogue =
      service == Service::kColor ? formats::Dialogue::kColor : formats::Dialogue::kHalftone;
  return formats::HandlerOf(formats::GuessKind(dialogue, number, bytes)).name;
}

std::optional<std::vector<OwnedBlock>> LoadDirectory(const std::filesystem::path& dir,
                                                     std::string* error) {
  std::vector<OwnedBlock> blocks;
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    Fail(error, dir.string() + ": not a resource directory");
    return std::nullopt;
  }
  for (Service service : {Service::kColor, Service::kHalftone}) {
    const std::filesystem::path sub = dir / std::string(DirectoryName(service));
    if (!std::filesystem::is_directory(sub, ec)) {
      Fail(error, sub.string() + ": missing sub-directory of a resource directory");
      return std::nullopt;
    }
    std::filesystem::directory_iterator it(sub, ec), end;
    if (ec) {
      Fail(error, sub.string() + ": cannot list: " + ec.message());
      return std::nullopt;
    }
    for (; it != end; it.increment(ec)) {
      if (ec) break;
      const std::filesystem::path& path = it->path();
      if (path.extension() != ".bin") continue;
      int number = 0;
      if (!ParseNumber(path.stem().string(), &number)) {
        Fail(error, path.string() + ": file name is not a block number");
        return std::nullopt;
      }
      OwnedBlock block{service, number, {}, {}};
      if (!ReadFile(path, &block.bytes, error)) return std::nullopt;
      block.kind = std::string(GuessKind(service, number, block.bytes));
      blocks.push_back(std::move(block));
    }
    if (ec) {
      Fail(error, sub.string() + ": cannot list: " + ec.message());
      return std::nullopt;
    }
  }
  std::sort(blocks.begin(), blocks.end(), [](const OwnedBlock& a, const OwnedBlock& b) {
    if (a.service != b.service) return a.service == Service::kColor;
    return a.number < b.number;
  });
  return blocks;
}

bool ExportBlocks(std::span<const Block> blocks, const std::filesystem::path& dir, std::string* error) {
  std::error_code ec;
  for (Service service : {Service::kColor, Service::kHalftone}) {
    const std::filesystem::path sub = dir / std::string(DirectoryName(service));
    std::filesystem::create_directories(sub, ec);
    if (ec) return Fail(error, sub.string() + ": cannot create: " + ec.message());
  }
  for (const Block& b : blocks) {
    const std::filesystem::path path =
        dir / std::string(DirectoryName(b.service)) / (std::to_string(b.number) + ".bin");
    if (!WriteFileAtomically(path, b.bytes, error)) return false;
  }
  return true;
}

bool ExportDirectory(const std::filesystem::path& dir, std::string* error) {
  return ExportBlocks(Defaults(), dir, error);
}

}  // namespace vantik::resources
