// The resource registry of an engine A instance: which resource numbers the
// instance still wants, in order, and the handler that takes each one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantik::halftone_a {

// handler(context, resource number, block, block length, argument) -> code.
// The length is ByteReader::kUnbounded for a block of the legacy form.
using ResourceHandler = uint32_t (*)(void* context, int32_t number,
                                     const void* data, size_t length,
                                     uint32_t argument);

constexpr int kRegistryEntries = 10;

struct RegistryEntry {
  int32_t number;
  uint32_t argument;
  void* context;
  ResourceHandler handler;
};

struct ResourceRegistry {
  int32_t count;
  int32_t cursor;
  RegistryEntry entries[kRegistryEntries];
  void* selfBlock;
};

// A new, empty registry in a block of its own; null when not obtained.
ResourceRegistry* RegistryCreate();
void RegistryRelease(ResourceRegistry* registry);
// Appends an entry: 0, or 0x100 when all entries are taken.
uint32_t RegistryRegister(ResourceRegistry& r, int32_t number, uint32_t argument,
                          void* context, ResourceHandler handler);
// Cursor to the first entry: its number, or -1 when there is none.
int32_t RegistryFirst(ResourceRegistry& r);
// Advances the cursor: the number of its entry, or -1 past the end.
int32_t RegistryNext(ResourceRegistry& r);
// Calls the handler of the first entry with this number (0 when it has no
// handler); 0x100 when no entry has the number.
uint32_t RegistryDispatch(ResourceRegistry& r, int32_t number, const void* data,
                          size_t length);

}  // namespace vantik::halftone_a
