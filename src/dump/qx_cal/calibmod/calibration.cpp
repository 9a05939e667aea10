#include "calibration.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "curves.h"
#include "history.h"
#include "presets.h"

namespace cal {

namespace {

std::array<char, FILE_NAME_SIZE> TemporaryNameOf(const WorkContext& context) {
  std::array<char, FILE_NAME_SIZE> temporary{};
  MakeTemporaryName(context.workingName, temporary);
  return temporary;
}

bool HasGivenUpEntry(WorkContext& context) {
  for (const HistoryEntry& entry : HistoryEntries(context)) {
    if (entry.sequence == SEQUENCE_GIVEN_UP) return true;
  }
  return false;
}

// The steps after the checks, once the work context exists. The status leaves the call.
int16_t CalibrateInContext(WorkContext& context) {
  const int16_t chosen = ChooseCalibrationState(context);
  if (chosen != CAL_OK) return chosen == CALERR_MEMORY ? CALERR_MEMORY : CALERR_FILE;

  if (context.calibrationState == STATE_ENTRY_FOUND) {
    if (CheckWorkingFile(context) != 0 || CompareTableIdentity(context) != IDENTITY_SAME) {
      context.calibrationState = STATE_STALE;
    } else {
      return CAL_OK;  // a valid working file: nothing is written
    }
  }

  int16_t status = CreateWorkingFile(context);
  if (status == CAL_OK) status = ApplyLevels(context);
  if (status == CAL_OK && context.calibrationState == STATE_NO_ENTRY && HasGivenUpEntry(context)) {
    status = RemoveReclaimedFile(context);
  }
  if (status == CAL_OK && context.calibrationState != STATE_STALE) {
    status = RecordCalibration(context);
  }
  if (status == CAL_OK) status = InstallWorkingFile(context);
  if (status != CAL_OK) {
    DiscardWorkingFile(context);
    return CALERR_FILE;
  }
  return CAL_OK;
}

}  // namespace

// ---- Checks -----------------------------------------------------------------------------------

int16_t CheckInkConfiguration(const CalibrationRequest& request) {
  for (int16_t configuration : SUPPORTED_INK_CONFIGS) {
    if (configuration == request.inkConfiguration) return CAL_OK;
  }
  return CALERR_UNSUPPORTED;
}

int16_t CheckRequestNames(const CalibrationRequest& request, const uint8_t* nameBlock) {
  const char* base = BaseTableName(nameBlock);
  if (!IsPlainFileName(base, NAME_FIELD_SIZE) || VariablePosition(base) < 0) {
    return CALERR_UNSUPPORTED;
  }
  std::array<char, WORK_NAME_SIZE> historyName{};
  return MakeHistoryFileName(nameBlock + NAME_BLOCK_STEM, request.historyKey, historyName);
}

// ---- Work context -----------------------------------------------------------------------------

int16_t SetUpWorkContext(const CalibrationRequest* request, uint8_t* nameBlock,
                         const int16_t* levels, const char16_t* baseDirectory,
                         const char16_t* workingDirectory, WorkContext** context) {
  *context = nullptr;
  MemBlock block{};
  void* memory = nullptr;
  if (MemBlockAlloc(static_cast<uint32_t>(sizeof(WorkContext)), block, &memory) != CAL_OK) {
    return CALERR_MEMORY;
  }
  WorkContext* created = new (memory) WorkContext{};
  created->request = request;
  created->nameBlock = nameBlock;
  created->levels = levels;
  created->baseDirectory = baseDirectory;
  created->workingDirectory = workingDirectory;
  created->byteOrderCode = HostNeedsSwap() ? BYTE_ORDER_SWAPPED : BYTE_ORDER_HOST;
  created->historyEntryCount = 0;
  HolderClear(created->historyEntries);
  std::fill(std::begin(created->historyFileName), std::end(created->historyFileName), '\0');
  std::fill(std::begin(created->workingName), std::end(created->workingName), '\0');
  *context = created;
  return CAL_OK;
}

void TearDownWorkContext(WorkContext* context) {
  if (context == nullptr) return;
  HolderRelease(context->historyEntries);
  MemBlock block{context};
  MemBlockRelease(block, context);
}

// ---- State ------------------------------------------------------------------------------------

int16_t ChooseCalibrationState(WorkContext& context) {
  HolderClear(context.historyFile.holder);
  int16_t status = CAL_OK;
  int16_t state = STATE_NO_HISTORY;
  const int16_t loaded = LoadHistory(context);
  if (loaded == CALERR_MEMORY) {
    status = CALERR_MEMORY;
  } else if (loaded == CAL_OK) {
    const int16_t parsed = ParseHistory(context);
    if (parsed == CALERR_MEMORY) {
      status = CALERR_MEMORY;
    } else if (parsed == CAL_OK) {
      int16_t index = -1;
      if (FindHistoryEntry(context, index) == 0) {
        StrCopy(context.workingName, WORK_NAME_SIZE,
                HistoryEntries(context)[static_cast<size_t>(index)].name);
        state = STATE_ENTRY_FOUND;
      } else {
        state = STATE_NO_ENTRY;
      }
    }
    // A malformed line: the history counts as absent (state 2, no entries).
  }
  if (status == CAL_OK) {
    context.calibrationState = state;
    if (state != STATE_ENTRY_FOUND) status = MakeWorkingName(context, state);
  }
  HolderRelease(context.historyFile.holder);
  HolderClear(context.historyFile.holder);
  // An entry that names the base table file or the history file is never written over.
  if (status == CAL_OK && NamesProtectedFile(context, context.workingName)) status = CALERR_FILE;
  // Nor is the base table file, when the history file would be it.
  if (status == CAL_OK && HistoryIsBaseTableFile(context)) status = CALERR_FILE;
  return status;
}

int16_t CheckWorkingFile(WorkContext& context) {
  FileContext working{};
  if (FileOpenIn(working, context.workingDirectory, context.workingName, FILE_MODE_READ) !=
      CAL_OK) {
    return WORKING_FILE_MISSING;
  }
  FileClose(working);
  return 0;
}

int16_t CompareTableIdentity(WorkContext& context) {
  std::array<char, TABLE_IDENT_SIZE> baseText{};
  std::array<char, TABLE_IDENT_SIZE> workingText{};
  if (ReadTableIdent(BaseTableName(context.nameBlock), context.baseDirectory, baseText) !=
      CAL_OK) {
    return CALERR_FILE;
  }
  if (ReadTableIdent(context.workingName, context.workingDirectory, workingText) != CAL_OK) {
    return IDENTITY_DIFFERENT;
  }
  return baseText == workingText ? IDENTITY_SAME : IDENTITY_DIFFERENT;
}

// ---- Building the working file ----------------------------------------------------------------

int16_t CreateWorkingFile(WorkContext& context) {
  const std::array<char, FILE_NAME_SIZE> temporaryName = TemporaryNameOf(context);
  FileContext source{};
  FileContext target{};
  // One whole-file copy: the bytes of reading the base table file whole and writing them
  // out, without holding them in memory.
  const int16_t status =
      FileCopyWhole(source, context.baseDirectory, BaseTableName(context.nameBlock), target,
                    context.workingDirectory, temporaryName.data());
  // The finished file must be exactly as long as the base table file; ApplyLevels checks.
  context.tableFile.file.dataLength = source.dataLength;
  return status == CAL_OK ? CAL_OK : CALERR_FILE;
}

int16_t ApplyLevels(WorkContext& context) {
  const std::array<char, FILE_NAME_SIZE> temporaryName = TemporaryNameOf(context);
  FileContext& file = context.tableFile.file;
  if (FileOpenReadWrite(file, context.workingDirectory, temporaryName.data()) != CAL_OK) {
    return CALERR_FILE;
  }
  int16_t status = ApplyCalibrationToTable(context) == CAL_OK ? CAL_OK : CALERR_FILE;
  // A copy that a write left short would pass for a finished file.
  if (status == CAL_OK && FileGetSize(file) != static_cast<int32_t>(file.dataLength)) {
    status = CALERR_FILE;
  }
  if (status == CAL_OK) status = FileFlush(file);
  FileClose(file);
  return status == CAL_OK ? CAL_OK : CALERR_FILE;
}

int16_t InstallWorkingFile(WorkContext& context) {
  const std::array<char, FILE_NAME_SIZE> temporaryName = TemporaryNameOf(context);
  FileContext temporary{};
  FileContext working{};
  FileSetLocation(temporary, context.workingDirectory, temporaryName.data());
  FileSetLocation(working, context.workingDirectory, context.workingName);
  return FileMoveOver(temporary, working) == CAL_OK ? CAL_OK : CALERR_FILE;
}

void DiscardWorkingFile(WorkContext& context) {
  const std::array<char, FILE_NAME_SIZE> temporaryName = TemporaryNameOf(context);
  FileContext temporary{};
  FileRemove(temporary, context.workingDirectory, temporaryName.data());
}

int16_t RemoveReclaimedFile(WorkContext& context) {
  FileContext old{};
  // Nothing to remove is as good as removed; what counts is that no call can open it.
  FileRemove(old, context.workingDirectory, context.workingName);
  return CheckWorkingFile(context) == WORKING_FILE_MISSING ? CAL_OK : CALERR_FILE;
}

// ---- Result -----------------------------------------------------------------------------------

void ReturnTableName(const WorkContext* context, uint8_t* nameBlock, int16_t status) {
  const uint8_t* source = nameBlock + NAME_BLOCK_BASE_NAME;
  if (context != nullptr && status == CAL_OK) {
    source = reinterpret_cast<const uint8_t*>(context->workingName);
  }
  uint8_t* result = nameBlock + NAME_BLOCK_RESULT;
  std::fill(result, result + NAME_FIELD_SIZE, uint8_t{0});
  for (uint32_t i = 0; i < NAME_FIELD_SIZE; ++i) {
    result[i] = source[i];
    if (source[i] == 0) break;
  }
}

// ---- The flow ---------------------------------------------------------------------------------

int16_t RunCalibration(const CalibrationRequest* request, uint8_t* nameBlock,
                       const int16_t* levels, const char16_t* baseDirectory,
                       const char16_t* workingDirectory) {
  if (nameBlock == nullptr) return CALERR_UNSUPPORTED;
  int16_t status = CAL_OK;
  if (request == nullptr || levels == nullptr || baseDirectory == nullptr ||
      workingDirectory == nullptr) {
    status = CALERR_UNSUPPORTED;
  }
  if (status == CAL_OK) status = CheckInkConfiguration(*request);
  if (status == CAL_OK && CheckAllLevels(*request, levels) != CAL_OK) status = CALERR_UNSUPPORTED;
  if (status == CAL_OK && HasSpecialLevel(*request, levels) == LEVELS_SPECIAL) {
    ReturnTableName(nullptr, nameBlock, CAL_OK);  // no calibration, no file touched
    return CAL_OK;
  }
  if (status == CAL_OK) status = CheckRequestNames(*request, nameBlock);

  WorkContext* context = nullptr;
  if (status == CAL_OK) {
    status = SetUpWorkContext(request, nameBlock, levels, baseDirectory, workingDirectory,
                              &context);
  }
  if (status != CAL_OK) {
    ReturnTableName(nullptr, nameBlock, status);
    return status;
  }
  status = CalibrateInContext(*context);
  ReturnTableName(context, nameBlock, status);
  TearDownWorkContext(context);
  return status;
}

}  // namespace cal
