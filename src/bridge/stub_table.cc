// The stub table, the connection and the exported bridge calls.
#include <cctype>

#include "bridge/bridge_state.h"
#include "bridge/frame.h"
#include "bridge/stubs.h"

namespace vantik::bridge {
namespace {

struct Stub {
  uint32_t frameBytes;  // total bytes of the 16-bit arguments
  uint32_t (*run)(Frame&);
  bool fullResult;      // all 32 bits go back, not only the low 16
};

// In the order the 16-bit side calls them.
constexpr Stub kStubs[STUB_COUNT] = {
    {4, StubHalftoneDelete, false},
    {32, StubHalftone, false},
    {12, StubHalftoneSetResource, false},
    {24, StubHalftoneNew, false},
    {4, StubCmGetLut, true},
    {22, StubCmTranslateColors, false},
    {4, StubCmDelete, false},
    {12, StubCmSetResource, false},
    {36, StubCmNew, false},
    {22, StubPreviewTranslateColors, false},
    {4, StubPreviewDelete, false},
    {30, StubPreviewNew, false},
};

bool SameName(const char* a, const char* b) {
  if (a == nullptr) return false;
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::toupper(static_cast<unsigned char>(*a)) != *b) return false;
  }
  return *a == *b;
}

}  // namespace
}  // namespace vantik::bridge

using namespace vantik::bridge;

extern "C" {

int Bridge16Connect(const char* module16, const char* module32) {
  const bool ok = SameName(module16, "VANTIK16.DLL") && SameName(module32, "VANTIK32.DLL");
  SetConnected(ok);
  return ok ? 1 : 0;
}

void Bridge16Disconnect(void) {
  SetConnected(false);
  ResetTables();
}

uint32_t Bridge16MapSelector(uint16_t selector, void* base, uint32_t length) {
  return MapSelector(selector, base, length);
}

uint32_t Bridge16UnmapSelector(uint16_t selector) { return UnmapSelector(selector); }

uint32_t Bridge16FixedMappings(void) { return FixedMappings(); }

uint32_t Bridge16Call(uint32_t index, const void* frame, uint32_t frameBytes) {
  if (!Connected()) return RC_NOT_CONNECTED;
  if (index >= STUB_COUNT || frame == nullptr || frameBytes != kStubs[index].frameBytes) {
    return RC_BAD_PARAMETER;
  }
  const Stub& stub = kStubs[index];
  Frame f(frame, frameBytes);
  const uint32_t result = stub.run(f);
  f.Finish();
  return stub.fullResult ? result : (result & 0xFFFFu);
}

}  // extern "C"
