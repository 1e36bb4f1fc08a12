/*
 * vantik 16-bit call bridge.
 *
 * A 16-bit caller reaches the twelve entry points through numbered stubs.
 * Each stub takes the caller's argument frame (first argument first, each
 * argument little-endian: far addresses and 32-bit values 4 bytes, shorts
 * and words 2 bytes), converts it, calls the entry point and returns what
 * the 16-bit caller receives: the low 16 bits of the code, or for
 * CmGetLutThk the full 32-bit CmLut handle.
 *
 * Far addresses are selector:offset pairs (selector in the high word).  The
 * caller's memory is made reachable by registering each selector's flat base
 * and length; far address 0 is null.
 *
 * Instances and CmLut records travel as 32-bit handles from the bridge's own
 * table (every handle is at least 0x10000, so it never looks like a code).
 *
 * Bridge codes, returned in place of the entry point's result:
 *   RC_NOT_CONNECTED  a stub called before Bridge16Connect succeeded
 *   RC_BAD_HANDLE     a handle the table does not know (or of another
 *                     service), a far address outside every registered
 *                     selector, or a pixel run or band that does not fit
 *                     the memory behind its addresses (halftone bands: the
 *                     source pixels the engine reads and every destination
 *                     plane; planes before the destination are refused)
 *   RC_BAD_PARAMETER  an unknown stub index or a frame of the wrong size
 *   RC_NO_MEMORY      the handle table is full (the new instance is deleted)
 */
#ifndef VANTIK_BRIDGE16_H
#define VANTIK_BRIDGE16_H

#include <stdint.h>

#include "vantik/vantik.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A 16:16 far address. */
typedef uint32_t FarPtr16;
#define VANTIK_FAR16(selector, offset) \
  ((FarPtr16)(((uint32_t)(selector) << 16) | ((uint32_t)(offset) & 0xFFFFu)))

/* Stub indices, in the order the 16-bit side calls them. */
enum {
  STUB_HALFTONE_DELETE = 0,
  STUB_HALFTONE = 1,
  STUB_HALFTONE_SET_RESOURCE = 2,
  STUB_HALFTONE_NEW = 3,
  STUB_CM_GET_LUT = 4,
  STUB_CM_TRANSLATE_COLORS = 5,
  STUB_CM_DELETE = 6,
  STUB_CM_SET_RESOURCE = 7,
  STUB_CM_NEW = 8,
  STUB_PREVIEW_TRANSLATE_COLORS = 9,
  STUB_PREVIEW_DELETE = 10,
  STUB_PREVIEW_NEW = 11,
  STUB_COUNT = 12
};

/* Connects the bridge: succeeds (returns 1) only for the module names
 * "VANTIK16.DLL" and "VANTIK32.DLL" (in any letter case); returns 0 and
 * stays disconnected otherwise. */
VANTIK_API int Bridge16Connect(const char* module16, const char* module32);
/* Drops the connection, the handle table and the selector table.  Instances
 * still open are not deleted. */
VANTIK_API void Bridge16Disconnect(void);

/* Makes selector reach length bytes at base.  Selector 0 is refused
 * (RC_BAD_PARAMETER), as is a full table (RC_NO_MEMORY). */
VANTIK_API uint32_t Bridge16MapSelector(uint16_t selector, void* base,
                                        uint32_t length);
VANTIK_API uint32_t Bridge16UnmapSelector(uint16_t selector);
/* Number of far addresses currently mapped for a call (0 between calls). */
VANTIK_API uint32_t Bridge16FixedMappings(void);

/* Runs stub `index` on a 16-bit argument frame. */
VANTIK_API uint32_t Bridge16Call(uint32_t index, const void* frame,
                                 uint32_t frameBytes);

#ifdef __cplusplus
}
#endif

#endif /* VANTIK_BRIDGE16_H */
