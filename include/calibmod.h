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
 * NUL-terminated); bytes 16-31 receive the name of the table file to use; bytes 32-36 hold
 * the five characters that begin the history file name. No other byte is written.
 *
 * CAL_OK             the calibration is in effect: bytes 16-31 name the working file in the
 *                    working directory. Also when a used level is the special level 8: then
 *                    no file is touched and bytes 16-31 name the base table file.
 * CALERR_UNSUPPORTED the ink configuration or a level is not supported, or the call cannot be
 *                    served as given: a null request, level array or directory; a negative
 *                    history key; a base table file name without a NUL in its 16 bytes,
 *                    without a dot after its first character, or naming anything but a
 *                    plain file (a path separator "/", "\" or ":", or ".."); a history name
 *                    stem holding a NUL, a path separator or "..". Nothing is touched.
 *                    With a null nameBlock nothing at all is written.
 * CALERR_MEMORY      memory for the work context or the history ran out.
 * CALERR_FILE        a file could not be read, created, written or moved into place; the
 *                    base table file could not be read; or no working name is free (every
 *                    one names an existing file that no history entry owns, or the history
 *                    names the base table file or the history file itself), or the
 *                    history file would be the base table file itself (same directory).
 * On every status but CAL_OK, bytes 16-31 name the base table file (up to 16 bytes). A
 * failed call leaves no half-built working file under a working name, and the history
 * file holds either its old or its new content. The base table file is never written. */
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
