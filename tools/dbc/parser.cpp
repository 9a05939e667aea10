#include "parser.h"

#include <limits>
#include <string>
#include <utility>

#include "lexer.h"

namespace dbc {

namespace {

using mdb::NodeType;

constexpr int64_t kMaxLiteral = int64_t{1} << 40;  // far beyond every field; no overflow
constexpr uint32_t kMaxCount = 0xFFFFu;
constexpr uint32_t kMaxZeros = 1u << 16;

struct NodeTypeName {
  const char* name;
  NodeType type;
};

constexpr NodeTypeName kNodeTypeNames[] = {
    {"Bytes", NodeType::Bytes},
    {"Int32Array", NodeType::Int32Array},
    {"SignedBytes", NodeType::SignedBytes},
    {"Int16Array", NodeType::Int16Array},
    {"UnsignedBytes", NodeType::UnsignedBytes},
    {"UInt16Array", NodeType::UInt16Array},
    {"WideText", NodeType::WideText},
    {"Sequence", NodeType::Sequence},
    {"SettingFilter", NodeType::SettingFilter},
    {"SettingGuard", NodeType::SettingGuard},
    {"SettingSwitch", NodeType::SettingSwitch},
    {"StringSwitch", NodeType::StringSwitch},
    {"PrinterDataSwitch", NodeType::PrinterDataSwitch},
    {"LocaleSwitch", NodeType::LocaleSwitch},
    {"ValueCase", NodeType::ValueCase},
    {"DefaultCase", NodeType::DefaultCase},
    {"Computed", NodeType::Computed},
    {"MaskedSettingSwitch", NodeType::MaskedSettingSwitch},
    {"MaskHeader", NodeType::MaskHeader},
};

constexpr const char* kStatementWords[] = {"key", "tree", "node", "list", "category", "selector",
                                           "row"};

constexpr uint32_t kLocaleTag = 0x500F;

// The signed and unsigned range a literal must fit; a hex literal may also give the bit
// pattern of a negative value (0xFF for -1 as a signed byte).
struct IntRange {
  const char* what;
  int64_t low;
  int64_t high;
  uint32_t bits;
};

constexpr IntRange kKeyRange{"a key", 0, 0xFFFF, 16};
constexpr IntRange kU16Range{"16 bits (0..65535)", 0, 0xFFFF, 16};
constexpr IntRange kI16Range{"a signed 16-bit value (-32768..32767)", -32768, 32767, 16};
constexpr IntRange kU8Range{"8 bits (0..255)", 0, 0xFF, 8};
constexpr IntRange kI8Range{"a signed byte (-128..127)", -128, 127, 8};
constexpr IntRange kI32Range{"a signed 32-bit value", std::numeric_limits<int32_t>::min(),
                             std::numeric_limits<int32_t>::max(), 32};
constexpr IntRange kU32Range{"32 bits (0..4294967295)", 0, 0xFFFFFFFF, 32};
// A case value or item value is compared as 32 bits: -1 and 4294967295 are the same.
constexpr IntRange kAny32Range{"32 bits", std::numeric_limits<int32_t>::min(), 0xFFFFFFFF, 32};

struct Parser {
  std::vector<Token> tokens;
  size_t pos = 0;
  SourceModel* model;
  Diagnostics* diags;
  uint16_t defaultLabel = 0;
  uint32_t nesting = 0;

  const Token& Cur() const { return tokens[pos]; }
  const Token& Next() const { return tokens[pos + 1 < tokens.size() ? pos + 1 : pos]; }
  void Skip() {
    if (Cur().kind != TokenKind::End) ++pos;
  }

  bool IsPunct(char c) const { return Cur().kind == TokenKind::Punct && Cur().punct == c; }
  bool IsWord(const char* word) const { return Cur().kind == TokenKind::Word && Cur().text == word; }

  std::string Describe(const Token& t) const {
    switch (t.kind) {
      case TokenKind::Word: return "'" + t.text + "'";
      case TokenKind::Text: return "text";
      case TokenKind::Punct: return std::string("'") + t.punct + "'";
      case TokenKind::DotDot: return "'..'";
      case TokenKind::End: return "the end of the file";
    }
    return "?";
  }

  bool Fail(const std::string& message) {
    AddError(diags, Cur().loc, message);
    return false;
  }
  bool Expected(const std::string& what) { return Fail("expected " + what + ", found " + Describe(Cur())); }

  bool ExpectPunct(char c) {
    if (!IsPunct(c)) return Expected(std::string("'") + c + "'");
    Skip();
    return true;
  }
  bool ExpectWord(const char* word) {
    if (!IsWord(word)) return Expected(std::string("'") + word + "'");
    Skip();
    return true;
  }

  bool AtNumber() const {
    if (Cur().kind == TokenKind::Word) return Cur().text[0] >= '0' && Cur().text[0] <= '9';
    return Cur().kind == TokenKind::Punct && Cur().punct == '-' && Next().kind == TokenKind::Word;
  }

  // A literal: decimal or 0x hex, optionally negative.
  bool ReadLiteral(int64_t* value, bool* hex, SourceLoc* loc) {
    *loc = Cur().loc;
    bool negative = false;
    if (IsPunct('-')) {
      negative = true;
      Skip();
    }
    if (Cur().kind != TokenKind::Word) return Expected("a number");
    const std::string& word = Cur().text;
    int64_t result = 0;
    *hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const size_t start = *hex ? 2 : 0;
    if (word.size() == start) return Expected("a number");
    for (size_t i = start; i < word.size(); ++i) {
      const char c = word[i];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (*hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (*hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) return Expected("a number");
      result = result * (*hex ? 16 : 10) + digit;
      if (result > kMaxLiteral) {
        AddError(diags, *loc, "number " + word + " is too large");
        Skip();
        return false;
      }
    }
    Skip();
    *value = negative ? -result : result;
    return true;
  }

  bool ReadInt(const IntRange& range, int64_t* out) {
    int64_t value = 0;
    bool hex = false;
    SourceLoc loc;
    if (!ReadLiteral(&value, &hex, &loc)) return false;
    const int64_t patternMax = (int64_t{1} << range.bits) - 1;
    if (hex && range.low < 0 && value > range.high && value <= patternMax) {
      value -= int64_t{1} << range.bits;  // the bit pattern of a negative value
    }
    if (value < range.low || value > range.high) {
      AddError(diags, loc, "value " + std::to_string(value) + " does not fit " + range.what);
      return false;
    }
    *out = value;
    return true;
  }

  template <typename T>
  bool Read(const IntRange& range, T* out) {
    int64_t value = 0;
    if (!ReadInt(range, &value)) return false;
    *out = static_cast<T>(value);
    return true;
  }

  bool ReadName(std::string* name, SourceLoc* loc) {
    *loc = Cur().loc;
    if (Cur().kind != TokenKind::Word || (Cur().text[0] >= '0' && Cur().text[0] <= '9')) {
      return Expected("a name");
    }
    *name = Cur().text;
    Skip();
    return true;
  }

  // Hex byte pairs and text between braces.
  bool ReadByteBlock(std::vector<uint8_t>* bytes) {
    if (!ExpectPunct('{')) return false;
    while (!IsPunct('}')) {
      if (Cur().kind == TokenKind::Text) {
        bytes->insert(bytes->end(), Cur().text.begin(), Cur().text.end());
        Skip();
        continue;
      }
      if (Cur().kind != TokenKind::Word) return Expected("hex byte pairs, text or '}'");
      const std::string& word = Cur().text;
      bool ok = word.size() % 2 == 0;
      std::vector<uint8_t> run;
      for (size_t i = 0; ok && i < word.size(); i += 2) {
        int byte = 0;
        for (size_t k = i; k < i + 2; ++k) {
          const char c = word[k];
          int digit = -1;
          if (c >= '0' && c <= '9') digit = c - '0';
          if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
          if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
          if (digit < 0) ok = false;
          byte = byte * 16 + digit;
        }
        if (ok) run.push_back(static_cast<uint8_t>(byte));
      }
      if (!ok) return Fail("expected hex byte pairs, found '" + word + "'");
      bytes->insert(bytes->end(), run.begin(), run.end());
      Skip();
    }
    Skip();
    return true;
  }

  // '[' values ']' with optional commas.
  bool ReadArray(const IntRange& range, std::vector<int64_t>* values) {
    if (!ExpectPunct('[')) return false;
    while (!IsPunct(']')) {
      if (IsPunct(',')) {
        Skip();
        continue;
      }
      if (!AtNumber()) return Expected("a number or ']'");
      int64_t value = 0;
      if (!ReadInt(range, &value)) return false;
      values->push_back(value);
    }
    Skip();
    return true;
  }

  uint32_t NewNode(SourceLoc loc) {
    model->nodes.push_back(SourceNode{});
    model->nodes.back().loc = loc;
    return static_cast<uint32_t>(model->nodes.size() - 1);
  }

  bool CheckCount(SourceLoc loc, size_t count, const char* what) {
    if (count <= kMaxCount) return true;
    AddError(diags, loc, "this node holds " + std::to_string(count) + " " + what +
                             "; a 16-bit count allows at most 65535");
    return false;
  }

  bool ParseLeaf(NodeType type, SourceNode* node) {
    if (IsPunct('@')) {
      Skip();
      if (!Read(kKeyRange, &node->label)) return false;
    } else {
      node->label = defaultLabel;
    }
    std::vector<int64_t> values;
    switch (type) {
      case NodeType::Bytes:
        if (Cur().kind == TokenKind::Text) {
          node->bytes.assign(Cur().text.begin(), Cur().text.end());
          Skip();
        } else if (!ReadByteBlock(&node->bytes)) {
          return false;
        }
        return CheckCount(node->loc, node->bytes.size(), "bytes");
      case NodeType::WideText:
        if (Cur().kind == TokenKind::Text) {
          node->bytes.assign(Cur().text.begin(), Cur().text.end());
          node->bytes.push_back(0);  // stored with its NUL, which the count includes
          Skip();
        } else if (IsWord("raw")) {
          Skip();
          if (!ReadByteBlock(&node->bytes)) return false;
        } else {
          return Expected("text or 'raw'");
        }
        return CheckCount(node->loc, node->bytes.size(), "characters");
      case NodeType::SignedBytes:
      case NodeType::UnsignedBytes:
        if (!ReadArray(type == NodeType::SignedBytes ? kI8Range : kU8Range, &values)) return false;
        for (int64_t v : values) node->bytes.push_back(static_cast<uint8_t>(v & 0xFF));
        return CheckCount(node->loc, values.size(), "elements");
      case NodeType::Int16Array:
      case NodeType::UInt16Array:
        if (!ReadArray(type == NodeType::Int16Array ? kI16Range : kU16Range, &values)) return false;
        for (int64_t v : values) node->halves.push_back(static_cast<uint16_t>(v & 0xFFFF));
        return CheckCount(node->loc, values.size(), "elements");
      case NodeType::Int32Array:
        if (!ReadArray(kI32Range, &values)) return false;
        for (int64_t v : values) node->words.push_back(static_cast<int32_t>(v));
        return CheckCount(node->loc, values.size(), "elements");
      case NodeType::Computed:
        return Read(kU16Range, &node->param);
      default:
        return false;
    }
  }

  bool ParseChildren(uint32_t index) {
    if (!ExpectPunct('{')) return false;
    while (!IsPunct('}')) {
      if (Cur().kind == TokenKind::End) return Expected("'}'");
      uint32_t child = kNoNode;
      if (!ParseNode(&child)) return false;
      model->nodes[index].children.push_back(child);
    }
    Skip();
    return CheckCount(model->nodes[index].loc, model->nodes[index].children.size(), "children");
  }

  bool ParseCases(uint32_t index) {
    if (!ExpectPunct('{')) return false;
    while (!IsPunct('}')) {
      std::vector<SourceCase> group;
      if (IsWord("case")) {
        Skip();
        for (;;) {
          SourceCase c{};
          c.loc = Cur().loc;
          if (Cur().kind == TokenKind::Text) {
            c.form = CaseForm::String;
            c.text = Cur().text;
            Skip();
          } else if (AtNumber()) {
            c.form = CaseForm::Value;
            if (!Read(kAny32Range, &c.value)) return false;
          } else {
            return Expected("a case value or text");
          }
          group.push_back(std::move(c));
          if (!IsPunct(',')) break;
          Skip();
        }
      } else if (IsWord("range")) {
        SourceCase c{};
        c.form = CaseForm::Range;
        c.loc = Cur().loc;
        Skip();
        if (!Read(kI32Range, &c.low)) return false;
        if (Cur().kind != TokenKind::DotDot) return Expected("'..'");
        Skip();
        if (!Read(kI32Range, &c.high)) return false;
        group.push_back(std::move(c));
      } else if (IsWord("default")) {
        SourceCase c{};
        c.form = CaseForm::Default;
        c.loc = Cur().loc;
        Skip();
        group.push_back(std::move(c));
      } else {
        return Expected("'case', 'range', 'default' or '}'");
      }
      if (!ExpectPunct(':')) return false;
      uint32_t target = kNoNode;
      if (!ParseNode(&target)) return false;
      for (SourceCase& c : group) {
        c.target = target;
        model->nodes[index].cases.push_back(std::move(c));
      }
    }
    Skip();
    return CheckCount(model->nodes[index].loc, model->nodes[index].cases.size(), "cases");
  }

  bool ParseNode(uint32_t* out) {
    if (nesting >= kMaxNesting) {
      return Fail("nodes nested deeper than " + std::to_string(kMaxNesting) + " levels");
    }
    ++nesting;
    const bool ok = ParseNodeBody(out);
    --nesting;
    return ok;
  }

  bool ParseNodeBody(uint32_t* out) {
    std::string name;
    SourceLoc nameLoc{};
    if (Cur().kind == TokenKind::Word && Next().kind == TokenKind::Punct && Next().punct == ':') {
      if (!ReadName(&name, &nameLoc)) return false;
      Skip();  // ':'
    }
    if (IsWord("use")) {
      if (!name.empty()) {
        AddError(diags, nameLoc, "a use cannot be given a name of its own ('" + name + "')");
        return false;
      }
      const uint32_t index = NewNode(Cur().loc);
      Skip();
      SourceNode& node = model->nodes[index];
      node.isUse = true;
      SourceLoc loc;
      if (!ReadName(&node.name, &loc)) return false;
      *out = index;
      return true;
    }
    if (Cur().kind != TokenKind::Word) return Expected("a node");
    const std::string word = Cur().text;
    const NodeTypeName* found = nullptr;
    for (const NodeTypeName& entry : kNodeTypeNames) {
      if (word == entry.name) found = &entry;
    }
    if (found == nullptr) {
      if (word == "StringCase" || word == "RangeCase") {
        return Fail(word + " is written as a case of its switch ('case \"text\": node', "
                           "'range low..high: node')");
      }
      return Fail("unknown node type '" + word + "'");
    }
    const uint32_t index = NewNode(Cur().loc);
    Skip();
    *out = index;
    model->nodes[index].type = found->type;
    model->nodes[index].name = name;
    if (!name.empty()) model->nodes[index].loc = nameLoc;
    SourceNode* node = &model->nodes[index];
    switch (found->type) {
      case NodeType::Bytes:
      case NodeType::Int32Array:
      case NodeType::SignedBytes:
      case NodeType::Int16Array:
      case NodeType::UnsignedBytes:
      case NodeType::UInt16Array:
      case NodeType::WideText:
      case NodeType::Computed:
        return ParseLeaf(found->type, node);
      case NodeType::Sequence:
      case NodeType::DefaultCase:
        return ParseChildren(index);
      case NodeType::SettingFilter:
      case NodeType::SettingGuard:
        if (!Read(kU16Range, &node->param)) return false;
        return ParseChildren(index);
      case NodeType::ValueCase:
        if (!Read(kAny32Range, &node->param)) return false;
        return ParseChildren(index);
      case NodeType::SettingSwitch:
      case NodeType::StringSwitch:
      case NodeType::PrinterDataSwitch:
        if (!Read(kU16Range, &node->param)) return false;
        return ParseCases(index);
      case NodeType::MaskedSettingSwitch:
        if (!Read(kU16Range, &node->param)) return false;
        if (!ExpectWord("mask")) return false;
        if (!Read(kU32Range, &model->nodes[index].mask)) return false;
        return ParseCases(index);
      case NodeType::LocaleSwitch:
        node->param = kLocaleTag;
        if (IsWord("tag")) {
          Skip();
          if (!Read(kU16Range, &node->param)) return false;
        }
        return ParseCases(index);
      case NodeType::MaskHeader:
        // Kept so the checks can say where it stands; a mask belongs to its switch.
        return Read(kU32Range, &node->mask);
      default:
        return false;
    }
  }

  // The node after '=' of a key, tree or node statement; `name` is given to it.
  bool ParseRoot(const std::string& name, SourceLoc nameLoc, uint32_t* out) {
    if (!ParseNode(out)) return false;
    SourceNode& node = model->nodes[*out];
    if (name.empty()) return true;
    if (node.isUse) {
      AddError(diags, nameLoc, "a root shared with 'use' cannot be given another name");
      return false;
    }
    if (!node.name.empty()) {
      AddError(diags, nameLoc, "this root is named twice ('" + name + "' and '" + node.name + "')");
      return false;
    }
    node.name = name;
    return true;
  }

  bool ParseKey() {
    RootStatement st{};
    st.kind = StatementKind::Key;
    st.loc = Cur().loc;
    Skip();
    if (!Read(kKeyRange, &st.key)) return false;
    std::string name;
    SourceLoc nameLoc{};
    if (IsWord("as")) {
      Skip();
      if (!ReadName(&name, &nameLoc)) return false;
    }
    if (!ExpectPunct('=')) return false;
    defaultLabel = static_cast<uint16_t>(st.key);
    if (IsWord("AllTrees")) {
      if (!name.empty()) {
        AddError(diags, nameLoc, "AllTrees cannot be given a name");
        return false;
      }
      st.form = RootForm::AllTrees;
      Skip();
    } else if (!ParseRoot(name, nameLoc, &st.node)) {
      return false;
    }
    model->roots.push_back(st);
    return true;
  }

  bool ParseTree(StatementKind kind) {
    RootStatement st{};
    st.kind = kind;
    st.loc = Cur().loc;
    Skip();
    std::string name;
    SourceLoc nameLoc{};
    if (!ReadName(&name, &nameLoc)) return false;
    if (!ExpectWord("for")) return false;
    uint16_t label = 0;
    if (!Read(kKeyRange, &label)) return false;
    if (!ExpectPunct('=')) return false;
    defaultLabel = label;
    if (!ParseRoot(name, nameLoc, &st.node)) return false;
    st.key = label;
    model->roots.push_back(st);
    return true;
  }

  bool ParseList() {
    ListStatement st{};
    st.loc = Cur().loc;
    Skip();
    if (!Read(kKeyRange, &st.key)) return false;
    if (!ExpectPunct('=') || !ExpectPunct('[')) return false;
    while (!IsPunct(']')) {
      if (IsPunct(',')) {
        Skip();
        continue;
      }
      NameRef ref;
      if (!ReadName(&ref.name, &ref.loc)) return false;
      st.entries.push_back(std::move(ref));
    }
    Skip();
    if (!CheckCount(st.loc, st.entries.size(), "list entries")) return false;
    model->lists.push_back(std::move(st));
    return true;
  }

  bool ParseCategory() {
    CategoryStatement st{};
    st.loc = Cur().loc;
    Skip();
    if (!Read(kU16Range, &st.id)) return false;
    if (!ExpectPunct('{')) return false;
    while (!IsPunct('}')) {
      if (IsPunct(',') || IsPunct(';')) {
        Skip();
        continue;
      }
      if (!AtNumber()) return Expected("an item id or '}'");
      Item item{};
      if (!Read(kU16Range, &item.id)) return false;
      if (!ExpectPunct('=')) return false;
      if (!Read(kAny32Range, &item.value)) return false;
      st.items.push_back(item);
    }
    Skip();
    if (!CheckCount(st.loc, st.items.size(), "items")) return false;
    model->categories.push_back(std::move(st));
    return true;
  }

  bool ParseSelector() {
    SelectorStatement st{};
    st.loc = Cur().loc;
    Skip();
    struct Slot {
      uint32_t setting;
      int16_t mdb::SelectorRecord::*field;
    };
    static constexpr Slot kSlots[] = {
        {4, &mdb::SelectorRecord::setting4}, {9, &mdb::SelectorRecord::setting9},
        {5, &mdb::SelectorRecord::setting5}, {8, &mdb::SelectorRecord::setting8},
        {6, &mdb::SelectorRecord::setting6}, {81, &mdb::SelectorRecord::setting81}};
    bool seen[6] = {};
    if (!ExpectPunct('(')) return false;
    while (!IsPunct(')')) {
      if (IsPunct(',')) {
        Skip();
        continue;
      }
      const SourceLoc loc = Cur().loc;
      uint32_t setting = 0;
      if (!Read(kU16Range, &setting)) return false;
      size_t slot = 0;
      while (slot < 6 && kSlots[slot].setting != setting) ++slot;
      if (slot == 6) {
        AddError(diags, loc, "a selector tests settings 4, 9, 5, 8, 6 and 81, not " +
                                 std::to_string(setting));
        return false;
      }
      if (seen[slot]) {
        AddError(diags, loc, "setting " + std::to_string(setting) + " is given twice");
        return false;
      }
      seen[slot] = true;
      if (!ExpectPunct('=')) return false;
      if (!Read(kI16Range, &(st.record.*kSlots[slot].field))) return false;
    }
    for (size_t slot = 0; slot < 6; ++slot) {
      if (!seen[slot]) {
        return Fail("the selector does not give setting " + std::to_string(kSlots[slot].setting));
      }
    }
    Skip();
    if (!ExpectWord("rows") || !ExpectPunct('(')) return false;
    uint16_t* rows[mdb::kSelectorRowTables] = {&st.record.row1, &st.record.row2, &st.record.row3,
                                               &st.record.row4};
    for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t) {
      if (t > 0 && !ExpectPunct(',')) return false;
      st.rowLocs[t] = Cur().loc;
      if (!Read(kU16Range, rows[t])) return false;
    }
    if (!ExpectPunct(')')) return false;
    model->selectors.push_back(st);
    return true;
  }

  bool ReadField(std::vector<uint8_t>* bytes) {
    struct Width {
      const char* name;
      IntRange range;
      uint32_t size;
    };
    static constexpr Width kWidths[] = {{"u8", kU8Range, 1},   {"i8", kI8Range, 1},
                                        {"u16", kU16Range, 2}, {"i16", kI16Range, 2},
                                        {"u32", kU32Range, 4}, {"i32", kI32Range, 4}};
    for (const Width& width : kWidths) {
      if (!IsWord(width.name)) continue;
      Skip();
      if (!AtNumber()) return Expected("a number");
      while (AtNumber()) {
        int64_t value = 0;
        if (!ReadInt(width.range, &value)) return false;
        const auto bits = static_cast<uint32_t>(value & 0xFFFFFFFF);
        for (uint32_t i = 0; i < width.size; ++i) {
          bytes->push_back(static_cast<uint8_t>((bits >> (8 * i)) & 0xFFu));
        }
      }
      return true;
    }
    if (IsWord("bytes")) {
      Skip();
      return ReadByteBlock(bytes);
    }
    if (IsWord("text")) {
      Skip();
      if (Cur().kind != TokenKind::Text) return Expected("text");
      bytes->insert(bytes->end(), Cur().text.begin(), Cur().text.end());
      Skip();
      return true;
    }
    if (IsWord("zeros") || IsWord("pad")) {
      const bool pad = IsWord("pad");
      Skip();
      const SourceLoc loc = Cur().loc;
      uint32_t n = 0;
      if (!Read(kU16Range, &n)) return false;
      if (pad && n < bytes->size()) {
        AddError(diags, loc, "pad " + std::to_string(n) + " lies before the end of the fields (" +
                                 std::to_string(bytes->size()) + " bytes)");
        return false;
      }
      const size_t zeros = pad ? n - bytes->size() : n;
      if (zeros > kMaxZeros) {
        AddError(diags, loc, "too many zero bytes");
        return false;
      }
      bytes->insert(bytes->end(), zeros, 0);
      return true;
    }
    return Expected("a field (u8, i8, u16, i16, u32, i32, bytes, text, zeros, pad) or '}'");
  }

  bool ParseRow() {
    RowStatement st{};
    st.loc = Cur().loc;
    Skip();
    const SourceLoc tableLoc = Cur().loc;
    uint32_t table = 0;
    if (!Read(kU16Range, &table)) return false;
    if (table < 1 || table > mdb::kSelectorRowTables) {
      AddError(diags, tableLoc, "selector row tables are numbered 1 to 4, not " + std::to_string(table));
      return false;
    }
    st.table = table - 1;
    if (!ExpectPunct('{')) return false;
    while (!IsPunct('}')) {
      if (IsPunct(';')) {
        Skip();
        continue;
      }
      if (!ReadField(&st.bytes)) return false;
    }
    Skip();
    const uint32_t size = mdb::kSelectorRowSize[st.table];
    if (st.bytes.size() != size) {
      AddError(diags, st.loc, "a row of table " + std::to_string(table) + " is " +
                                  std::to_string(size) + " bytes; this one has " +
                                  std::to_string(st.bytes.size()));
    }
    model->rows.push_back(std::move(st));
    return true;
  }

  bool AtStatementStart() const {
    if (Cur().kind != TokenKind::Word || !Cur().lineStart) return false;
    for (const char* word : kStatementWords) {
      if (Cur().text == word) return true;
    }
    return false;
  }

  void Run() {
    while (Cur().kind != TokenKind::End) {
      const size_t firstNode = model->nodes.size();
      bool ok = false;
      if (IsWord("key")) {
        ok = ParseKey();
      } else if (IsWord("tree")) {
        ok = ParseTree(StatementKind::Tree);
      } else if (IsWord("node")) {
        ok = ParseTree(StatementKind::Node);
      } else if (IsWord("list")) {
        ok = ParseList();
      } else if (IsWord("category")) {
        ok = ParseCategory();
      } else if (IsWord("selector")) {
        ok = ParseSelector();
      } else if (IsWord("row")) {
        ok = ParseRow();
      } else {
        Expected("a statement (key, tree, node, list, category, selector or row)");
      }
      if (ok) continue;
      // Its nodes keep their names (so uses elsewhere resolve) but no more checks: the key
      // their labels default to may be what failed.
      for (size_t i = firstNode; i < model->nodes.size(); ++i) model->nodes[i].incomplete = true;
      // Go on with the next statement that starts a line.
      Skip();
      while (Cur().kind != TokenKind::End && !AtStatementStart()) Skip();
    }
  }
};

}  // namespace

void ParseSource(std::string_view text, uint32_t file, SourceModel* model, Diagnostics* diags) {
  Parser parser{Tokenize(text, file, diags), 0, model, diags};
  parser.Run();
}

}  // namespace dbc
