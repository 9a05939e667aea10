// The calibration flow behind QXCalibration: checks, the work context, the choice of the
// calibration state, reuse of a valid working file, the building of a new one and the name
// handed back to the host.
//
// A working file is always built under a temporary name and moved over its working name
// only once its curves are in place and it is flushed, so a working file is either a
// finished calibration or absent. When a new calibration is recorded, the history is
// written before the move: a failure in between leaves a history entry whose working file
// is missing, which the next call rebuilds.
#pragma once

#include <cstdint>
#include <span>

#include "calibmod.h"
#include "work_context.h"

namespace cal {

// ---- Name block -------------------------------------------------------------------------------

inline constexpr uint32_t NAME_BLOCK_BASE_NAME = 0;  // in: base table file name, 16 bytes
inline constexpr uint32_t NAME_BLOCK_RESULT = 16;    // out: the table file to use, 16 bytes
inline constexpr uint32_t NAME_BLOCK_STEM = 32;      // in: history name stem, 5 bytes
inline constexpr uint32_t NAME_FIELD_SIZE = 16;
inline constexpr uint32_t HISTORY_STEM_SIZE = 5;

inline const char* BaseTableName(const uint8_t* nameBlock) {
  return reinterpret_cast<const char*>(nameBlock + NAME_BLOCK_BASE_NAME);
}

// ---- Calibration states -----------------------------------------------------------------------

inline constexpr int16_t STATE_ENTRY_FOUND = 1;
inline constexpr int16_t STATE_NO_HISTORY = 2;
inline constexpr int16_t STATE_NO_ENTRY = 3;
inline constexpr int16_t STATE_STALE = 4;  // the entry's working file must be built again

// CompareTableIdentity: the working file carries the base table file's identification.
inline constexpr int16_t IDENTITY_SAME = 1;
inline constexpr int16_t IDENTITY_DIFFERENT = 0;
// CheckWorkingFile: the working file does not open.
inline constexpr int16_t WORKING_FILE_MISSING = -1;

// ---- The flow ---------------------------------------------------------------------------------

// The whole call; see calibmod.h for the statuses.
int16_t RunCalibration(const CalibrationRequest* request, uint8_t* nameBlock,
                       const int16_t* levels, const char16_t* baseDirectory,
                       const char16_t* workingDirectory);

// CAL_OK when the request's ink configuration is in SUPPORTED_INK_CONFIGS, else
// CALERR_UNSUPPORTED.
int16_t CheckInkConfiguration(const CalibrationRequest& request);
// CAL_OK when the history key is not negative, the base table file name gives working
// names and the stem gives a history file name that stays inside the working directory;
// else CALERR_UNSUPPORTED.
int16_t CheckRequestNames(const CalibrationRequest& request, const uint8_t* nameBlock);

// Allocates the work context zero-filled and fills it: CAL_OK, or CALERR_MEMORY with
// *context null.
int16_t SetUpWorkContext(const CalibrationRequest* request, uint8_t* nameBlock,
                         const int16_t* levels, const char16_t* baseDirectory,
                         const char16_t* workingDirectory, WorkContext** context);
void TearDownWorkContext(WorkContext* context);

// Sets the calibration state and the working name from the history: CAL_OK, CALERR_MEMORY,
// or CALERR_FILE when no working name can be used.
int16_t ChooseCalibrationState(WorkContext& context);
// 0 when the working file opens for reading, else WORKING_FILE_MISSING.
int16_t CheckWorkingFile(WorkContext& context);
// IDENTITY_SAME, IDENTITY_DIFFERENT (also when the working file's text is unreadable), or
// CALERR_FILE when the base table file's text is unreadable.
int16_t CompareTableIdentity(WorkContext& context);

// Copies the base table file into the temporary file of the working name. CAL_OK or
// CALERR_FILE.
int16_t CreateWorkingFile(WorkContext& context);
// Replaces the curves of the temporary file and flushes it. CAL_OK or CALERR_FILE.
int16_t ApplyLevels(WorkContext& context);
// Moves the finished temporary file over the working name and makes the move durable.
int16_t InstallWorkingFile(WorkContext& context);
// Removes the temporary file of the working name; nothing else is touched.
void DiscardWorkingFile(WorkContext& context);
// A working name taken over from an old entry: its old file goes before the history names
// the name for this calibration, so that no call can meet the old curves under the new
// entry. CAL_OK, or CALERR_FILE when the old file stays readable.
int16_t RemoveReclaimedFile(WorkContext& context);

// Zero-fills bytes 16-31 of the name block and copies in the working name (with a context
// and CAL_OK) or the base table file name, up to and including its NUL, at most 16 bytes.
void ReturnTableName(const WorkContext* context, uint8_t* nameBlock, int16_t status);

}  // namespace cal
