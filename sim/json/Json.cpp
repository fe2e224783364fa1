#include "sim/json/Json.h"

#include <charconv>
#include <cstdio>
#include <utility>

namespace sim::json {

std::string_view KindName(Kind K) {
  switch (K) {
  case Kind::Null:
    return "null";
  case Kind::Bool:
    return "boolean";
  case Kind::Number:
    return "number";
  case Kind::String:
    return "string";
  case Kind::Array:
    return "array";
  case Kind::Object:
    return "object";
  }
  return "?";
}

Value Value::MakeNull(Position Where) {
  Value v;
  v.where_ = Where;
  return v;
}

Value Value::MakeBool(bool Flag, Position Where) {
  Value v;
  v.kind_ = Kind::Bool;
  v.where_ = Where;
  v.flag_ = Flag;
  return v;
}

Value Value::MakeNumber(std::string Text, Position Where) {
  Value v;
  v.kind_ = Kind::Number;
  v.where_ = Where;
  v.text_ = std::move(Text);
  return v;
}

Value Value::MakeString(std::string Text, Position Where) {
  Value v;
  v.kind_ = Kind::String;
  v.where_ = Where;
  v.text_ = std::move(Text);
  return v;
}

Value Value::MakeArray(std::vector<Value> Items, Position Where) {
  Value v;
  v.kind_ = Kind::Array;
  v.where_ = Where;
  v.items_ = std::move(Items);
  return v;
}

Value Value::MakeObject(std::vector<Member> Members, Position Where) {
  Value v;
  v.kind_ = Kind::Object;
  v.where_ = Where;
  v.members_ = std::move(Members);
  return v;
}

bool Value::AsBool(bool& Out) const {
  if (kind_ != Kind::Bool) {
    return false;
  }
  Out = flag_;
  return true;
}

bool Value::AsUint64(uint64_t& Out) const {
  // from_chars for an unsigned type takes no sign, so "-0" fails here; '.' and exponents are
  // caught by requiring it to consume the whole text.
  if (kind_ != Kind::Number) {
    return false;
  }
  uint64_t result = 0;
  const auto [end, ec] = std::from_chars(text_.data(), text_.data() + text_.size(), result);
  if (ec != std::errc{} || end != text_.data() + text_.size()) {
    return false;
  }
  Out = result;
  return true;
}

bool Value::AsDouble(double& Out) const {
  if (kind_ != Kind::Number) {
    return false;
  }
  double result = 0;
  const auto [end, ec] = std::from_chars(text_.data(), text_.data() + text_.size(), result);
  if (ec != std::errc{} || end != text_.data() + text_.size()) {
    return false;
  }
  Out = result;
  return true;
}

const Value* Value::Find(std::string_view Key) const {
  for (const Member& member : members_) {
    if (member.Key == Key) {
      return &member.Val;
    }
  }
  return nullptr;
}

std::string Quote(std::string_view Text) {
  // A message names what was found, not the file's contents: long text is cut short.
  constexpr size_t Shown = 40;
  std::string out = "\"";
  for (char c : Text.substr(0, Shown)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += Text.size() > Shown ? "\"..." : "\"";
  return out;
}

namespace {

std::string Describe(unsigned char C) {
  if (C == '\'') {
    return "\"'\"";
  }
  if (C >= 0x20 && C < 0x7F) {
    return std::string("'") + static_cast<char>(C) + "'";
  }
  char text[16];
  std::snprintf(text, sizeof text, "byte 0x%02X", C);
  return text;
}

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

void AppendUtf8(std::string& Out, uint32_t CodePoint) {
  if (CodePoint < 0x80) {
    Out += static_cast<char>(CodePoint);
  } else if (CodePoint < 0x800) {
    Out += static_cast<char>(0xC0 | (CodePoint >> 6));
    Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
  } else if (CodePoint < 0x10000) {
    Out += static_cast<char>(0xE0 | (CodePoint >> 12));
    Out += static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (CodePoint >> 18));
    Out += static_cast<char>(0x80 | ((CodePoint >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence at the start of Bytes, or 0. The second-byte ranges
// shut out overlong forms, encoded surrogates and anything past U+10FFFF.
size_t Utf8SequenceLength(std::string_view Bytes) {
  const auto at = [&](size_t I) { return static_cast<unsigned char>(Bytes[I]); };
  const unsigned char lead = at(0);
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (Bytes.size() < length || at(1) < low || at(1) > high) {
    return 0;
  }
  for (size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

class Parser {
public:
  Parser(std::string_view Text, int MaxDepth) : text_(Text), maxDepth_(MaxDepth) {}

  ParseResult Run() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
      return ParseError{"byte order mark is not allowed", here_};
    }
    Value root;
    if (!ParseValue(root, 0)) {
      return std::move(error_);
    }
    SkipWhitespace();
    if (!AtEnd()) {
      return ParseError{"trailing characters after top-level value", here_};
    }
    return root;
  }

private:
  std::string_view text_;
  int maxDepth_;
  size_t offset_ = 0;
  Position here_{1, 1};
  ParseError error_{"", {0, 0}};

  bool AtEnd() const { return offset_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[offset_]; }
  bool PeekIs(char C) const { return !AtEnd() && text_[offset_] == C; }

  // Only for ASCII; a multi-byte character goes through AdvanceCodePoint so it counts as one
  // column.
  void Advance() {
    if (text_[offset_] == '\n') {
      ++here_.Line;
      here_.Column = 1;
    } else {
      ++here_.Column;
    }
    ++offset_;
  }

  void AdvanceCodePoint(size_t Bytes) {
    offset_ += Bytes;
    ++here_.Column;
  }

  bool Fail(std::string Message, Position Where) {
    error_ = ParseError{std::move(Message), Where};
    return false;
  }

  bool Fail(std::string Message) { return Fail(std::move(Message), here_); }

  void SkipWhitespace() {
    while (PeekIs(' ') || PeekIs('\t') || PeekIs('\n') || PeekIs('\r')) {
      Advance();
    }
  }

  bool ParseValue(Value& Out, int Depth) {
    SkipWhitespace();
    if (AtEnd()) {
      return Fail("expected a value, found end of input");
    }
    const char c = Peek();
    if (c == '{') {
      return ParseObject(Out, Depth);
    }
    if (c == '[') {
      return ParseArray(Out, Depth);
    }
    if (c == '"') {
      const Position start = here_;
      std::string text;
      if (!ParseString(text)) {
        return false;
      }
      Out = Value::MakeString(std::move(text), start);
      return true;
    }
    if (c == '-' || IsDigit(c)) {
      return ParseNumber(Out);
    }
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      return ParseLiteral(Out);
    }
    return Fail("expected a value, found " + Describe(static_cast<unsigned char>(c)));
  }

  bool EnterContainer(int Depth) {
    if (Depth >= maxDepth_) {
      return Fail("nesting deeper than " + std::to_string(maxDepth_) + " levels");
    }
    return true;
  }

  bool ParseObject(Value& Out, int Depth) {
    const Position start = here_;
    if (!EnterContainer(Depth)) {
      return false;
    }
    Advance();
    std::vector<Member> members;
    SkipWhitespace();
    if (PeekIs('}')) {
      Advance();
      Out = Value::MakeObject(std::move(members), start);
      return true;
    }
    Position comma{0, 0};
    while (true) {
      SkipWhitespace();
      if (!PeekIs('"')) {
        if (members.empty()) {
          return Fail("expected string key or '}'");
        }
        if (PeekIs('}')) {
          return Fail("trailing comma before '}'", comma);
        }
        return Fail("expected string key");
      }
      const Position keyWhere = here_;
      std::string key;
      if (!ParseString(key)) {
        return false;
      }
      // Board objects hold a few dozen keys at most; a scan beats maintaining an index.
      for (const Member& member : members) {
        if (member.Key == key) {
          return Fail("duplicate key " + Quote(key), keyWhere);
        }
      }
      SkipWhitespace();
      if (!PeekIs(':')) {
        return Fail("expected ':' after object key");
      }
      Advance();
      Value value;
      if (!ParseValue(value, Depth + 1)) {
        return false;
      }
      members.push_back(Member{std::move(key), keyWhere, std::move(value)});
      SkipWhitespace();
      if (PeekIs(',')) {
        comma = here_;
        Advance();
        continue;
      }
      if (PeekIs('}')) {
        Advance();
        Out = Value::MakeObject(std::move(members), start);
        return true;
      }
      return Fail("expected ',' or '}' after object member");
    }
  }

  bool ParseArray(Value& Out, int Depth) {
    const Position start = here_;
    if (!EnterContainer(Depth)) {
      return false;
    }
    Advance();
    std::vector<Value> items;
    SkipWhitespace();
    if (PeekIs(']')) {
      Advance();
      Out = Value::MakeArray(std::move(items), start);
      return true;
    }
    while (true) {
      Value item;
      if (!ParseValue(item, Depth + 1)) {
        return false;
      }
      items.push_back(std::move(item));
      SkipWhitespace();
      if (PeekIs(',')) {
        const Position comma = here_;
        Advance();
        SkipWhitespace();
        if (PeekIs(']')) {
          return Fail("trailing comma before ']'", comma);
        }
        continue;
      }
      if (PeekIs(']')) {
        Advance();
        Out = Value::MakeArray(std::move(items), start);
        return true;
      }
      return Fail("expected ',' or ']' after array element");
    }
  }

  void SkipDigits() {
    while (IsDigit(Peek())) {
      Advance();
    }
  }

  bool ParseNumber(Value& Out) {
    const Position start = here_;
    const size_t begin = offset_;
    if (PeekIs('-')) {
      Advance();
      if (!IsDigit(Peek())) {
        return Fail("expected digit after '-'");
      }
    }
    if (PeekIs('0')) {
      Advance();
      if (IsDigit(Peek())) {
        return Fail("leading zeros are not allowed", start);
      }
    } else {
      SkipDigits();
    }
    if (PeekIs('.')) {
      Advance();
      if (!IsDigit(Peek())) {
        return Fail("expected digit after '.'");
      }
      SkipDigits();
    }
    if (PeekIs('e') || PeekIs('E')) {
      Advance();
      if (PeekIs('+') || PeekIs('-')) {
        Advance();
      }
      if (!IsDigit(Peek())) {
        return Fail("expected digit in exponent");
      }
      SkipDigits();
    }
    Out = Value::MakeNumber(std::string(text_.substr(begin, offset_ - begin)), start);
    return true;
  }

  // The whole alphanumeric run is taken so "truex" and "NaN" are named in full instead of
  // surfacing later as a confusing error about the characters after them.
  bool ParseLiteral(Value& Out) {
    const Position start = here_;
    const size_t begin = offset_;
    while (!AtEnd()) {
      const char c = Peek();
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_')) {
        break;
      }
      Advance();
    }
    const std::string_view word = text_.substr(begin, offset_ - begin);
    if (word == "true" || word == "false") {
      Out = Value::MakeBool(word == "true", start);
      return true;
    }
    if (word == "null") {
      Out = Value::MakeNull(start);
      return true;
    }
    constexpr size_t shownLength = 24;
    std::string shown(word.substr(0, shownLength));
    if (word.size() > shownLength) {
      shown += "...";
    }
    return Fail("invalid literal " + Quote(shown), start);
  }

  bool ReadHex4(uint32_t& Out) {
    if (text_.size() - offset_ < 4) {
      return false;
    }
    uint32_t result = 0;
    for (size_t i = 0; i < 4; ++i) {
      const int digit = HexDigit(text_[offset_ + i]);
      if (digit < 0) {
        return false;
      }
      result = result << 4 | static_cast<uint32_t>(digit);
    }
    for (size_t i = 0; i < 4; ++i) {
      Advance();
    }
    Out = result;
    return true;
  }

  // On entry the cursor is on the backslash.
  bool ParseUnicodeEscape(std::string& Out) {
    const Position escape = here_;
    Advance();
    Advance();
    uint32_t unit = 0;
    if (!ReadHex4(unit)) {
      return Fail("expected 4 hex digits after \\u", escape);
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return Fail("unpaired low surrogate", escape);
    }
    if (unit < 0xD800 || unit > 0xDBFF) {
      AppendUtf8(Out, unit);
      return true;
    }
    if (text_.substr(offset_, 2) != "\\u") {
      return Fail("unpaired high surrogate", escape);
    }
    const Position lowEscape = here_;
    Advance();
    Advance();
    uint32_t low = 0;
    if (!ReadHex4(low)) {
      return Fail("expected 4 hex digits after \\u", lowEscape);
    }
    if (low < 0xDC00 || low > 0xDFFF) {
      return Fail("unpaired high surrogate", escape);
    }
    AppendUtf8(Out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    return true;
  }

  bool ParseEscape(std::string& Out, Position Start) {
    if (offset_ + 1 >= text_.size()) {
      return Fail("unterminated string", Start);
    }
    const char kind = text_[offset_ + 1];
    if (kind == 'u') {
      return ParseUnicodeEscape(Out);
    }
    static constexpr std::string_view from = "\"\\/bfnrt";
    static constexpr std::string_view to = "\"\\/\b\f\n\r\t";
    const size_t index = from.find(kind);
    if (index == std::string_view::npos) {
      const auto byte = static_cast<unsigned char>(kind);
      if (byte >= 0x20 && byte < 0x7F) {
        return Fail(std::string("invalid escape '\\") + kind + "'");
      }
      return Fail("invalid escape sequence");
    }
    Out += to[index];
    Advance();
    Advance();
    return true;
  }

  // On entry the cursor is on the opening quote.
  bool ParseString(std::string& Out) {
    const Position start = here_;
    Advance();
    while (true) {
      if (AtEnd()) {
        return Fail("unterminated string", start);
      }
      const auto c = static_cast<unsigned char>(Peek());
      if (c == '"') {
        Advance();
        return true;
      }
      if (c == '\\') {
        if (!ParseEscape(Out, start)) {
          return false;
        }
      } else if (c < 0x20) {
        return Fail("unescaped control character in string");
      } else if (c < 0x80) {
        Out += static_cast<char>(c);
        Advance();
      } else {
        const size_t length = Utf8SequenceLength(text_.substr(offset_));
        if (length == 0) {
          return Fail("invalid UTF-8 in string");
        }
        Out += text_.substr(offset_, length);
        AdvanceCodePoint(length);
      }
    }
  }
};

} // namespace

ParseResult Parse(std::string_view Text, int MaxDepth) {
  return Parser(Text, MaxDepth).Run();
}

std::string FormatError(const ParseError& Error, std::string_view Source) {
  return std::string(Source) + ":" + std::to_string(Error.Where.Line) + ":" +
         std::to_string(Error.Where.Column) + ": " + Error.Message;
}

bool ParseInteger(const Value& V, uint64_t& Out) {
  if (V.Is(Kind::Number)) {
    return V.AsUint64(Out);
  }
  if (!V.Is(Kind::String)) {
    return false;
  }
  const std::string_view text = V.Text();
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    return false;
  }
  uint64_t result = 0;
  for (char c : text.substr(2)) {
    const int digit = HexDigit(c);
    if (digit < 0 || result >> 60 != 0) {
      return false;
    }
    result = result << 4 | static_cast<uint64_t>(digit);
  }
  Out = result;
  return true;
}

std::optional<ParseError> CheckKeys(const Value& Object,
                                    std::initializer_list<std::string_view> Allowed) {
  if (!Object.Is(Kind::Object)) {
    return ParseError{"expected an object, found " + std::string(KindName(Object.GetKind())),
                      Object.Where()};
  }
  for (const Member& member : Object.Members()) {
    bool known = false;
    for (std::string_view allowed : Allowed) {
      known = known || member.Key == allowed;
    }
    if (known) {
      continue;
    }
    std::string message = "unknown key " + Quote(member.Key);
    if (Allowed.size() == 0) {
      message += " (object takes no keys)";
    } else {
      const char* separator = " (expected one of: ";
      for (std::string_view allowed : Allowed) {
        message += separator;
        message += allowed;
        separator = ", ";
      }
      message += ")";
    }
    return ParseError{std::move(message), member.KeyWhere};
  }
  return std::nullopt;
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') {
    return C - '0';
  }
  if (C >= 'a' && C <= 'f') {
    return C - 'a' + 10;
  }
  if (C >= 'A' && C <= 'F') {
    return C - 'A' + 10;
  }
  return -1;
}

} // namespace sim::json
