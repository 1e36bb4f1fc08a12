// A whole colour-matching and halftoning dialogue through the C entry
// points, answered from the default resource set: create, every block the
// library asks for (each handed over as an exact-size copy, so the
// sanitizers see any read past its length), a translation, a halftone line,
// and the deletes.  One block can be replaced by other bytes, and the
// numbers asked for are recorded.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "interface/params.h"
#include "vantik/default_resources.h"
#include "vantik/vantik.h"

namespace vantik::sweeps {

using resources::Service;

// Settings of one dialogue, named for messages.
struct Combo {
  int kind;  // 1 diffusion (engine B), 2 screens (engine A), 3 dither (engine B)
  int paper;
  int xres, yres;
  bool mono;
  int selector;
  bool calibrated;

  std::string Name() const {
    return "kind " + std::to_string(kind) + " paper " + std::to_string(paper) + " " +
           std::to_string(xres) + "x" + std::to_string(yres) + (mono ? " mono" : " colour") +
           " selector " + std::to_string(selector) + (calibrated ? " calibrated" : "");
  }
};

struct Asked {
  Service service;
  int number;
  bool operator==(const Asked&) const = default;
};

// What one run did.  Codes are 0 for steps not reached.
struct Outcome {
  uint32_t first = 0;            // first failing code of any step, or 0
  std::vector<Asked> asked;      // blocks asked for, in order
  bool replaced = false;         // the replaced block was handed over
  uint32_t replacedCode = 0;     // and what the library answered
  uint32_t cmDelete = 0, htDelete = 0;
  bool complete = false;         // every step ran and succeeded
};

constexpr uint32_t kLineDots = 64;

class Dialogue {
 public:
  explicit Dialogue(const Combo& c) : combo_(c) {
    record_.field[kAdjustTableSelector] = c.selector;
    record_.field[kAdjustPaper] = c.paper;
    record_.field[kAdjustColorModeA] = c.mono ? kColorModeABlackOnly : kColorModeAPlain;
    record_.field[kAdjustColorModeB] = kColorModeBColorTables;
    if (c.calibrated) {
      // "CW:", key 0, one level per ink, end mark.
      calibration_ = {0x43, 0x57, 0x3A, 0, 50, 50, 50, 50, 0xFE, 0xFF};
      pair_ = {512, calibration_.data()};
      list_ = {1, &pair_};
      record_.field14 = &list_;
    }
    params_.kind = c.kind;
    params_.renderMode = c.mono ? 0 : 3;
    params_.lutMode = c.mono ? 0 : 1;
    params_.xResolution = c.xres;
    params_.yResolution = c.yres;
    params_.lineWidth = kLineDots;
  }

  // Runs the dialogue; when `replace` names a block, `bytes` is handed over
  // in its place and the run stops right after that step.
  Outcome Run(const Asked* replace = nullptr, std::span<const uint8_t> bytes = {}) {
    Outcome out;
    int32_t inOut = 0;
    CmHandle cm = nullptr;
    Note(out, CmNewThk(&record_, nullptr, nullptr, record_.field14, &params_, nullptr, nullptr,
                       &inOut, &cm));
    bool stop = cm == nullptr || out.first != 0;
    if (!stop) stop = Answer(out, Service::kColor, cm, &inOut, replace, bytes);
    HalftoneHandle ht = nullptr;
    if (!stop) {
      std::vector<uint8_t> rgb(4 * 16), inks(8 * 16);
      for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 37);
      Note(out, CmTranslateColorsThk(cm, 16, rgb.data(), inks.data(), 0, nullptr));
      CmLut* lut = CmGetLutThk(cm);
      if (lut == nullptr && out.first == 0) out.first = RC_FAILURE;
      stop = out.first != 0;
      if (!stop) {
        inOut = 0;
        Note(out, HalftoneNewThk(&params_, nullptr, lut, nullptr, &inOut, &ht));
        stop = out.first != 0;
      }
    }
    if (!stop) stop = Answer(out, Service::kHalftone, ht, &inOut, replace, bytes);
    if (!stop) {
      // Two bytes a dot at most for every pixel form; four planes.
      std::vector<uint8_t> src(8 * kLineDots, 0x80), planes(4 * 16, 0);
      for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 13);
      for (uint32_t y = 0; y < 3 && out.first == 0; ++y)
        Note(out, HalftoneThk(ht, src.data(), planes.data(), 16, 0, kLineDots, 0, 0, y, 0, nullptr));
      out.complete = out.first == 0;
    }
    if (ht != nullptr) out.htDelete = HalftoneDeleteThk(ht);
    if (cm != nullptr) out.cmDelete = CmDeleteThk(cm);
    return out;
  }

 private:
  void Note(Outcome& out, uint32_t code) {
    if (code != 0 && out.first == 0) out.first = code;
  }

  // Answers every block asked for until the dialogue ends (false) or stops:
  // a failed step, a block the set lacks, or the replaced block (true).
  bool Answer(Outcome& out, Service service, void* instance, int32_t* inOut,
              const Asked* replace, std::span<const uint8_t> bytes) {
    for (int steps = 0; *inOut != -1; ++steps) {
      if (steps > 16) {
        Note(out, RC_BAD_RESOURCE);
        return true;
      }
      const Asked asked{service, *inOut};
      out.asked.push_back(asked);
      std::span<const uint8_t> block;
      const bool replacing = replace != nullptr && *replace == asked;
      if (replacing) {
        block = bytes;
      } else {
        const resources::Block* b = resources::FindDefault(service, asked.number);
        if (b == nullptr) {
          Note(out, RC_BAD_RESOURCE);
          return true;
        }
        block = b->bytes;
      }
      std::unique_ptr<uint8_t[]> exact(new uint8_t[block.empty() ? 1 : block.size()]);
      if (!block.empty()) std::memcpy(exact.get(), block.data(), block.size());
      const uint32_t code =
          service == Service::kColor
              ? CmSetResourceWithLength(instance, exact.get(), block.size(), inOut)
              : HalftoneSetResourceWithLength(instance, exact.get(), block.size(), inOut);
      if (replacing) {
        out.replaced = true;
        out.replacedCode = code;
        return true;
      }
      Note(out, code);
      if (code != 0) return true;
    }
    return false;
  }

  Combo combo_;
  ColorAdjustRecord record_{};
  HalftoneParams params_{};
  std::vector<uint8_t> calibration_;
  TaggedValuePair pair_{};
  TaggedValueList list_{};
};

// Settings that between them ask for every block of the default set.
inline std::vector<Combo> AllCombos() {
  std::vector<Combo> combos;
  const int resolutions[][2] = {{360, 360}, {720, 720}, {1440, 720}, {720, 1440}};
  for (int kind : {1, 2, 3})
    for (int paper : {0, 1})
      for (const auto& r : resolutions)
        for (bool mono : {false, true})
          for (int selector = 0; selector < 3; ++selector)
            for (bool calibrated : {false, true})
              combos.push_back({kind, paper, r[0], r[1], mono, selector, calibrated});
  return combos;
}

}  // namespace vantik::sweeps
