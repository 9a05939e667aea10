#include "printer_commands.h"

namespace dbtest {

namespace {
constexpr uint8_t kEsc = 0x1B;
}

bool ParsePrinterCommands(const std::vector<uint8_t>& bytes, std::vector<PrinterCommand>* commands,
                          std::string* problem) {
  commands->clear();
  size_t at = 0;
  auto fail = [&](const std::string& why) {
    *problem = why + " at byte " + std::to_string(at);
    return false;
  };
  while (at < bytes.size()) {
    if (bytes[at] != kEsc || at + 1 >= bytes.size()) return fail("no command starts");
    PrinterCommand command;
    const uint8_t introducer = bytes[at + 1];
    if (introducer == '@') {
      command.kind = '@';
      at += 2;
      commands->push_back(std::move(command));
      continue;
    }
    size_t lengthAt = 0;
    if (introducer == '(' && at + 2 < bytes.size()) {
      command.kind = static_cast<char>(bytes[at + 2]);
      lengthAt = at + 3;
    } else if (introducer == '[' && at + 2 < bytes.size() && bytes[at + 2] == 'K') {
      command.kind = 'K';
      lengthAt = at + 3;
    } else {
      return fail("unknown command");
    }
    if (lengthAt + 2 > bytes.size()) return fail("length cut short");
    const size_t length = bytes[lengthAt] | (static_cast<size_t>(bytes[lengthAt + 1]) << 8);
    const size_t begin = lengthAt + 2;
    if (begin + length > bytes.size()) return fail("parameters cut short");
    command.parameters.assign(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                              bytes.begin() + static_cast<std::ptrdiff_t>(begin + length));
    at = begin + length;
    if (command.kind == 'K' && command.parameters == std::vector<uint8_t>{0x00, 0x1F}) {
      for (;;) {
        size_t end = at;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        if (end >= bytes.size()) return fail("command-language line without its line feed");
        command.lines.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(end));
        at = end + 1;
        if (command.lines.back() == "QXLEND") break;
      }
      if (command.lines.front() != "QXLSTART") return fail("command-language block without QXLSTART");
    }
    commands->push_back(std::move(command));
  }
  return true;
}

std::string CommandKinds(const std::vector<PrinterCommand>& commands) {
  std::string kinds;
  for (const PrinterCommand& c : commands) kinds.push_back(c.kind);
  return kinds;
}

}  // namespace dbtest
