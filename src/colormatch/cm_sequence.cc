// The resource dialogue of a colour-matching instance: the colour-table
// index, the table block, then, when the caller's list carries a calibration
// record, blocks 980, 990, 900 and the curve block.  After each call inOut
// names the next block wanted, or -1 when the instance wants no more.
//
// Once the dialogue has ended (inOut -1) or a step has failed, every further
// call is refused with 0x300 and changes nothing; only delete remains.
#include "colormatch/cm_calibration.h"
#include "colormatch/cm_index.h"
#include "colormatch/cm_instance.h"
#include "colormatch/cm_internal.h"
#include "interface/return_if_error.h"
#include "interface/services.h"

namespace vantik::colormatch {
namespace {

uint32_t IndexStep(CmInstance& instance, ByteReader& block, int32_t* inOut) {
  instance.loadState = 2;
  int32_t tableNumber = 0;
  const uint32_t rc = CmIndexLookup(instance, block, &tableNumber);
  if (rc != RC_OK) return rc;
  *inOut = tableNumber;
  return tableNumber == 0 ? RC_BAD_RESOURCE : RC_OK;
}

uint32_t TableStep(CmInstance& instance, ByteReader& block, int32_t* inOut) {
  instance.loadState = 3;
  // Table block, gray-axis rules, adjustment pass, density correction and
  // tone curve; the translation layout of the render mode is then in force.
  VANTIK_RETURN_IF_ERROR(CmLoadTableBlock(instance, block));
  const uint32_t rc = CmCalibrationStart(instance, inOut);
  if (rc == RC_OK && *inOut == -1) CmReleaseBuild(instance);
  return rc;
}

uint32_t CalibrationStep(CmInstance& instance, ByteReader& block, int32_t* inOut) {
  ++instance.loadState;
  const uint32_t rc = CmCalibrationStep(instance, block, inOut);
  if (rc == RC_OK && *inOut == -1) {
    CmApplyCurves(instance);
    CmReleaseBuild(instance);
  }
  return rc;
}

}  // namespace

uint32_t CmSetResource(CmHandle handle, const void* block, size_t length,
                       int32_t* inOut) {
  if (handle == nullptr || inOut == nullptr) return RC_BAD_PARAMETER;
  auto* instance = static_cast<CmInstance*>(handle);
  // Calibration steps need their build record; without it the dialogue is over.
  if (instance->sequenceClosed != 0 ||
      (instance->loadState >= 3 && instance->build == nullptr)) {
    return RC_BAD_RESOURCE;
  }
  ByteReader reader(block, length);
  uint32_t rc;
  if (instance->loadState == 1) {
    rc = IndexStep(*instance, reader, inOut);
  } else if (instance->loadState == 2) {
    rc = TableStep(*instance, reader, inOut);
  } else {
    rc = CalibrationStep(*instance, reader, inOut);
  }
  if (rc != RC_OK || *inOut == -1) instance->sequenceClosed = 1;
  return rc;
}

}  // namespace vantik::colormatch
