/* calibmod: per-ink density calibration of the table file.
 *
 * QXCalibration makes (or reuses) a working copy of the base table file with the preset
 * curves of the requested levels patched in, records it in the history file, and writes
 * the name the host is to use into bytes 16-31 of the name block. On every failure that
 * name is the base table file name. */
#ifndef MPX_CALIBMOD_H
#define MPX_CALIBMOD_H

#include "mpx_abi.h"

MPX_EXTERN_C_BEGIN

typedef struct CalibrationRequest {
    int16_t historyKey;
    int16_t inkConfiguration;
    int32_t identity1, identity2, identity3;
} CalibrationRequest; /* 16 bytes */

/* Statuses of QXCalibration. */
#define CAL_OK 0
#define CALERR_FILE (-138)
#define CALERR_MEMORY (-108)
#define CALERR_UNSUPPORTED (-128)

/* nameBlock: 37 bytes or more. Bytes 0-15 hold the base table file name (8-bit,
 * NUL-terminated); bytes 16-31 receive the name of the table file to use. */
MPX_EXPORT int16_t MPX_CALL QXCalibration(const CalibrationRequest* request, uint8_t* nameBlock,
                                          const int16_t* levels, const char16_t* baseDirectory,
                                          const char16_t* workingDirectory);

MPX_EXTERN_C_END

#if defined(__cplusplus)
static_assert(sizeof(CalibrationRequest) == 16, "CalibrationRequest is 16 bytes");
#else
_Static_assert(sizeof(CalibrationRequest) == 16, "CalibrationRequest is 16 bytes");
#endif

#endif
