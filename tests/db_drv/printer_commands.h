// Splits a byte string into the printer commands it is made of, the way the printer reads
// them: ESC ( x and ESC [ K with a 2-byte little-endian length and their parameters,
// ESC @ alone, and after an ESC [ K whose parameters are 00 1F the command-language lines
// from "QXLSTART" to "QXLEND", each ended by a line feed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dbtest {

struct PrinterCommand {
  char kind;  // the letter after ESC (, '@' for ESC @, 'K' for ESC [ K
  std::vector<uint8_t> parameters;
  std::vector<std::string> lines;  // the command-language lines, without their line feeds
};

// False with a reason when the bytes are not a run of well-formed commands.
bool ParsePrinterCommands(const std::vector<uint8_t>& bytes, std::vector<PrinterCommand>* commands,
                          std::string* problem);

// The command kinds in order, e.g. "bcdtpl".
std::string CommandKinds(const std::vector<PrinterCommand>& commands);

}  // namespace dbtest
