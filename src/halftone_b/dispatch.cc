// Kernel choice as a decision table: the first row whose kind class, input
// form and further test all match names the kernel.
#include "halftone_b/dispatch.h"

#include "interface/services.h"

namespace vantik::halftone_b {

namespace {

// Kinds 0 and 3 have kernel sets of their own; every other kind shares one.
enum class KindClass { kKind3, kKind0, kOther };
// lutMode 0: one level byte per pixel; otherwise colour pixels.
enum class InputForm { kLevels, kColour };

using ParamTest = bool (*)(const HalftoneParams&);

bool Always(const HalftoneParams&) { return true; }
bool VariantDiffuses(const HalftoneParams& p) { return p.variant == 0 || p.variant == 2; }
bool TallDots(const HalftoneParams& p) {
  return IsDoubleOf(p.yResolution, p.xResolution);
}
bool Res1440x720(const HalftoneParams& p) {
  return p.xResolution == 1440 && p.yResolution == 720;
}
// Paired kernels serve renderMode 4 and the two-pixels-per-dot input.
bool Unpaired(const HalftoneParams& p) {
  return p.renderMode != kRenderInks && p.horizontalScale != -1;
}
bool Unpaired1440x720(const HalftoneParams& p) { return Res1440x720(p) && Unpaired(p); }

struct DispatchRow {
  KindClass kind;
  InputForm input;
  ParamTest test;
  HalftoneKernel kernel;
};

constexpr DispatchRow kDispatchTable[] = {
    {KindClass::kKind3, InputForm::kLevels, Always, MatrixDitherKernel},
    {KindClass::kKind3, InputForm::kColour, VariantDiffuses, ColorDitherDiffusionKernel},
    {KindClass::kKind3, InputForm::kColour, Always, ColorDitherKernel},
    {KindClass::kKind0, InputForm::kLevels, Always, MatrixDitherKernel},
    {KindClass::kKind0, InputForm::kColour, Always, EightColorDitherKernel},
    {KindClass::kOther, InputForm::kColour, TallDots, ColorDiffusionKernelTall},
    {KindClass::kOther, InputForm::kColour, Unpaired1440x720, ColorDiffusionKernelWide},
    {KindClass::kOther, InputForm::kColour, Res1440x720, ColorDiffusionKernelPairedWide},
    {KindClass::kOther, InputForm::kColour, Unpaired, ColorDiffusionKernel},
    {KindClass::kOther, InputForm::kColour, Always, ColorDiffusionKernelPaired},
    {KindClass::kOther, InputForm::kLevels, TallDots, InkDiffusionKernelTall},
    {KindClass::kOther, InputForm::kLevels, Res1440x720, InkDiffusionKernelWide},
    {KindClass::kOther, InputForm::kLevels, Always, InkDiffusionKernel},
};

KindClass ClassOf(int32_t kind) {
  if (kind == kKindFourInk) return KindClass::kKind3;
  if (kind == kKindUnset) return KindClass::kKind0;
  return KindClass::kOther;
}

}  // namespace

HalftoneKernel ChooseKernel(const HalftoneParams& params) {
  const KindClass kind = ClassOf(params.kind);
  const InputForm input = params.lutMode == kLutGray ? InputForm::kLevels : InputForm::kColour;
  for (const DispatchRow& row : kDispatchTable) {
    if (row.kind == kind && row.input == input && row.test(params)) return row.kernel;
  }
  return InkDiffusionKernel;  // not reached: each class ends in an Always row
}

uint32_t EngineBBand(HalftoneHandle handle, const uint8_t* src, uint8_t* dst,
                     int32_t planeStride, int32_t firstBit, uint32_t count,
                     uint32_t x0, uint32_t arg8, uint32_t y, int32_t flags,
                     void* extra) {
  auto* instance = static_cast<HalftoneInstanceB*>(handle);
  // Runs need every table of the three resource steps.
  if (!EngineBReady(*instance)) return RC_BAD_RESOURCE;
  const uint32_t code = CheckRun(*instance, firstBit, count, x0, flags);
  if (code != RC_OK) return code;
  // An empty run from bit 0 touches no plane, and a caller may give no
  // destination for it; the kernel still runs (it stores the line and its
  // reset state) but forms its plane addresses from a byte of its own
  // rather than from a null pointer.
  uint8_t untouched = 0;
  if (dst == nullptr && count == 0 && firstBit == 0) {
    dst = &untouched;
    planeStride = 0;
  }
  return instance->kernel(instance, src, dst, planeStride, firstBit, count, x0, arg8, y,
                          flags, extra);
}

RunBytes EngineBRunBytes(HalftoneHandle handle, int32_t planeStride, int32_t firstBit,
                         uint32_t count, uint32_t x0, int32_t flags) {
  const auto* instance = static_cast<const HalftoneInstanceB*>(handle);
  if (instance == nullptr || !EngineBReady(*instance)) return {0, 0};
  if (CheckRun(*instance, firstBit, count, x0, flags) != RC_OK) return {0, 0};
  const HalftoneParams& p = instance->params;
  const bool singleInk = p.lutMode == kLutGray;
  // Pixels per run: with scale 1 a pixel serves two dots; with -1 the
  // single-ink kernels merge two pixels per dot (the colour kernels read
  // one); otherwise one pixel a dot.
  uint64_t pixels = count;
  if (p.horizontalScale == 1) {
    pixels = (uint64_t{count} + 1) / 2;
  } else if (p.horizontalScale == -1 && singleInk) {
    pixels = 2 * uint64_t{count};
  }
  const uint64_t pixelBytes = singleInk ? 1 : 4;
  // The plain diffusion front end writes three planes for lutMode 2.
  int planes = PlaneCountOf(p.lutMode);
  const HalftoneKernel kernel = ChooseKernel(p);
  if ((kernel == ColorDiffusionKernel || kernel == ColorDiffusionKernelWide) &&
      p.lutMode == 2) {
    planes = 3;
  }
  // A plane's run covers the first bit's byte through the last dot's; an
  // empty run with first bit 0 touches nothing.
  const uint64_t perPlane = (static_cast<uint64_t>(firstBit) + count + 7) / 8;
  return {PixelRunBytes(pixels, pixelBytes, pixelBytes),
          PlaneRunBytes(planes, planeStride, perPlane)};
}

StepKernel StepKernelOf(HalftoneKernel kernel) {
  struct Pair {
    HalftoneKernel kernel;
    StepKernel step;
  };
  static constexpr Pair kPairs[] = {
      {ColorDiffusionKernel, ColorDiffusionKernelInStep},
      {ColorDiffusionKernelWide, ColorDiffusionKernelWideInStep},
      {ColorDiffusionKernelTall, ColorDiffusionKernelTallInStep},
      {ColorDiffusionKernelPaired, ColorDiffusionKernelPairedInStep},
      {ColorDiffusionKernelPairedWide, ColorDiffusionKernelPairedWideInStep},
  };
  for (const Pair& p : kPairs) {
    if (p.kernel == kernel) return p.step;
  }
  return nullptr;
}

SplitKernels SplitKernelsOf(HalftoneKernel kernel) {
  struct Row {
    HalftoneKernel kernel;
    SplitKernels split;
  };
  static constexpr Row kRows[] = {
      {ColorDiffusionKernel, {ColorDiffusionKernelTranslate, ColorDiffusionKernelDiffuse}},
      {ColorDiffusionKernelWide,
       {ColorDiffusionKernelWideTranslate, ColorDiffusionKernelWideDiffuse}},
      {ColorDiffusionKernelTall,
       {ColorDiffusionKernelTallTranslate, ColorDiffusionKernelTallDiffuse}},
      {ColorDiffusionKernelPaired,
       {ColorDiffusionKernelPairedTranslate, ColorDiffusionKernelPairedDiffuse}},
      {ColorDiffusionKernelPairedWide,
       {ColorDiffusionKernelPairedWideTranslate, ColorDiffusionKernelPairedWideDiffuse}},
  };
  for (const Row& r : kRows) {
    if (r.kernel == kernel) return r.split;
  }
  return {};
}

bool EngineBSplitsLines(HalftoneHandle handle) {
  const auto* instance = static_cast<const HalftoneInstanceB*>(handle);
  return EngineBReady(*instance) && SplitKernelsOf(instance->kernel).translate != nullptr;
}

uint32_t EngineBTranslate(HalftoneHandle handle, const uint8_t* src, uint32_t count,
                          uint32_t x0, uint32_t y, uint32_t* records) {
  const auto* instance = static_cast<const HalftoneInstanceB*>(handle);
  if (!EngineBReady(*instance)) return RC_BAD_RESOURCE;
  const TranslateKernel translate = SplitKernelsOf(instance->kernel).translate;
  if (translate == nullptr) return RC_BAD_RESOURCE;
  return translate(instance, src, count, x0, y, records);
}

uint32_t EngineBDiffuse(HalftoneHandle handle, const uint8_t* src, const uint32_t* records,
                        uint8_t* dst, int32_t planeStride, int32_t firstBit, uint32_t count,
                        uint32_t x0, uint32_t y, int32_t flags) {
  auto* instance = static_cast<HalftoneInstanceB*>(handle);
  if (!EngineBReady(*instance)) return RC_BAD_RESOURCE;
  const DiffuseKernel diffuse = SplitKernelsOf(instance->kernel).diffuse;
  if (diffuse == nullptr) return RC_BAD_RESOURCE;
  const uint32_t code = CheckRun(*instance, firstBit, count, x0, flags);
  if (code != RC_OK) return code;
  uint8_t untouched = 0;  // as in EngineBBand
  if (dst == nullptr && count == 0 && firstBit == 0) {
    dst = &untouched;
    planeStride = 0;
  }
  return diffuse(instance, src, records, dst, planeStride, firstBit, count, x0, y, flags);
}

bool EngineBStepsLines(HalftoneHandle handle) {
  const auto* instance = static_cast<const HalftoneInstanceB*>(handle);
  return EngineBReady(*instance) && StepKernelOf(instance->kernel) != nullptr;
}

uint32_t EngineBBandInStep(HalftoneHandle handle, const uint8_t* src, uint8_t* dst,
                           int32_t planeStride, uint32_t count, uint32_t x0, uint32_t y,
                           const StepRun& step) {
  auto* instance = static_cast<HalftoneInstanceB*>(handle);
  const StepKernel kernel = EngineBReady(*instance) ? StepKernelOf(instance->kernel) : nullptr;
  const uint32_t code = kernel == nullptr ? static_cast<uint32_t>(RC_BAD_RESOURCE)
                                          : CheckRun(*instance, 0, count, x0, 0);
  if (code != RC_OK) {
    const FinishOnExit finish(step, y);
    return code;
  }
  return kernel(instance, src, dst, planeStride, count, x0, y, step);
}

}  // namespace vantik::halftone_b
