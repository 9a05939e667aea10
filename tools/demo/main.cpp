// mpx-demo: asks the model database a few keys through the exported query functions, the
// way a host does (size first, then the answer), and prints each status and decoded answer.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "modeldb.h"

namespace {

using QueryFn = int32_t (*)(uint32_t, const QueryContext*, uint32_t, void*, uint32_t*);

enum class Decode { Text16, Int32s };

struct Question {
  const char* category;
  QueryFn query;
  uint32_t key;
  Decode decode;
  std::vector<int32_t> settings;  // the host's settings, by setting number
  const char* what;
};

const char* StatusName(int32_t status) {
  switch (status) {
    case MPX_OK: return "ok";
    case MPX_NO_ANSWER: return "no answer";
    case MPX_BUFFER_TOO_SMALL: return "buffer too small";
    case MPX_KEY_NOT_FOUND: return "key not in the directory";
    case MPX_ERR_DATABASE: return "database or resource error";
    case MPX_ERR_STRINGS: return "context strings missing";
    case MPX_ERR_SETTINGS: return "settings missing";
    case MPX_ERR_CONTEXT: return "no context or printer";
    default: return "unknown status";
  }
}

std::string DecodeAnswer(Decode decode, const std::vector<uint8_t>& bytes) {
  std::string out;
  if (decode == Decode::Text16) {
    out = "\"";
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const auto c = static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8);
      if (c == 0) break;
      out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out + "\"";
  }
  out = "[";
  for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
    const uint32_t u = static_cast<uint32_t>(bytes[i]) | static_cast<uint32_t>(bytes[i + 1]) << 8 |
                       static_cast<uint32_t>(bytes[i + 2]) << 16 |
                       static_cast<uint32_t>(bytes[i + 3]) << 24;
    if (i > 0) out += ", ";
    out += std::to_string(static_cast<int32_t>(u));
  }
  return out + "]";
}

void Ask(const Question& q) {
  const QueryContext context{nullptr, 0, 0, nullptr, static_cast<uint32_t>(q.settings.size()),
                             q.settings.empty() ? nullptr : q.settings.data(), nullptr};
  uint32_t size = 0;
  int32_t status = q.query(q.key, &context, 0, nullptr, &size);
  std::vector<uint8_t> answer;
  if (status == MPX_BUFFER_TOO_SMALL) {
    answer.resize(size);
    status = q.query(q.key, &context, size, answer.data(), &size);
  }
  std::printf("%-4s 0x%04X  %-40s status %2d (%s)", q.category, q.key, q.what, status,
              StatusName(status));
  if (status == MPX_OK) {
    std::printf(", %u bytes: %s", size, DecodeAnswer(q.decode, answer).c_str());
  }
  std::printf("\n");
}

}  // namespace

int main() {
  const std::vector<Question> questions = {
      {"Root", MPX_AccessRootDataBase, 0x0002, Decode::Text16, {}, "version text"},
      {"Drv", MPX_AccessDrvDataBase, 0x1005, Decode::Int32s, {}, "unsigned 16-bit pair"},
      {"Drv", MPX_AccessDrvDataBase, 0x1006, Decode::Int32s, {}, "signed 16-bit pair"},
      {"Drv", MPX_AccessDrvDataBase, 0x1007, Decode::Int32s, {0, 0, 0, 0, 3, 0, 0, 0, 0, 0},
       "tree of 0x1007, settings 4=3 9=0"},
      {"Drv", MPX_AccessDrvDataBase, 0x1007, Decode::Int32s, {0, 0, 0, 0, 3, 0, 0, 0, 0, 1},
       "tree of 0x1007, settings 4=3 9=1"},
      {"Drv", MPX_AccessDrvDataBase, 0x1007, Decode::Int32s, {0, 0, 0, 0, 2, 0, 0, 0, 0, 1},
       "tree of 0x1007, settings 4=2 9=1"},
      {"Drv", MPX_AccessDrvDataBase, 0x1007, Decode::Int32s, {0, 0, 0, 0, 3},
       "tree of 0x1007, setting 9 missing"},
      {"Root", MPX_AccessRootDataBase, 0x0001, Decode::Int32s, {}, "a key not in the directory"},
      {"Root", MPX_AccessRootDataBase, 0x5008, Decode::Int32s, {}, "an internal key"},
  };
  for (const Question& q : questions) Ask(q);

  uint32_t size = 0;
  const int32_t status = MPX_AccessRootDataBase(0x0002, nullptr, 0, nullptr, &size);
  std::printf("Root 0x0002  %-40s status %2d (%s)\n", "without a context", status, StatusName(status));
  return 0;
}
