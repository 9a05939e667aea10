// The one export of the calibration module.
#include "calibmod.h"

#include "calibration.h"

extern "C" MPX_EXPORT int16_t MPX_CALL QXCalibration(const CalibrationRequest* request,
                                                     uint8_t* nameBlock, const int16_t* levels,
                                                     const char16_t* baseDirectory,
                                                     const char16_t* workingDirectory) {
  return cal::RunCalibration(request, nameBlock, levels, baseDirectory, workingDirectory);
}
