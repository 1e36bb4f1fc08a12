#include "printmodel/icc_printer.h"

#include <lcms2.h>

#include <cmath>
#include <fstream>
#include <vector>

namespace vantik::printmodel {
namespace {

struct ProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};

// Profiles are read into memory first: a file that cannot be read is told
// apart from one that is not a profile.
constexpr size_t kMaxProfileBytes = 64u << 20;

}  // namespace

Result<std::unique_ptr<IccPrinter>> IccPrinter::Open(std::span<const uint8_t> bytes,
                                                     const std::string& name) {
  auto fail = [&](const std::string& why) { return Status(RC_FAILURE, "--icc " + name + ": " + why); };
  if (bytes.size() < 132 || bytes.size() > kMaxProfileBytes) return fail("not an ICC profile");
  std::unique_ptr<void, ProfileCloser> profile(
      cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
  if (!profile) return fail("not an ICC profile");
  cmsHPROFILE h = profile.get();
  if (cmsGetColorSpace(h) != cmsSigCmykData) return fail("not a CMYK profile");
  if (cmsGetDeviceClass(h) != cmsSigOutputClass) return fail("not an output (printer) profile");
  if (!cmsIsIntentSupported(h, INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_INPUT)) {
    return fail("the profile has no CMYK to Lab table");
  }
  std::unique_ptr<void, ProfileCloser> lab(cmsCreateLab4Profile(nullptr));
  if (!lab) return fail("out of memory");
  // No cache: one transform serves every thread that asks.
  cmsHTRANSFORM t = cmsCreateTransform(h, TYPE_CMYK_DBL, lab.get(), TYPE_Lab_DBL,
                                       INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
  if (t == nullptr) return fail("the profile's CMYK to Lab table is unusable");
  std::unique_ptr<IccPrinter> printer(new IccPrinter());
  printer->transform_ = t;
  char text[256] = {};
  if (cmsGetProfileInfoASCII(h, cmsInfoDescription, "en", "US", text, sizeof text) > 0) {
    printer->description_ = text;
  }
  // The corners of the ink cube must print finite colours, and every ink at
  // full must print darker than paper: a table that does not is no printer.
  const Lab paper = printer->Print({0, 0, 0, 0});
  for (int m = 0; m < kOverprints; ++m) {
    std::array<double, kInks> ink{};
    for (int k = 0; k < kInks; ++k) ink[k] = (m >> k) & 1;
    const Lab got = printer->Print(ink);
    if (!std::isfinite(got.l) || !std::isfinite(got.a) || !std::isfinite(got.b)) {
      return fail("the profile's CMYK to Lab table gives no colour");
    }
    if (m != 0 && !(got.l < paper.l - 1.0)) {
      return fail("the profile's CMYK to Lab table prints ink no darker than paper");
    }
  }
  return printer;
}

Result<std::unique_ptr<IccPrinter>> IccPrinter::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status(RC_FAILURE, "--icc " + path + ": cannot open the file");
  std::vector<uint8_t> bytes;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.insert(bytes.end(), buffer, buffer + in.gcount());
    if (bytes.size() > kMaxProfileBytes) {
      return Status(RC_FAILURE, "--icc " + path + ": too large for an ICC profile");
    }
  }
  if (in.bad()) return Status(RC_FAILURE, "--icc " + path + ": cannot read the file");
  return Open(bytes, path);
}

IccPrinter::~IccPrinter() {
  if (transform_ != nullptr) cmsDeleteTransform(transform_);
}

Lab IccPrinter::Print(const std::array<double, kInks>& ink) const {
  // LittleCMS takes floating-point CMYK in percent.
  const double in[kInks] = {ink[0] * 100.0, ink[1] * 100.0, ink[2] * 100.0, ink[3] * 100.0};
  cmsCIELab out{};
  cmsDoTransform(transform_, in, &out, 1);
  return {out.L, out.a, out.b};
}

}  // namespace vantik::printmodel
