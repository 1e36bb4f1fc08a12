// The twelve stubs: each converts one 16-bit frame into a call of its entry
// point and returns the entry point's full result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "bridge/bridge_state.h"
#include "bridge/frame.h"

namespace vantik::bridge {

uint32_t StubHalftoneDelete(Frame& f);
uint32_t StubHalftone(Frame& f);
uint32_t StubHalftoneSetResource(Frame& f);
uint32_t StubHalftoneNew(Frame& f);
uint32_t StubCmGetLut(Frame& f);
uint32_t StubCmTranslateColors(Frame& f);
uint32_t StubCmDelete(Frame& f);
uint32_t StubCmSetResource(Frame& f);
uint32_t StubCmNew(Frame& f);
uint32_t StubPreviewTranslateColors(Frame& f);
uint32_t StubPreviewDelete(Frame& f);
uint32_t StubPreviewNew(Frame& f);

// After a creating call: gives the 16-bit caller a handle for the instance
// the entry point handed out, written as a full 32-bit value through the
// instance variable.  When the handle table is full the instance is deleted
// again and the call fails with RC_NO_MEMORY.  `kept` (the call's widened
// tagged list) stays with the handle.
uint32_t HandOut(void* instance, HandleKind kind, uint8_t* instanceVar,
                 uint32_t rc, uint32_t (*deleteFn)(void*),
                 std::unique_ptr<WidenedList> kept = nullptr);

// The set-resource frame shared by both services: instance, far block, far
// short (in/out).  The block is read no further than the caller's registered
// memory reaches, so it goes to the length-carrying call.
uint32_t SetResourceFrame(Frame& f, HandleKind kind,
                          uint32_t (*setResource)(void*, const void*, size_t, int32_t*));

}  // namespace vantik::bridge
