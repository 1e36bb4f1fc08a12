#include "png_writer.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace vantik::tool {
namespace {

// libpng reports errors by a long jump back to the setjmp in Encode, after
// copying its message here.
struct PngError {
  char message[256] = {};
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  auto* error = static_cast<PngError*>(png_get_error_ptr(png));
  std::snprintf(error->message, sizeof error->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// The whole PNG stream into `file`.  Nothing here has a destructor, so the
// long jump of an error skips no clean-up but libpng's own.
bool Encode(std::FILE* file, const uint8_t* pixels, png_uint_32 width, png_uint_32 height,
            int bands, PngError* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnError, OnWarning);
  if (png == nullptr) {
    std::snprintf(error->message, sizeof error->message, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(error->message, sizeof error->message, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, bands == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_write_info(png, info);
  const size_t stride = size_t{width} * size_t(bands);
  for (png_uint_32 y = 0; y < height; ++y) png_write_row(png, pixels + stride * y);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

Status WritePng(const std::string& path, std::span<const uint8_t> pixels, int width, int height,
                int bands) {
  if (width <= 0 || height <= 0 || (bands != 1 && bands != 3) ||
      pixels.size() != size_t(width) * size_t(height) * size_t(bands)) {
    return Status(RC_BAD_PARAMETER, path + ": cannot write (not a " + std::to_string(width) +
                                           " x " + std::to_string(height) + " image of " +
                                           std::to_string(bands) + " bands)");
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return Status(RC_FAILURE, path + ": cannot write (" + std::strerror(errno) + ")");
  }
  PngError error;
  errno = 0;
  bool written = Encode(file, pixels.data(), png_uint_32(width), png_uint_32(height), bands, &error);
  int err = errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    err = errno;
    std::snprintf(error.message, sizeof error.message, "%s", "the file could not be finished");
  }
  if (!written) {
    std::string reason = error.message;
    if (err != 0) reason += std::string(": ") + std::strerror(err);
    return Status(RC_FAILURE, path + ": cannot write (" + reason + ")");
  }
  return Status::Ok();
}

}  // namespace vantik::tool
