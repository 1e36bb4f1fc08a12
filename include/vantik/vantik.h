/*
 * vantik: colour and halftone stage of an ink-jet printer driver.
 *
 * This header is the whole C contract of the library: the caller records,
 * the return codes, and the twelve entry points (plus the length-carrying
 * resource calls that safe callers use).
 *
 * 64-bit layout rules: every integer field is 32 bits wide with the
 * signedness given below; every field that carries an address is
 * pointer-sized.  Handles are opaque pointers.  All entry points return a
 * 32-bit code (RC_OK on success) except CmGetLutThk, which returns the
 * address of the instance's CmLut record.
 */
#ifndef VANTIK_VANTIK_H
#define VANTIK_VANTIK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VANTIK_API __declspec(dllexport)
#else
#define VANTIK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Return codes ------------------------------------------------------ */
enum {
  RC_OK = 0x000,
  RC_FAILURE = 0x100,        /* engine A: argument missing, buffer not obtained */
  RC_NO_MEMORY = 0x101,      /* an allocation failed */
  RC_LOCK_FAILED = 0x102,    /* a lock failed; preview translate on a null instance */
  RC_UNLOCK_FAILED = 0x103,  /* an unlock reported failure */
  RC_FREE_FAILED = 0x104,    /* a free reported failure */
  RC_REFUSED = 0x200,        /* engine A refuses the request */
  RC_BAD_PARAMETER = 0x201,  /* a record or block is inconsistent; null record */
  RC_BAD_VALUE = 0x202,      /* a value lies outside its accepted set */
  RC_BAD_MODE = 0x203,       /* a mode argument is not accepted */
  RC_BAND_TOO_LARGE = 0x206, /* a band reaches beyond the configured extent */
  RC_BAD_FLAG = 0x20A,       /* a band flag that must be 0 is not */
  RC_BAD_BUFFER = 0x20B,     /* an optional buffer given where none is taken */
  RC_BAD_RESOURCE = 0x300,   /* a resource block is malformed or matches nothing */
  /* Codes of this port, outside the historical table (all fit 16 bits). */
  RC_BAD_HANDLE = 0x400,     /* bridge: a 32-bit handle the bridge does not know */
  RC_NOT_CONNECTED = 0x401   /* bridge: a call before connect */
};

/* Returns the symbolic name of a code ("RC_BAD_RESOURCE"), or "RC_UNKNOWN". */
VANTIK_API const char* VantikCodeName(uint32_t code);

/* ---- Caller records ---------------------------------------------------- */

/* One key/value pair of a TaggedValueList.  The value is an address. */
typedef struct TaggedValuePair {
  int32_t key;  /* 1: gamma record, 256: curve table, 512: calibration */
  void* value;  /* address of a caller record */
} TaggedValuePair;

/* The caller's tagged list (ColorAdjustRecord field 14).  `count` pairs are
 * read from `pairs`; a count of 0 or below means an empty list. */
typedef struct TaggedValueList {
  int32_t count;
  const TaggedValuePair* pairs;
} TaggedValueList;

/* ColorAdjustRecord: fields 0..11 are signed 32-bit, 12..14 addresses.
 *   0 adjustment selector      1 brightness      2 contrast
 *   3 saturation               4/5/6 red/green/blue offset
 *   7 table selection (index entry's last number)
 *   8 table selection (index entry's name-list-2 number)
 *   9 colour mode A            10 colour mode B  11 value compared with 50
 *   12, 13 not read            14 TaggedValueList or null               */
typedef struct ColorAdjustRecord {
  int32_t field[12];
  void* field12;
  void* field13;
  TaggedValueList* field14;
} ColorAdjustRecord;

/* HalftoneParams: ten 32-bit fields, then the pointer field (order 11). */
typedef struct HalftoneParams {
  int32_t kind;            /* 2: engine A; anything else: engine B */
  int32_t variant;
  int32_t renderMode;
  int32_t lutMode;
  int32_t xResolution;     /* dots per inch across */
  int32_t yResolution;     /* dots per inch down */
  int32_t engineField7;
  int32_t horizontalScale;
  int32_t engineField9;
  uint32_t lineWidth;      /* dots per line (zero-extended on the 16-bit side) */
  void* pointer;           /* replaced by the entry point's argument; not read */
} HalftoneParams;

/* PreviewOptions: the sharpening mode, then one address (not read). */
typedef struct PreviewOptions {
  int32_t mode;
  void* pointer;
} PreviewOptions;

/* CmLut: the colour table record of a colour-matching instance, handed to
 * the halftone engines.  Table layout: node (a, b, c) starts at byte
 * ((a * gridCountB + b) * gridCountC + c) * channels. */
typedef struct CmLut {
  int32_t reserved0;       /* stays 0 */
  int32_t tableType;
  int32_t channels;        /* bytes per node, black last */
  int32_t grayAxisFlag;
  int32_t tableParam0;
  int32_t tableParam1;
  int32_t tableParam2;
  int32_t tableParam3;
  int32_t weightLight;
  int32_t weightFull;
  int32_t weightExtra0;
  int32_t weightExtra1;
  int32_t weightExtra2;
  int32_t gridCountA;
  int32_t gridCountB;
  int32_t gridCountC;
  uint8_t gridA[32];
  uint8_t gridB[32];
  uint8_t gridC[32];
  uint8_t toneCurve[256];
  uint8_t* table;          /* the colour table */
  void* tableBlock;        /* block of the table (same value as table) */
  int32_t tableNumber;
  int32_t halftoneNumber;
  int32_t reserved1[6];    /* stay 0 */
  void* selfBlock;         /* block that holds this record */
} CmLut;

/* Opaque instance handles. */
typedef void* CmHandle;
typedef void* PreviewHandle;
typedef void* HalftoneHandle;

/* ---- Colour matching --------------------------------------------------- */
VANTIK_API uint32_t CmNewThk(const ColorAdjustRecord* adjust, void* field12,
                             void* field13, TaggedValueList* field14,
                             const HalftoneParams* params, void* paramsPointer,
                             void* reserved, int32_t* inOut,
                             CmHandle* outInstance);
/* Legacy form: the block carries no length; each format delimits itself. */
VANTIK_API uint32_t CmSetResourceThk(CmHandle instance, const void* block,
                                     int32_t* inOut);
/* Safe form: nothing past block + length is read. */
VANTIK_API uint32_t CmSetResourceWithLength(CmHandle instance,
                                            const void* block, size_t length,
                                            int32_t* inOut);
VANTIK_API uint32_t CmTranslateColorsThk(CmHandle instance, int32_t count,
                                         const uint8_t* src, uint8_t* dst,
                                         uint32_t unused, void* unusedAddress);
VANTIK_API CmLut* CmGetLutThk(CmHandle instance);
VANTIK_API uint32_t CmDeleteThk(CmHandle instance);

/* ---- Preview ------------------------------------------------------------ */
VANTIK_API uint32_t PreviewNewThk(const ColorAdjustRecord* adjust,
                                  void* field12, void* field13,
                                  TaggedValueList* field14,
                                  const PreviewOptions* options,
                                  void* optionsPointer, int32_t pixelFormat,
                                  PreviewHandle* outInstance);
VANTIK_API uint32_t PreviewTranslateColorsThk(PreviewHandle instance,
                                              uint32_t count,
                                              const uint8_t* src, uint8_t* dst,
                                              uint32_t unused,
                                              void* unusedAddress);
VANTIK_API uint32_t PreviewDeleteThk(PreviewHandle instance);

/* ---- Halftoning ---------------------------------------------------------- */
VANTIK_API uint32_t HalftoneNewThk(const HalftoneParams* params,
                                   void* paramsPointer, CmLut* lut,
                                   void* reserved, int32_t* inOut,
                                   HalftoneHandle* outInstance);
VANTIK_API uint32_t HalftoneSetResourceThk(HalftoneHandle instance,
                                           const void* block, int32_t* inOut);
VANTIK_API uint32_t HalftoneSetResourceWithLength(HalftoneHandle instance,
                                                  const void* block,
                                                  size_t length,
                                                  int32_t* inOut);
/* One run of one raster line: planes at dst + k * planeStride, first dot at
 * bit firstBit of the first byte, count dots from column x0, line y. */
VANTIK_API uint32_t HalftoneThk(HalftoneHandle instance, const uint8_t* src,
                                uint8_t* dst, int32_t planeStride,
                                int32_t firstBit, uint32_t count, uint32_t x0,
                                uint32_t arg8, uint32_t y, int32_t flags,
                                void* extra);
VANTIK_API uint32_t HalftoneDeleteThk(HalftoneHandle instance);

#ifdef __cplusplus
}
#endif

#endif /* VANTIK_VANTIK_H */
