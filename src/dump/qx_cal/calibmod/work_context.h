// The work context of one calibration call: the caller's arguments, the calibration state,
// the history file and entries, the working name, the open working table file and the
// table ids its QXDB records name. Set up and torn down by the calibration flow; the table
// file and curve code read the byte-order code, the request, the levels, the table file and
// the table id list from it.
#pragma once

#include <cstdint>

#include "calibmod.h"
#include "file_layer.h"
#include "table_file.h"

namespace cal {

inline constexpr uint32_t WORK_NAME_SIZE = 16;  // history file name, working name

struct WorkContext {
  const CalibrationRequest* request;
  uint8_t* nameBlock;
  const int16_t* levels;
  const char16_t* baseDirectory;
  const char16_t* workingDirectory;
  uint8_t byteOrderCode;  // BYTE_ORDER_SWAPPED when HostNeedsSwap(), else BYTE_ORDER_HOST
  int16_t calibrationState;
  char historyFileName[WORK_NAME_SIZE];
  FileContext historyFile;
  int16_t historyEntryCount;
  BufferHolder historyEntries;
  bool historyTailUnread;  // the history text ends in bytes that were not read as lines
  char workingName[WORK_NAME_SIZE];
  TableFile tableFile;
  TableIdList tableIds;
};

}  // namespace cal
