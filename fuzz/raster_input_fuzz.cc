// The CUPS raster reader on arbitrary streams: every header kind the
// reader takes, truncated streams and headers whose sizes lie about the
// data behind them.  Every page is read to its end, as RGB and, for ink
// spaces, as inks; the reader must report what it cannot read and never
// read or write outside its buffers.  Pages are limited to 64 K pixels so
// that one input stays cheap.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "raster_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("raster", 0);
  if (fd < 0) std::abort();
  if (size != 0 && write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  lseek(fd, 0, SEEK_SET);
  {
    vantik::tool::RasterReader reader("fuzz input");
    reader.SetPixelLimit(1 << 16);
    if (reader.Open(fd).ok()) {
      for (int pages = 0; pages < 4; ++pages) {
        auto next = reader.NextPage();
        if (!next.ok() || !*next) break;
        const vantik::tool::RasterPage& page = reader.page();
        if (page.width <= 0 || page.height <= 0 ||
            int64_t(page.width) * page.height > (1 << 16))
          std::abort();  // the limit and the header checks let it through
        std::vector<uint8_t> line(size_t(page.width) * 4);
        bool ok = true;
        for (int y = 0; y < page.height && ok; ++y) {
          const bool inks = page.inks && (y & 1) != 0;
          ok = inks ? reader.ReadInks(line).ok()
                    : reader.ReadRgb(std::span<uint8_t>(line).first(size_t(page.width) * 3)).ok();
        }
        if (!ok) break;
      }
    }
  }
  close(fd);
  return 0;
}
