#include "explain.h"

#include <cstdio>

#include "entry.h"
#include "image.h"
#include "node_text.h"
#include "platform.h"
#include "query_env.h"
#include "text.h"
#include "trace.h"

namespace mpxq {

namespace {

using mdb::DbNode;

enum class EventKind : uint8_t { Enter, Guard, Selector, Case, Leave };

struct Event {
  EventKind kind = EventKind::Enter;
  uint32_t node = 0;    // the node entered or left, the guard, or the switch
  DbNode nodeValue{};
  uint32_t depth = 0;
  int32_t status = 0;
  // Guard: setting and value; Case: case and target.
  uint32_t first = 0;
  int64_t second = 0;
  bool opened = false;
  mdb::TraceSelector selector{};
  std::string text;  // the selector's string or value name, copied during the callback
};

Event MakeEvent(EventKind kind, uint32_t node) {
  Event event;
  event.kind = kind;
  event.node = node;
  return event;
}

struct Recorder {
  std::vector<Event> events;
};

void OnEnter(void* user, uint32_t index, DbNode node, uint32_t depth) {
  Event event = MakeEvent(EventKind::Enter, index);
  event.nodeValue = node;
  event.depth = depth;
  static_cast<Recorder*>(user)->events.push_back(event);
}

void OnGuard(void* user, uint32_t guard, uint32_t setting, int32_t value, bool opened) {
  Event event = MakeEvent(EventKind::Guard, guard);
  event.first = setting;
  event.second = value;
  event.opened = opened;
  static_cast<Recorder*>(user)->events.push_back(event);
}

void OnSelector(void* user, uint32_t switchIndex, const mdb::TraceSelector& selector) {
  Event event = MakeEvent(EventKind::Selector, switchIndex);
  event.selector = selector;
  if (selector.kind == mdb::TraceSelectorKind::String && selector.text != nullptr) event.text = selector.text;
  if (selector.kind == mdb::TraceSelectorKind::PrinterData && selector.valueName != nullptr) {
    std::u16string name;
    for (const char16_t* c = selector.valueName; *c != u'\0'; ++c) name.push_back(*c);
    event.text = tools::Utf16ToUtf8(name);
  }
  event.selector.text = nullptr;
  event.selector.valueName = nullptr;
  static_cast<Recorder*>(user)->events.push_back(event);
}

void OnCase(void* user, uint32_t switchIndex, uint32_t caseIndex, uint32_t target) {
  Event event = MakeEvent(EventKind::Case, switchIndex);
  event.first = caseIndex;
  event.second = target;
  static_cast<Recorder*>(user)->events.push_back(event);
}

void OnLeave(void* user, uint32_t index, DbNode node, uint32_t depth, int32_t status) {
  Event event = MakeEvent(EventKind::Leave, index);
  event.nodeValue = node;
  event.depth = depth;
  event.status = status;
  static_cast<Recorder*>(user)->events.push_back(event);
}

std::string SelectorText(const Event& event) {
  const mdb::TraceSelector& s = event.selector;
  char buffer[200];
  switch (s.kind) {
    case mdb::TraceSelectorKind::Setting:
      std::snprintf(buffer, sizeof buffer, "setting %u = %d", s.parameter, static_cast<int32_t>(s.value));
      break;
    case mdb::TraceSelectorKind::MaskedSetting:
      std::snprintf(buffer, sizeof buffer, "setting %u = 0x%X, AND 0x%X = 0x%X", s.parameter, s.rawValue,
                    s.mask, s.value);
      break;
    case mdb::TraceSelectorKind::PrinterData:
      if (s.available) {
        std::snprintf(buffer, sizeof buffer, "printer-data value \"%s\" (number %u) = %u", event.text.c_str(),
                      s.parameter, s.value);
      } else {
        std::snprintf(buffer, sizeof buffer, "printer-data value \"%s\" (number %u) cannot be read",
                      event.text.c_str(), s.parameter);
      }
      break;
    case mdb::TraceSelectorKind::Locale:
      std::snprintf(buffer, sizeof buffer, "locale country code = %u", s.value);
      break;
    case mdb::TraceSelectorKind::String:
      std::snprintf(buffer, sizeof buffer, "context string %u = \"%s\"", s.parameter, event.text.c_str());
      break;
  }
  return buffer;
}

const char* SelectorKindName(mdb::TraceSelectorKind kind) {
  switch (kind) {
    case mdb::TraceSelectorKind::Setting: return "setting";
    case mdb::TraceSelectorKind::MaskedSetting: return "masked setting";
    case mdb::TraceSelectorKind::PrinterData: return "printer data";
    case mdb::TraceSelectorKind::Locale: return "locale";
    case mdb::TraceSelectorKind::String: return "string";
  }
  return "setting";
}

bool IsSwitch(DbNode node) {
  const auto type = static_cast<mdb::NodeType>(mdb::NodeTypeCode(node));
  return type == mdb::NodeType::SettingSwitch || type == mdb::NodeType::MaskedSettingSwitch ||
         type == mdb::NodeType::PrinterDataSwitch || type == mdb::NodeType::LocaleSwitch ||
         type == mdb::NodeType::StringSwitch;
}

std::string Indent(uint32_t depth) { return std::string(2 * (depth + 1), ' '); }

// One evaluation (from a depth-0 enter to its leave) as text and JSON.
struct Evaluation {
  std::string lines;
  nlohmann::json events = nlohmann::json::array();
  uint32_t from = 0;
  int32_t status = 0;
  bool answered = false;
  uint32_t answerNode = 0;
  uint32_t answerKey = 0;
};

std::vector<Evaluation> Render(const mdb::DbImage& image, const std::vector<Event>& events) {
  std::vector<Evaluation> evaluations;
  std::vector<uint32_t> stack;         // depths of the nodes entered and not yet left
  std::vector<bool> caseMatchedStack;  // per entered node: a case of it matched
  // Between a PrinterDataSwitch's start and its selector, the leaf found names the value.
  bool namingValue = false;
  for (size_t i = 0; i < events.size(); ++i) {
    const Event& e = events[i];
    if (e.kind == EventKind::Enter && e.depth == 0) {
      evaluations.push_back({});
      evaluations.back().from = e.node;
      namingValue = false;
    }
    if (evaluations.empty()) continue;
    Evaluation& current = evaluations.back();
    const uint32_t depth = stack.empty() ? 0 : stack.back() + 1;
    switch (e.kind) {
      case EventKind::Enter: {
        stack.push_back(e.depth);
        caseMatchedStack.push_back(false);
        if (mdb::NodeTypeCode(e.nodeValue) == static_cast<uint32_t>(mdb::NodeType::PrinterDataSwitch)) {
          namingValue = true;
        }
        std::string line = Indent(e.depth) + "#" + std::to_string(e.node) + " " + DescribeNode(image, e.nodeValue);
        // A leaf is entered and left at once: its result goes on the same line.
        if (IsLeafNode(e.nodeValue) && i + 1 < events.size() && events[i + 1].kind == EventKind::Leave) {
          const Event& leave = events[i + 1];
          if (leave.status == MPX_OK && namingValue) {
            line += "   <= the printer-data value's name";
          } else if (leave.status == MPX_OK) {
            line += "   <= answer";
            current.answered = true;
            current.answerNode = e.node;
            current.answerKey = mdb::NodeParam(e.nodeValue);
          } else if (leave.status == MPX_NO_ANSWER) {
            line += "   (labelled for another key)";
          }
        }
        current.lines += line + "\n";
        current.events.push_back({{"event", "enter"}, {"node", e.node}, {"depth", e.depth},
                                  {"type", NodeTypeName(mdb::NodeTypeCode(e.nodeValue))},
                                  {"text", DescribeNode(image, e.nodeValue)}});
        break;
      }
      case EventKind::Guard: {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "guard #%u: setting %u = %lld, %s", e.node, e.first,
                      static_cast<long long>(e.second), e.opened ? "opens" : "stays closed");
        current.lines += Indent(depth) + buffer + "\n";
        current.events.push_back({{"event", "guard"}, {"guard", e.node}, {"setting", e.first},
                                  {"value", e.second}, {"opened", e.opened}});
        break;
      }
      case EventKind::Selector: {
        namingValue = false;
        current.lines += Indent(depth) + "selector: " + SelectorText(e) + "\n";
        nlohmann::json item = {{"event", "selector"}, {"switch", e.node},
                               {"kind", SelectorKindName(e.selector.kind)},
                               {"parameter", e.selector.parameter}, {"value", e.selector.value}};
        if (e.selector.kind == mdb::TraceSelectorKind::MaskedSetting) {
          item["raw"] = e.selector.rawValue;
          item["mask"] = e.selector.mask;
        }
        if (e.selector.kind == mdb::TraceSelectorKind::PrinterData) {
          item["available"] = e.selector.available;
          item["name"] = e.text;
        }
        if (e.selector.kind == mdb::TraceSelectorKind::String) item["text"] = e.text;
        current.events.push_back(item);
        break;
      }
      case EventKind::Case: {
        DbNode caseNode{};
        const std::string caseText = mdb::ReadNode(image, e.first, &caseNode) ? DescribeNode(image, caseNode) : "";
        current.lines += Indent(depth) + "case #" + std::to_string(e.first) + " (" + caseText + ") matches\n";
        if (!caseMatchedStack.empty()) caseMatchedStack.back() = true;
        current.events.push_back({{"event", "case"}, {"switch", e.node}, {"case", e.first},
                                  {"target", e.second}, {"text", caseText}});
        break;
      }
      case EventKind::Leave: {
        const bool matched = !caseMatchedStack.empty() && caseMatchedStack.back();
        if (!stack.empty()) stack.pop_back();
        if (mdb::NodeTypeCode(e.nodeValue) == static_cast<uint32_t>(mdb::NodeType::PrinterDataSwitch)) {
          namingValue = false;
        }
        if (!caseMatchedStack.empty()) caseMatchedStack.pop_back();
        if (!IsLeafNode(e.nodeValue)) {
          if (e.status != MPX_OK && e.status != MPX_NO_ANSWER) {
            current.lines += Indent(e.depth) + "#" + std::to_string(e.node) + " fails: status " +
                             std::to_string(e.status) + " (" + StatusName(e.status) + ")\n";
          } else if (e.status == MPX_NO_ANSWER && IsSwitch(e.nodeValue) && !matched) {
            current.lines += Indent(e.depth) + "#" + std::to_string(e.node) + ": no case matches\n";
          }
        }
        current.events.push_back({{"event", "leave"}, {"node", e.node}, {"depth", e.depth}, {"status", e.status}});
        if (e.depth == 0) current.status = e.status;
        break;
      }
    }
  }
  return evaluations;
}

}  // namespace

Explanation Explain(const Query& query) {
  Recorder recorder;
  const mdb::EvalTracer tracer{&recorder, OnEnter, OnGuard, OnSelector, OnCase, OnLeave};
  const mdb::QueryEnv quiet{&mdb::ShippedImage(), nullptr};
  const mdb::QueryEnv traced{&mdb::ShippedImage(), &tracer};

  std::vector<const char*> strings;
  QueryContext context = ContextOf(query, &strings);
  const auto run = [&](const mdb::QueryEnv& env, uint32_t size, void* buffer, uint32_t* required) {
    if (query.category->category != Category::Internal) {
      return mdb::RunQuery(env, static_cast<mdb::Category>(query.category->category), query.key, &context, size,
                           buffer, required);
    }
    // Internal keys have no export: the generic path, with the printer opened as an export would.
    QueryContext working = context;
    void* handle = nullptr;
    const bool opened = context.printerName != nullptr && plat::PrinterOpen(context.printerName, &handle);
    if (opened) working.hPrinter = handle;
    const int32_t status = mdb::AnswerGeneric(env, query.key, &working, size, buffer, required);
    if (opened) plat::PrinterClose(handle);
    return status;
  };

  Explanation result;
  uint32_t size = 0;
  int32_t status = run(quiet, 0, nullptr, &size);
  // The call that answers is the one traced.
  if (status == MPX_BUFFER_TOO_SMALL) {
    result.answer.assign(size, 0);
    uint32_t written = size;
    status = run(traced, size, result.answer.empty() ? nullptr : result.answer.data(), &written);
    if (status == MPX_OK && written < result.answer.size()) result.answer.resize(written);
  } else {
    status = run(traced, 0, nullptr, &size);
  }
  if (status != MPX_OK) result.answer.clear();
  result.status = status;

  const std::vector<Evaluation> evaluations = Render(mdb::ShippedImage(), recorder.events);
  result.json = {{"evaluations", nlohmann::json::array()}};
  for (size_t i = 0; i < evaluations.size(); ++i) {
    const Evaluation& e = evaluations[i];
    char header[200];
    if (e.answered && e.status == MPX_OK) {
      std::snprintf(header, sizeof header, "evaluation %zu, from node #%u: answered by #%u, the leaf of key 0x%04X\n",
                    i + 1, e.from, e.answerNode, e.answerKey);
    } else {
      std::snprintf(header, sizeof header, "evaluation %zu, from node #%u: status %d (%s)\n", i + 1, e.from,
                    e.status, StatusName(e.status).c_str());
    }
    result.listing += header + e.lines;
    nlohmann::json item = {{"from", e.from}, {"status", e.status}, {"events", e.events}};
    if (e.answered && e.status == MPX_OK) {
      item["answer_node"] = e.answerNode;
      item["answer_key"] = e.answerKey;
    }
    result.json["evaluations"].push_back(item);
  }
  if (evaluations.empty()) result.listing = "no tree was evaluated (the key's range or the directory decided)\n";
  return result;
}

}  // namespace mpxq
