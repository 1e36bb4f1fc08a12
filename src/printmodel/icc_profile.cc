#include "printmodel/icc_profile.h"

#include <lcms2.h>

#include <memory>

namespace vantik::printmodel {

namespace {

constexpr int kA2BNodes = 17;
constexpr int kB2ANodes = 33;

struct ProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
struct PipelineFreer {
  void operator()(cmsPipeline* p) const { cmsPipelineFree(p); }
};

// CMYK node -> Lab of the model, relative to the paper.
struct A2BCargo {
  const PrintModel* model;
  Xyz scale;
};

cmsInt32Number SampleA2B(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  const auto* c = static_cast<const A2BCargo*>(cargo);
  std::array<double, kInks> ink;
  for (int k = 0; k < kInks; ++k) ink[k] = in[k] / 65535.0;
  const Xyz xyz = c->model->Predict(ink);
  const Lab lab = ToLab({xyz.x * c->scale.x, xyz.y * c->scale.y, xyz.z * c->scale.z});
  cmsCIELab l{lab.l, lab.a, lab.b};
  cmsFloat2LabEncoded(out, &l);
  return 1;
}

// The B2A table is sampled twice in the same order: once to collect the Lab
// of every node, then, after the nodes are separated in one batch, to store
// their inks.
struct B2ACargo {
  std::vector<cmsCIELab> lab;
  const std::vector<uint8_t>* cmyk = nullptr;
  size_t next = 0;
};

cmsInt32Number CollectB2A(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  auto* c = static_cast<B2ACargo*>(cargo);
  cmsCIELab lab;
  cmsLabEncoded2Float(&lab, in);
  c->lab.push_back(lab);
  for (int k = 0; k < kInks; ++k) out[k] = 0;
  return 1;
}

cmsInt32Number StoreB2A(const cmsUInt16Number[], cmsUInt16Number out[], void* cargo) {
  auto* c = static_cast<B2ACargo*>(cargo);
  const uint8_t* ink = &(*c->cmyk)[c->next++ * kInks];
  for (int k = 0; k < kInks; ++k) out[k] = static_cast<cmsUInt16Number>(ink[k] * 257);
  return 1;
}

Status Failed(const char* what) { return Status(RC_FAILURE, std::string("ICC profile: ") + what); }

}  // namespace

Result<std::vector<uint8_t>> BuildOutputProfile(const PrintModel& model, const Separation& separate,
                                                const std::string& description) {
  const cmsCIEXYZ* d50 = cmsD50_XYZ();
  const Xyz paper = model.paper();
  A2BCargo a2bCargo{&model, {d50->X / paper.x, d50->Y / paper.y, d50->Z / paper.z}};

  std::unique_ptr<cmsPipeline, PipelineFreer> a2b(cmsPipelineAlloc(nullptr, 4, 3));
  cmsStage* a2bClut = cmsStageAllocCLut16bit(nullptr, kA2BNodes, 4, 3, nullptr);
  if (!a2b || a2bClut == nullptr) return Failed("out of memory");
  // The v4 table types store curves, table, curves: the curves are identities.
  if (!cmsPipelineInsertStage(a2b.get(), cmsAT_BEGIN, a2bClut) ||
      !cmsPipelineInsertStage(a2b.get(), cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, 4, nullptr)) ||
      !cmsPipelineInsertStage(a2b.get(), cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr)) ||
      !cmsStageSampleCLut16bit(a2bClut, SampleA2B, &a2bCargo, 0)) {
    return Failed("cannot fill the CMYK to Lab table");
  }

  // Lab nodes -> sRGB -> the colour tables' inks.
  std::unique_ptr<cmsPipeline, PipelineFreer> b2a(cmsPipelineAlloc(nullptr, 3, 4));
  cmsStage* b2aClut = cmsStageAllocCLut16bit(nullptr, kB2ANodes, 3, 4, nullptr);
  if (!b2a || b2aClut == nullptr) return Failed("out of memory");
  if (!cmsPipelineInsertStage(b2a.get(), cmsAT_BEGIN, b2aClut) ||
      !cmsPipelineInsertStage(b2a.get(), cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, 3, nullptr)) ||
      !cmsPipelineInsertStage(b2a.get(), cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr))) {
    return Failed("out of memory");
  }
  B2ACargo b2aCargo;
  if (!cmsStageSampleCLut16bit(b2aClut, CollectB2A, &b2aCargo, 0)) {
    return Failed("cannot sample the Lab to CMYK table");
  }
  std::vector<uint8_t> rgb(b2aCargo.lab.size() * 3), cmyk(b2aCargo.lab.size() * kInks);
  {
    std::unique_ptr<void, ProfileCloser> lab(cmsCreateLab4Profile(nullptr));
    std::unique_ptr<void, ProfileCloser> srgb(cmsCreate_sRGBProfile());
    cmsHTRANSFORM t = cmsCreateTransform(lab.get(), TYPE_Lab_DBL, srgb.get(), TYPE_RGB_8,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    if (t == nullptr) return Failed("cannot convert Lab to sRGB");
    cmsDoTransform(t, b2aCargo.lab.data(), rgb.data(), static_cast<cmsUInt32Number>(b2aCargo.lab.size()));
    cmsDeleteTransform(t);
  }
  Status s = separate(rgb, cmyk);
  if (!s.ok()) return s;
  b2aCargo.cmyk = &cmyk;
  if (!cmsStageSampleCLut16bit(b2aClut, StoreB2A, &b2aCargo, 0)) {
    return Failed("cannot fill the Lab to CMYK table");
  }

  std::unique_ptr<void, ProfileCloser> profile(cmsCreateProfilePlaceholder(nullptr));
  if (!profile) return Failed("out of memory");
  cmsHPROFILE h = profile.get();
  cmsSetProfileVersion(h, 4.3);
  cmsSetDeviceClass(h, cmsSigOutputClass);
  cmsSetColorSpace(h, cmsSigCmykData);
  cmsSetPCS(h, cmsSigLabData);
  cmsSetHeaderRenderingIntent(h, INTENT_PERCEPTUAL);

  std::unique_ptr<cmsMLU, void (*)(cmsMLU*)> desc(cmsMLUalloc(nullptr, 1), cmsMLUfree);
  std::unique_ptr<cmsMLU, void (*)(cmsMLU*)> copyright(cmsMLUalloc(nullptr, 1), cmsMLUfree);
  if (!desc || !copyright) return Failed("out of memory");
  cmsMLUsetASCII(desc.get(), "en", "US", description.c_str());
  cmsMLUsetASCII(copyright.get(), "en", "US", "No copyright, use freely");
  cmsCIEXYZ white{paper.x, paper.y, paper.z};
  bool ok = cmsWriteTag(h, cmsSigProfileDescriptionTag, desc.get()) &&
            cmsWriteTag(h, cmsSigCopyrightTag, copyright.get()) &&
            cmsWriteTag(h, cmsSigMediaWhitePointTag, &white);
  // One table serves every intent; the other intents' tags point at it.
  ok = ok && cmsWriteTag(h, cmsSigAToB0Tag, a2b.get()) && cmsWriteTag(h, cmsSigBToA0Tag, b2a.get()) &&
       cmsLinkTag(h, cmsSigAToB1Tag, cmsSigAToB0Tag) && cmsLinkTag(h, cmsSigAToB2Tag, cmsSigAToB0Tag) &&
       cmsLinkTag(h, cmsSigBToA1Tag, cmsSigBToA0Tag) && cmsLinkTag(h, cmsSigBToA2Tag, cmsSigBToA0Tag);
  if (!ok) return Failed("cannot write a tag");
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(h, nullptr, &size) || size == 0) return Failed("cannot encode");
  std::vector<uint8_t> bytes(size);
  if (!cmsSaveProfileToMem(h, bytes.data(), &size)) return Failed("cannot encode");
  bytes.resize(size);
  return bytes;
}

}  // namespace vantik::printmodel
