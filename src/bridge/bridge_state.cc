#include "bridge/bridge_state.h"

#include <cstddef>

#include "bridge/frame.h"

namespace vantik::bridge {
namespace {

constexpr int kMaxHandles = 256;
constexpr int kMaxSelectors = 64;

struct HandleEntry {
  uint32_t handle;  // 0 when the slot is free
  HandleKind kind;
  void* object;
  uint32_t owner;
  std::unique_ptr<WidenedList> kept;  // released with the handle
};

struct SelectorEntry {
  uint16_t selector;  // 0 when the slot is free
  uint8_t* base;
  uint32_t length;
  uint32_t fixed;
};

// The bridge connection is the one piece of state the library keeps
// outside its instances; calls do not overlap.
struct BridgeState {
  bool connected = false;
  uint32_t nextHandle = kFirstHandle;
  uint32_t fixed = 0;
  HandleEntry handles[kMaxHandles] = {};
  SelectorEntry selectors[kMaxSelectors] = {};
};

BridgeState g_state;

SelectorEntry* FindSelector(uint16_t selector) {
  if (selector == 0) return nullptr;
  for (SelectorEntry& s : g_state.selectors) {
    if (s.selector == selector) return &s;
  }
  return nullptr;
}

}  // namespace

bool Connected() { return g_state.connected; }
void SetConnected(bool connected) { g_state.connected = connected; }

void ResetTables() {
  const bool connected = g_state.connected;
  g_state = BridgeState{};
  g_state.connected = connected;
}

uint32_t HandleFor(void* object, HandleKind kind, uint32_t owner) {
  HandleEntry* free = nullptr;
  for (HandleEntry& e : g_state.handles) {
    if (e.handle != 0 && e.object == object && e.kind == kind) return e.handle;
    if (e.handle == 0 && free == nullptr) free = &e;
  }
  if (free == nullptr) return 0;
  // Handles are never reused, so a stale handle stays unknown.
  if (g_state.nextHandle < kFirstHandle) g_state.nextHandle = kFirstHandle;
  *free = HandleEntry{g_state.nextHandle++, kind, object, owner, nullptr};
  return free->handle;
}

void* ObjectOf(uint32_t handle, HandleKind kind) {
  if (handle == 0) return nullptr;
  for (const HandleEntry& e : g_state.handles) {
    if (e.handle == handle && e.kind == kind) return e.object;
  }
  return nullptr;
}

void DropHandle(uint32_t handle) {
  if (handle == 0) return;
  for (HandleEntry& e : g_state.handles) {
    if (e.handle == handle || e.owner == handle) e = HandleEntry{};
  }
}

void KeepWithHandle(uint32_t handle, std::unique_ptr<WidenedList> kept) {
  if (handle == 0) return;
  for (HandleEntry& e : g_state.handles) {
    if (e.handle == handle) {
      e.kept = std::move(kept);
      return;
    }
  }
}

uint32_t MapSelector(uint16_t selector, void* base, uint32_t length) {
  if (selector == 0 || (base == nullptr && length != 0)) return RC_BAD_PARAMETER;
  SelectorEntry* s = FindSelector(selector);
  if (s == nullptr) {
    for (SelectorEntry& e : g_state.selectors) {
      if (e.selector == 0) {
        s = &e;
        break;
      }
    }
  }
  if (s == nullptr) return RC_NO_MEMORY;
  *s = SelectorEntry{selector, static_cast<uint8_t*>(base), length, 0};
  return RC_OK;
}

uint32_t UnmapSelector(uint16_t selector) {
  SelectorEntry* s = FindSelector(selector);
  if (s == nullptr) return RC_BAD_HANDLE;
  *s = SelectorEntry{};
  return RC_OK;
}

uint8_t* FixFar(FarPtr16 far, uint32_t* reachable) {
  SelectorEntry* s = FindSelector(static_cast<uint16_t>(far >> 16));
  const uint32_t offset = far & 0xFFFFu;
  if (s == nullptr || offset >= s->length) return nullptr;
  ++s->fixed;
  ++g_state.fixed;
  *reachable = s->length - offset;
  return s->base + offset;
}

void ReleaseFar(FarPtr16 far) {
  SelectorEntry* s = FindSelector(static_cast<uint16_t>(far >> 16));
  if (s != nullptr && s->fixed > 0) {
    --s->fixed;
    --g_state.fixed;
  }
}

uint32_t FixedMappings() { return g_state.fixed; }

}  // namespace vantik::bridge
