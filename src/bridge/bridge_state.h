// State of the 16-bit call bridge: the connection, the 32-bit handle table
// and the selector table that stands in for the 16:16 address mapping.
#pragma once

#include <cstdint>
#include <memory>

#include "vantik/bridge16.h"

namespace vantik::bridge {

struct WidenedList;

enum class HandleKind : uint8_t { kFree = 0, kCm, kPreview, kHalftone, kLut };

// Handles never fall below this value, so a CmLut handle cannot be mistaken
// for a code in CmGetLutThk's 32-bit result.
inline constexpr uint32_t kFirstHandle = 0x10000;

bool Connected();
void SetConnected(bool connected);
// Forgets every handle and selector.
void ResetTables();

// The handle of object (an existing one when the object already has one of
// that kind), or 0 when the table is full.  owner ties a CmLut to the
// colour-matching instance it lives in.
uint32_t HandleFor(void* object, HandleKind kind, uint32_t owner = 0);
// The object behind handle, or null when the table holds no such handle of
// that kind.
void* ObjectOf(uint32_t handle, HandleKind kind);
// Forgets handle and every handle owned by it.
void DropHandle(uint32_t handle);
// Keeps `kept` until handle is forgotten: what the bridge made for a call
// that the instance behind the handle goes on reading (its tagged list).
void KeepWithHandle(uint32_t handle, std::unique_ptr<WidenedList> kept);

// Selector table.
uint32_t MapSelector(uint16_t selector, void* base, uint32_t length);
uint32_t UnmapSelector(uint16_t selector);
// Flat address of far and the bytes reachable from it, or null when the
// selector is unknown or the offset lies beyond its length.  Counts a fixed
// mapping that ReleaseFar gives back.
uint8_t* FixFar(FarPtr16 far, uint32_t* reachable);
void ReleaseFar(FarPtr16 far);
uint32_t FixedMappings();

}  // namespace vantik::bridge
