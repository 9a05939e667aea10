#include "history.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "calibration.h"

namespace cal {

namespace {

constexpr char BLANK = ' ';
constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr std::string_view HISTORY_EXTENSION = ".ini";
constexpr int16_t HISTORY_KEY_DIGITS = 3;  // the key is padded with "0" to three digits

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsPathSignificant(char c) { return c == '/' || c == '\\' || c == ':'; }

uint32_t NameLength(const char* name) {
  return static_cast<uint32_t>(strnlen(name, WORK_NAME_SIZE));
}

// Directories compared as the file system of the 32-bit host would (ASCII case ignored);
// a trailing separator does not make a directory another one.
bool SameDirectory(const char16_t* left, const char16_t* right) {
  auto lower = [](char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
  };
  auto isSeparator = [](char16_t c) { return c == u'/' || c == u'\\'; };
  uint32_t i = 0;
  for (; left[i] != u'\0' && right[i] != u'\0'; ++i) {
    if (lower(left[i]) != lower(right[i]) && !(isSeparator(left[i]) && isSeparator(right[i]))) {
      return false;
    }
  }
  auto restIsSeparator = [&](const char16_t* rest) {
    return rest[0] == u'\0' || (isSeparator(rest[0]) && rest[1] == u'\0');
  };
  return restIsSeparator(left + i) && restIsSeparator(right + i);
}

// Whether a file of this name could be created in the working directory. A probe that
// cannot create the file (it exists, or anything else goes wrong) counts as taken: a name
// is only handed out when it certainly names nothing yet.
bool NameIsFree(WorkContext& context, const char* name) {
  FileContext probe{};
  if (FileCreateNew(probe, context.workingDirectory, name) != CAL_OK) return false;
  FileContext removal{};
  return FileRemove(removal, context.workingDirectory, name) == CAL_OK;
}

// Writes the kept entries and the request's line into an open file.
int16_t WriteHistoryLines(WorkContext& context, FileContext& file, uint32_t& written) {
  written = 0;
  std::array<char, HISTORY_LINE_SIZE> line{};
  for (const HistoryEntry& entry : HistoryEntries(context)) {
    if (entry.sequence == SEQUENCE_GIVEN_UP) continue;
    const uint32_t length = FormatHistoryLine(line, entry.historyKey, entry.identity1,
                                              entry.identity2, entry.identity3, entry.name);
    if (length == 0 || FileWrite(file, line.data(), length) != CAL_OK) return CALERR_FILE;
    written += length;
  }
  const CalibrationRequest& request = *context.request;
  const uint32_t length = FormatHistoryLine(line, request.historyKey, request.identity1,
                                            request.identity2, request.identity3,
                                            context.workingName);
  if (length == 0 || FileWrite(file, line.data(), length) != CAL_OK) return CALERR_FILE;
  written += length;
  return CAL_OK;
}

}  // namespace

// ---- Names ------------------------------------------------------------------------------------

bool IsPlainFileName(const char* name, uint32_t capacity) {
  const uint32_t limit = capacity < WORK_NAME_SIZE ? capacity : WORK_NAME_SIZE;
  const uint32_t length = static_cast<uint32_t>(strnlen(name, limit));
  if (length == 0 || length >= limit) return false;
  const std::string_view text(name, length);
  if (text == "." || text.find("..") != std::string_view::npos) return false;
  for (char c : text) {
    if (IsPathSignificant(c)) return false;
  }
  return true;
}

int16_t MakeHistoryFileName(const uint8_t* stem, int16_t historyKey,
                            std::span<char, WORK_NAME_SIZE> name) {
  std::fill(name.begin(), name.end(), '\0');
  if (historyKey < 0) return CALERR_UNSUPPORTED;
  std::array<char, DECIMAL_SIZE> digits{};
  const int16_t digitCount =
      FormatDecimal(digits, static_cast<uint32_t>(static_cast<int32_t>(historyKey)));
  uint32_t at = 0;
  for (uint32_t i = 0; i < HISTORY_STEM_SIZE; ++i) {
    const char c = static_cast<char>(stem[i]);
    // A NUL would cut the name short; the stem is five characters.
    if (c == '\0') return CALERR_UNSUPPORTED;
    name[at++] = c;
  }
  for (int16_t pad = digitCount; pad < HISTORY_KEY_DIGITS; ++pad) name[at++] = '0';
  for (int16_t i = 0; i < digitCount; ++i) name[at++] = digits[static_cast<size_t>(i)];
  for (char c : HISTORY_EXTENSION) name[at++] = c;
  // At most 5 + 5 + 4 = 14 characters for keys up to 32767.
  name[at] = '\0';
  return IsPlainFileName(name.data(), WORK_NAME_SIZE) ? CAL_OK : CALERR_UNSUPPORTED;
}

int32_t VariablePosition(const char* baseName) {
  const uint32_t length = NameLength(baseName);
  if (length >= WORK_NAME_SIZE) return -1;
  int32_t lastDot = -1;
  for (uint32_t i = 0; i < length; ++i) {
    if (baseName[i] == '.') lastDot = static_cast<int32_t>(i);
  }
  return lastDot >= 1 ? lastDot - 1 : -1;
}

void MakeTemporaryName(const char* name, std::span<char, FILE_NAME_SIZE> temporary) {
  std::fill(temporary.begin(), temporary.end(), '\0');
  const uint32_t length = NameLength(name);
  std::memcpy(temporary.data(), name, length);
  std::memcpy(temporary.data() + length, TEMPORARY_SUFFIX.data(), TEMPORARY_SUFFIX.size());
}

bool NamesEqualIgnoringCase(const char* left, const char* right) {
  for (uint32_t i = 0; i < WORK_NAME_SIZE; ++i) {
    if (LowerAscii(left[i]) != LowerAscii(right[i])) return false;
    if (left[i] == '\0') return true;
  }
  return true;
}

bool HistoryIsBaseTableFile(const WorkContext& context) {
  return NamesEqualIgnoringCase(context.historyFileName, BaseTableName(context.nameBlock)) &&
         SameDirectory(context.baseDirectory, context.workingDirectory);
}

bool NamesProtectedFile(const WorkContext& context, const char* name) {
  if (NamesEqualIgnoringCase(name, context.historyFileName)) return true;
  return NamesEqualIgnoringCase(name, BaseTableName(context.nameBlock)) &&
         SameDirectory(context.baseDirectory, context.workingDirectory);
}

// ---- Reading ----------------------------------------------------------------------------------

int16_t LoadHistory(WorkContext& context) {
  const int16_t nameStatus =
      MakeHistoryFileName(context.nameBlock + NAME_BLOCK_STEM, context.request->historyKey,
                          context.historyFileName);
  // The flow refuses such requests before; a name that cannot be built reads as no file.
  if (nameStatus != CAL_OK) return CALERR_NOFILE;
  return FileReadAll(context.historyFile, context.workingDirectory, context.historyFileName);
}

void SplitLines(char* text, uint32_t length, LineList& lines) {
  lines.count = 0;
  lines.tailUnread = false;
  for (HistoryLine& line : lines.lines) line = HistoryLine{};
  const uint32_t walked = length < HISTORY_TEXT_LIMIT ? length : HISTORY_TEXT_LIMIT;
  uint32_t lineStart = 0;
  bool inLine = false;
  for (uint32_t i = 0; i < walked; ++i) {
    const char c = text[i];
    if (c != CR && c != LF && c != '\0') {
      if (!inLine) {
        inLine = true;
        lineStart = i;
      }
      continue;
    }
    if (inLine) {
      lines.lines[static_cast<size_t>(lines.count)] =
          HistoryLine{text + lineStart, static_cast<uint16_t>(i - lineStart)};
      ++lines.count;
      inLine = false;
    }
    if (c == '\0') {
      // The text ends here; an appended line would follow the NUL unread.
      lines.tailUnread = lines.count < MAX_HISTORY_LINES;
      return;
    }
    text[i] = '\0';
    if (lines.count == MAX_HISTORY_LINES) return;
  }
  if (inLine || length > walked) lines.tailUnread = true;
}

char* TrimBlanks(char* field) {
  while (*field == BLANK) ++field;
  size_t end = std::strlen(field);
  while (end > 0 && field[end - 1] == BLANK) field[--end] = '\0';
  return field;
}

int16_t SplitFields(char* start, uint16_t length, std::span<char*, HISTORY_FIELD_COUNT> fields,
                    int16_t& count) {
  for (char*& field : fields) field = nullptr;
  fields[0] = start;
  count = 1;
  for (uint16_t i = 0; i < length && start[i] != '\0'; ++i) {
    if (start[i] != ',') continue;
    if (count == HISTORY_FIELD_COUNT) return HISTORY_MALFORMED;
    start[i] = '\0';
    fields[static_cast<size_t>(count)] = start + i + 1;
    ++count;
  }
  for (int16_t f = 0; f < count; ++f) {
    fields[static_cast<size_t>(f)] = TrimBlanks(fields[static_cast<size_t>(f)]);
  }
  return 0;
}

int16_t ParseDecimal(const char* field, int32_t& value) {
  uint32_t accumulated = 0;
  for (const char* p = field; *p != '\0'; ++p) {
    if (*p == '-') {
      value = -1;
      return 0;
    }
    if (*p < '0' || *p > '9') return HISTORY_MALFORMED;
    accumulated = accumulated * 10u + static_cast<uint32_t>(*p - '0');
  }
  value = static_cast<int32_t>(accumulated);
  return 0;
}

int16_t ParseHistoryLine(char* start, uint16_t length, HistoryEntry& entry) {
  std::array<char*, HISTORY_FIELD_COUNT> fields{};
  int16_t count = 0;
  if (SplitFields(start, length, fields, count) != 0 || count != HISTORY_FIELD_COUNT) {
    return HISTORY_MALFORMED;
  }
  std::array<int32_t, 4> numbers{};
  for (uint32_t f = 0; f < numbers.size(); ++f) {
    if (ParseDecimal(fields[f], numbers[f]) != 0) return HISTORY_MALFORMED;
  }
  // The name becomes a file of the working directory: it must stay inside it and fit.
  const char* name = fields[4];
  if (!IsPlainFileName(name, WORK_NAME_SIZE)) return HISTORY_MALFORMED;
  entry.historyKey = static_cast<int16_t>(static_cast<uint16_t>(numbers[0] & 0xFFFF));
  entry.identity1 = numbers[1];
  entry.identity2 = numbers[2];
  entry.identity3 = numbers[3];
  std::memset(entry.name, 0, sizeof entry.name);
  std::memcpy(entry.name, name, std::strlen(name) + 1);
  return 0;
}

std::span<HistoryEntry> HistoryEntries(WorkContext& context) {
  if (context.historyEntries.data == nullptr || context.historyEntryCount <= 0) return {};
  return {reinterpret_cast<HistoryEntry*>(context.historyEntries.data),
          static_cast<size_t>(context.historyEntryCount)};
}

int16_t ParseHistory(WorkContext& context) {
  context.historyEntryCount = 0;
  LineList lines;
  SplitLines(reinterpret_cast<char*>(context.historyFile.holder.data),
             context.historyFile.dataLength, lines);
  context.historyTailUnread = lines.tailUnread;
  if (lines.count == 0) return CAL_OK;

  const uint32_t count = static_cast<uint32_t>(lines.count);
  if (HolderAlloc(count * static_cast<uint32_t>(sizeof(HistoryEntry)), context.historyEntries) !=
      CAL_OK) {
    return CALERR_MEMORY;
  }
  auto* entries = reinterpret_cast<HistoryEntry*>(context.historyEntries.data);
  for (uint32_t i = 0; i < count; ++i) {
    HistoryEntry* entry = new (entries + i) HistoryEntry{};
    if (ParseHistoryLine(lines.lines[i].start, lines.lines[i].length, *entry) != 0) {
      return HISTORY_MALFORMED;
    }
    entry->sequence = static_cast<int16_t>(i + 1);
  }
  context.historyEntryCount = lines.count;
  return CAL_OK;
}

int16_t FindHistoryEntry(WorkContext& context, int16_t& index) {
  const CalibrationRequest& request = *context.request;
  const std::span<HistoryEntry> entries = HistoryEntries(context);
  for (size_t i = 0; i < entries.size(); ++i) {
    const HistoryEntry& entry = entries[i];
    if (entry.historyKey == request.historyKey && entry.identity1 == request.identity1 &&
        entry.identity2 == request.identity2 && entry.identity3 == request.identity3) {
      index = static_cast<int16_t>(i);
      return 0;
    }
  }
  index = -1;
  return HISTORY_NOT_FOUND;
}

// ---- Working names ----------------------------------------------------------------------------

int16_t CollectCandidates(WorkContext& context,
                          std::span<HistoryEntry*, MAX_CANDIDATES> candidates,
                          int32_t variablePosition, uint32_t nameLength) {
  const char* base = BaseTableName(context.nameBlock);
  int16_t count = 0;
  for (HistoryEntry& entry : HistoryEntries(context)) {
    bool matches = true;
    for (uint32_t i = 0; i < nameLength && matches; ++i) {
      if (static_cast<int32_t>(i) == variablePosition) continue;
      matches = LowerAscii(entry.name[i]) == LowerAscii(base[i]);
    }
    if (!matches) continue;
    candidates[static_cast<size_t>(count)] = &entry;
    if (++count == MAX_CANDIDATES) break;
  }
  return count;
}

void ChooseOldest(std::span<HistoryEntry*> candidates, int32_t variablePosition,
                  char& character) {
  HistoryEntry* oldest = nullptr;
  for (HistoryEntry* candidate : candidates) {
    if (oldest == nullptr || candidate->sequence < oldest->sequence) oldest = candidate;
  }
  if (oldest == nullptr) return;
  oldest->sequence = SEQUENCE_GIVEN_UP;
  character = oldest->name[variablePosition];
}

int16_t MakeWorkingName(WorkContext& context, int16_t state) {
  const char* base = BaseTableName(context.nameBlock);
  char* name = context.workingName;
  for (uint32_t i = 0; i < WORK_NAME_SIZE; ++i) {
    name[i] = LowerAscii(base[i]);
    if (base[i] == '\0') break;
  }
  const uint32_t nameLength = NameLength(base);
  const int32_t variablePosition = VariablePosition(base);
  if (variablePosition < 0) return CALERR_FILE;  // refused by the flow before
  const auto at = static_cast<uint32_t>(variablePosition);

  std::array<HistoryEntry*, MAX_CANDIDATES> candidates{};
  int16_t candidateCount = 0;
  if (state == STATE_NO_ENTRY) {
    candidateCount = CollectCandidates(context, candidates, variablePosition, nameLength);
  }
  const std::span<HistoryEntry*> used(candidates.data(), static_cast<size_t>(candidateCount));

  for (uint32_t k = FIRST_NAME_CHARACTER; k < NAME_ALPHABET.size(); ++k) {
    const char character = NAME_ALPHABET[k];
    bool blocked = false;
    for (const HistoryEntry* candidate : used) {
      if (LowerAscii(candidate->name[at]) == character) blocked = true;
    }
    if (blocked) continue;
    name[at] = character;
    // Another key's working file, a file left from a lost history, the base table file in
    // a shared directory: none of them is ever overwritten by a new working name.
    if (NamesProtectedFile(context, name) || !NameIsFree(context, name)) continue;
    return CAL_OK;
  }

  if (used.empty()) return CALERR_FILE;  // every name is taken by files no entry knows
  char character = '\0';
  ChooseOldest(used, variablePosition, character);
  name[at] = character;
  // The file taken over is the one the given-up entry names; a name that only resembles
  // it (longer, other case) may belong to someone else and must be free.
  bool takenOver = false;
  for (const HistoryEntry* candidate : used) {
    if (candidate->sequence == SEQUENCE_GIVEN_UP &&
        std::strncmp(candidate->name, name, WORK_NAME_SIZE) == 0) {
      takenOver = true;
    }
  }
  if (!takenOver && (NamesProtectedFile(context, name) || !NameIsFree(context, name))) {
    return CALERR_FILE;
  }
  // No entry but the new one may name the file taken over.
  for (HistoryEntry& entry : HistoryEntries(context)) {
    if (NamesEqualIgnoringCase(entry.name, name)) entry.sequence = SEQUENCE_GIVEN_UP;
  }
  return CAL_OK;
}

// ---- Writing ----------------------------------------------------------------------------------

int16_t FormatDecimal(std::span<char, DECIMAL_SIZE> buffer, uint32_t value) {
  static constexpr std::array<uint32_t, 10> DIVISORS = {
      1000000000, 100000000, 10000000, 1000000, 100000, 10000, 1000, 100, 10, 1};
  int16_t digits = 0;
  for (uint32_t divisor : DIVISORS) {
    const uint32_t quotient = value / divisor;
    value %= divisor;
    if (quotient != 0 || digits != 0 || divisor == 1) {
      buffer[static_cast<size_t>(digits)] = static_cast<char>('0' + quotient);
      ++digits;
    }
  }
  buffer[static_cast<size_t>(digits)] = '\0';
  return digits;
}

uint32_t FormatHistoryLine(std::span<char> buffer, int16_t historyKey, int32_t identity1,
                           int32_t identity2, int32_t identity3, const char* name) {
  std::fill(buffer.begin(), buffer.end(), '\0');
  std::array<char, HISTORY_LINE_SIZE> line{};
  uint32_t at = 0;
  const std::array<int32_t, 4> numbers = {historyKey, identity1, identity2, identity3};
  for (int32_t number : numbers) {
    std::array<char, DECIMAL_SIZE> digits{};
    const auto count = static_cast<uint32_t>(FormatDecimal(digits, static_cast<uint32_t>(number)));
    std::memcpy(line.data() + at, digits.data(), count);
    at += count;
    line[at++] = ',';
  }
  const uint32_t nameLength = NameLength(name);
  std::memcpy(line.data() + at, name, nameLength);
  at += nameLength;
  line[at++] = CR;
  line[at++] = LF;
  if (at >= buffer.size()) return 0;
  std::memcpy(buffer.data(), line.data(), at);
  return at;
}

int16_t RecordCalibration(WorkContext& context) {
  bool givenUp = false;
  for (const HistoryEntry& entry : HistoryEntries(context)) {
    if (entry.sequence == SEQUENCE_GIVEN_UP) givenUp = true;
  }
  // A torn last line (or any unread tail) would swallow an appended line; a rewrite drops
  // it instead. It was never read, so nothing the history knew is lost.
  if (givenUp || (context.calibrationState == STATE_NO_ENTRY && context.historyTailUnread)) {
    return RewriteHistory(context);
  }
  return AppendHistoryLine(context);
}

int16_t RewriteHistory(WorkContext& context) {
  std::array<char, FILE_NAME_SIZE> temporaryName{};
  MakeTemporaryName(context.historyFileName, temporaryName);

  FileContext temporary{};
  if (FileCreateEmpty(temporary, context.workingDirectory, temporaryName.data()) != CAL_OK) {
    return CALERR_FILE;
  }
  int16_t status = FileOpenIn(temporary, nullptr, temporaryName.data(), FILE_MODE_READ_WRITE);
  if (status == CAL_OK) {
    uint32_t written = 0;
    status = FileSeek(temporary, 0);
    if (status == CAL_OK) status = WriteHistoryLines(context, temporary, written);
    // A write that stopped short must not replace a whole history.
    if (status == CAL_OK && FileGetSize(temporary) != static_cast<int32_t>(written)) {
      status = CALERR_FILE;
    }
    if (status == CAL_OK) status = FileFlush(temporary);
    FileClose(temporary);
  }
  if (status == CAL_OK) {
    FileContext history{};
    FileSetLocation(history, context.workingDirectory, context.historyFileName);
    status = FileMoveOver(temporary, history);
  }
  if (status != CAL_OK) {
    FileContext removal{};
    FileRemove(removal, context.workingDirectory, temporaryName.data());
    return CALERR_FILE;
  }
  return CAL_OK;
}

int16_t AppendHistoryLine(WorkContext& context) {
  if (context.calibrationState == STATE_NO_HISTORY) {
    // Whatever the old file held could not be read; the new one holds the new line alone,
    // and it takes the old one's place in one step.
    context.historyEntryCount = 0;
    return RewriteHistory(context);
  }
  std::array<char, HISTORY_LINE_SIZE> line{};
  const CalibrationRequest& request = *context.request;
  const uint32_t length = FormatHistoryLine(line, request.historyKey, request.identity1,
                                            request.identity2, request.identity3,
                                            context.workingName);
  if (length == 0) return CALERR_FILE;
  FileContext& file = context.historyFile;
  HolderClear(file.holder);
  file.holder.data = reinterpret_cast<uint8_t*>(line.data());  // borrowed: the holder owns nothing
  file.dataLength = length;
  file.writeOffset = WRITE_AT_END;
  const int16_t status = FileWriteData(file, context.workingDirectory, context.historyFileName);
  HolderClear(file.holder);
  return status == CAL_OK ? CAL_OK : CALERR_FILE;
}

}  // namespace cal
