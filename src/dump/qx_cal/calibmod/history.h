// The history file and working names.
//
// The history file (the five stem bytes of the name block, the history key padded to three
// digits, ".ini") lives in the working directory and holds one line per calibration:
// "key,identity1,identity2,identity3,name" ended by CR LF. A calibration seen before finds
// its working name there; a new one gets the base table file name lower-cased with the
// character before its last dot varied over "1".."z".
//
// The whole history is rewritten through a temporary file that is flushed and then moved
// into place, so a failure or a crash never leaves a history with fewer entries than it had.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "work_context.h"

namespace cal {

// ---- Limits and results -----------------------------------------------------------------------

inline constexpr int16_t MAX_HISTORY_LINES = 128;
inline constexpr int16_t MAX_CANDIDATES = 128;
inline constexpr int16_t HISTORY_FIELD_COUNT = 5;
// Positions in the history text are signed 16-bit: bytes beyond are never read.
inline constexpr uint32_t HISTORY_TEXT_LIMIT = 32767;
inline constexpr uint32_t HISTORY_LINE_SIZE = 128;  // the longest line has 61 bytes
inline constexpr uint32_t DECIMAL_SIZE = 11;        // ten digits and a NUL

// ParseHistory, ParseHistoryLine, SplitFields and ParseDecimal: a line that cannot be read.
inline constexpr int16_t HISTORY_MALFORMED = -1;
// FindHistoryEntry: no entry matches the request.
inline constexpr int16_t HISTORY_NOT_FOUND = -1;
// The sequence number of an entry that gave up its name; dropped at the next rewrite.
inline constexpr int16_t SEQUENCE_GIVEN_UP = -1;

// Working names take the varying character from here, from "1" to "z".
inline constexpr std::string_view NAME_ALPHABET = "0123456789abcdefghijklmnopqrstuvwxyz";
inline constexpr uint32_t FIRST_NAME_CHARACTER = 1;

// Appended to a file name while its new content is written.
inline constexpr std::string_view TEMPORARY_SUFFIX = ".tmp";

// ---- Records ----------------------------------------------------------------------------------

struct HistoryEntry {
  int16_t sequence;  // place among the lines read, from 1; SEQUENCE_GIVEN_UP once given up
  int16_t historyKey;
  int32_t identity1;
  int32_t identity2;
  int32_t identity3;
  char name[WORK_NAME_SIZE];  // NUL-terminated
};

struct HistoryLine {
  char* start;
  uint16_t length;
};

struct LineList {
  int16_t count;
  std::array<HistoryLine, MAX_HISTORY_LINES> lines;
  // Bytes an append would land behind without their being read as lines: an unterminated
  // last line, a NUL byte, or text past HISTORY_TEXT_LIMIT. Not set when the walk stopped
  // at the 128th line.
  bool tailUnread;
};

// ---- Names ------------------------------------------------------------------------------------

// A name that can be used as a file of the working directory itself: 1 to 15 bytes before a
// NUL within the first 16, no path separator ("/", "\", ":"), neither "." nor "..", and no
// ".." inside.
bool IsPlainFileName(const char* name, uint32_t capacity);

// The history file name for a stem of five bytes and a key: CAL_OK, or CALERR_UNSUPPORTED
// for a negative key or a stem that does not give a plain file name.
int16_t MakeHistoryFileName(const uint8_t* stem, int16_t historyKey,
                            std::span<char, WORK_NAME_SIZE> name);

// The index of the character before the last dot of a base table file name, or -1 when the
// name has no NUL within 16 bytes or no dot after its first character.
int32_t VariablePosition(const char* baseName);

// name with TEMPORARY_SUFFIX appended; the result always fits a file name field.
void MakeTemporaryName(const char* name, std::span<char, FILE_NAME_SIZE> temporary);

// Compares two names of at most 16 bytes, "A"-"Z" counted as "a"-"z".
bool NamesEqualIgnoringCase(const char* left, const char* right);

// ---- Reading ----------------------------------------------------------------------------------

// Builds the history file name in the work context and reads the whole file into the
// history file's holder: CAL_OK, CALERR_NOFILE, CALERR_FILE or CALERR_MEMORY.
int16_t LoadHistory(WorkContext& context);
// Splits the history text into entries: CAL_OK, HISTORY_MALFORMED (the entry count is then
// 0) or CALERR_MEMORY.
int16_t ParseHistory(WorkContext& context);

// CR, LF and NUL end a line; empty lines are skipped; at most 128 lines; a NUL ends the
// text; an unterminated last line is not recorded. Line ends are overwritten with NULs.
void SplitLines(char* text, uint32_t length, LineList& lines);
// The line must be followed by a NUL, as SplitLines leaves it. HISTORY_MALFORMED when a
// fifth comma is met; commas become NULs and every field is trimmed.
int16_t SplitFields(char* start, uint16_t length, std::span<char*, HISTORY_FIELD_COUNT> fields,
                    int16_t& count);
// Skips leading blanks (0x20 only), overwrites trailing ones with NULs.
char* TrimBlanks(char* field);
// Digits accumulate modulo 2^32; a "-" before any other non-digit gives -1; an empty field
// gives 0; any other character is HISTORY_MALFORMED and nothing is stored.
int16_t ParseDecimal(const char* field, int32_t& value);
// Five fields, four numbers and a plain file name: 0, or HISTORY_MALFORMED.
int16_t ParseHistoryLine(char* start, uint16_t length, HistoryEntry& entry);

// The history entries held by the work context.
std::span<HistoryEntry> HistoryEntries(WorkContext& context);

// The first entry whose key and identity values equal the request's: 0 and its index, or
// HISTORY_NOT_FOUND and -1. Names play no part.
int16_t FindHistoryEntry(WorkContext& context, int16_t& index);

// ---- Working names ----------------------------------------------------------------------------

// Writes a new working name for state 2 (no history) or 3 (no entry): the first character
// that no candidate carries and that names no existing file of the working directory (nor
// the base table file or the history file). When the candidates carry all 35, the oldest
// gives its character up, and so does every other entry of that very name. CAL_OK, or
// CALERR_FILE when no name is free.
int16_t MakeWorkingName(WorkContext& context, int16_t state);
// The entries whose names equal the base table file name at every index below nameLength
// but the variable position, ignoring case. At most MAX_CANDIDATES.
int16_t CollectCandidates(WorkContext& context,
                          std::span<HistoryEntry*, MAX_CANDIDATES> candidates,
                          int32_t variablePosition, uint32_t nameLength);
// Gives up the candidate with the smallest sequence number (the first of equals): its
// character at the variable position, as stored, goes to character.
void ChooseOldest(std::span<HistoryEntry*> candidates, int32_t variablePosition,
                  char& character);

// Whether name is the base table file (same directory) or the history file.
bool NamesProtectedFile(const WorkContext& context, const char* name);
// Whether the history file is the base table file itself (same name ignoring case, same
// directory): the history write would replace the base table file.
bool HistoryIsBaseTableFile(const WorkContext& context);

// ---- Writing ----------------------------------------------------------------------------------

// Digits of value without leading zeros, then a NUL; the number of digits.
int16_t FormatDecimal(std::span<char, DECIMAL_SIZE> buffer, uint32_t value);
// "key,identity1,identity2,identity3,name" and CR LF, every number as its unsigned 32-bit
// pattern. The buffer is zero-filled first. The line's length, or 0 when it does not fit.
uint32_t FormatHistoryLine(std::span<char> buffer, int16_t historyKey, int32_t identity1,
                           int32_t identity2, int32_t identity3, const char* name);

// Rewrites the history when an entry gave up its name or the text has an unread tail, else
// appends the request's line. CAL_OK or CALERR_FILE.
int16_t RecordCalibration(WorkContext& context);
// Writes the kept entries and then the request's line to a temporary file, flushes it and
// moves it over the history file. CAL_OK or CALERR_FILE; on failure the history file is as
// it was.
int16_t RewriteHistory(WorkContext& context);
// State 2: the history is created anew with the request's line alone (as a rewrite with no
// kept entries). State 3: the line is appended at the end of the file.
int16_t AppendHistoryLine(WorkContext& context);

}  // namespace cal
