#include "sim/BoardFileDocument.h"

#include "sim/BoardFile.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <unordered_set>
#include <utility>
#include <vector>

namespace sim {

namespace {

// The text handed to nlohmann's lexer a byte at a time. The lexer takes bytes only as it needs
// them: when the parser reports a token, the lexer has read exactly to its end (past a number, one
// byte more, to see where it ends). *Read follows the furthest byte taken, which is how an event
// learns where its token lies; nlohmann reports no position for a value it parsed.
class CountingIterator {
public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator(const char* At, const char** Read) : at_(At), read_(Read) {}
  reference operator*() const { return *at_; }
  CountingIterator& operator++() {
    *read_ = ++at_;
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const CountingIterator& Other) const { return at_ == Other.at_; }

private:
  const char* at_;
  const char** read_;
};

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

bool IsSpace(char C) {
  return C == ' ' || C == '\t' || C == '\n' || C == '\r';
}

// Between two tokens the parser reports, only whitespace and the separators it consumed silently.
bool IsSkipped(char C) {
  return IsSpace(C) || C == ',' || C == ':';
}

struct Failure {
  size_t Offset = 0;
  std::string Message;
};

// nlohmann's message without its prefixes ("[json.exception.parse_error.101] parse error at line
// 1, column 4: syntax error while parsing value - "). A token the lexer could not read is
// described as "<reason>; last read: '<token>'<more>": Reason and More are kept apart, so that the
// token can be quoted from the text itself, the way every other message quotes found text.
struct Complaint {
  std::string Reason;
  bool Lexical = false;
  std::string More;
};

Complaint Describe(std::string_view What, const std::string& LastToken) {
  if (const size_t tag = What.find("] ");
      What.starts_with("[json.exception.") && tag != What.npos) {
    What.remove_prefix(tag + 2);
  }
  if (const size_t colon = What.find(": "); What.starts_with("parse error") && colon != What.npos) {
    What.remove_prefix(colon + 2);
  }
  if (const size_t dash = What.find(" - "); What.starts_with("syntax error") && dash != What.npos) {
    What.remove_prefix(dash + 3);
  }
  constexpr std::string_view lastRead = "; last read: '";
  const size_t at = What.find(lastRead);
  if (at == What.npos) {
    return {std::string(What), false, ""};
  }
  const size_t more = std::min(What.size(), at + lastRead.size() + LastToken.size() + 1);
  return {std::string(What.substr(0, at)), true, std::string(What.substr(more))};
}

// Builds the tree from the parser's events and refuses what a board file must not hold though
// nlohmann would take it: a key given twice in one object (it would keep the last), deep nesting.
// Records, in document order, where each value and each key starts.
class TreeBuilder final : public nlohmann::json_sax<BoardJson> {
public:
  TreeBuilder(std::string_view Text, const char* const& Read, BoardJson& Root)
      : text_(Text), read_(Read), root_(Root) {}

  bool null() override { return Add(BoardJson(nullptr)); }
  bool boolean(bool V) override { return Add(BoardJson(V)); }
  bool number_integer(number_integer_t V) override { return Add(BoardJson(V), true); }
  bool number_unsigned(number_unsigned_t V) override { return Add(BoardJson(V), true); }
  bool number_float(number_float_t V, const string_t&) override { return Add(BoardJson(V), true); }
  bool string(string_t& V) override { return Add(BoardJson(std::move(V))); }
  bool binary(binary_t&) override { return false; } // JSON text holds none
  bool start_object(size_t) override { return Open(BoardJson::object()); }
  bool start_array(size_t) override { return Open(BoardJson::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t& Key) override {
    const size_t start = TokenStart();
    end_ = Read();
    keyStarts_.push_back(start);
    if (!keys_.back().insert(Key).second) {
      return Fail(start, "duplicate key " + QuoteText(Key));
    }
    key_ = std::move(Key);
    return true;
  }

  bool parse_error(size_t Position, const std::string& LastToken,
                   const nlohmann::detail::exception& Error) override {
    const Complaint complaint = Describe(Error.what(), LastToken);
    if (!complaint.Lexical) {
      return Fail(UnexpectedTokenStart(Position), complaint.Reason);
    }
    // A token the lexer could not read, pointed at where reading it broke down. What it read is
    // not known to be UTF-8.
    const size_t start = TokenStart();
    const size_t stop = std::max(start, std::min(Position, text_.size()));
    return Fail(Position > 0 ? Position - 1 : 0,
                complaint.Reason + "; last read: " +
                    QuoteText(text_.substr(start, stop - start), true) + complaint.More);
  }

  const Failure& Failed() const { return failure_; }
  const std::vector<size_t>& ValueStarts() const { return valueStarts_; }
  const std::vector<size_t>& KeyStarts() const { return keyStarts_; }

private:
  size_t Read() const { return static_cast<size_t>(read_ - text_.data()); }

  size_t TokenStart() const {
    size_t at = end_;
    while (at < text_.size() && IsSkipped(text_[at])) {
      ++at;
    }
    return at;
  }

  // The token the grammar did not expect ends where the lexer stopped (Position counts the bytes
  // read, one more at the end of the text). Before it, a separator was consumed silently, unless
  // that separator is itself the unexpected token.
  size_t UnexpectedTokenStart(size_t Position) const {
    const auto skipSpace = [&](size_t At) {
      while (At < text_.size() && IsSpace(text_[At])) {
        ++At;
      }
      return At;
    };
    size_t at = skipSpace(end_);
    if (at < text_.size() && (text_[at] == ',' || text_[at] == ':') && at + 1 != Position) {
      at = skipSpace(at + 1);
    }
    return at;
  }

  bool Fail(size_t Offset, std::string Message) {
    failure_ = {std::min(Offset, text_.size()), std::move(Message)};
    return false;
  }

  BoardJson* Insert(BoardJson Value) {
    valueStarts_.push_back(TokenStart());
    if (open_.empty()) {
      root_ = std::move(Value);
      return &root_;
    }
    BoardJson& parent = *open_.back();
    if (parent.is_array()) {
      auto& items = parent.get_ref<BoardJson::array_t&>();
      items.push_back(std::move(Value));
      return &items.back();
    }
    // Appended without ordered_map's own search for the key: key() has ruled out a duplicate.
    auto& members = parent.get_ref<BoardJson::object_t&>();
    members.emplace_back(std::move(key_), std::move(Value));
    return &members.back().second;
  }

  bool Add(BoardJson Value, bool Number = false) {
    Insert(std::move(Value));
    end_ = Read();
    // A number ends in a digit; the lexer's look past it is not part of it.
    if (Number && end_ > 0 && !IsDigit(text_[end_ - 1])) {
      --end_;
    }
    return true;
  }

  bool Open(BoardJson Container) {
    if (open_.size() >= BoardDocument::MaxDepth) {
      return Fail(TokenStart(),
                  "nesting deeper than " + std::to_string(BoardDocument::MaxDepth) + " levels");
    }
    open_.push_back(Insert(std::move(Container)));
    keys_.emplace_back();
    end_ = Read();
    return true;
  }

  bool Close() {
    open_.pop_back();
    keys_.pop_back();
    end_ = Read();
    return true;
  }

  std::string_view text_;
  const char* const& read_;
  BoardJson& root_;
  size_t end_ = 0; // where the last token reported ends
  std::vector<BoardJson*> open_;
  std::vector<std::unordered_set<std::string>> keys_;
  std::string key_;
  std::vector<size_t> valueStarts_;
  std::vector<size_t> keyStarts_;
  Failure failure_;
};

// Pairs the starts, recorded in document order, with the finished tree's values: only now do
// their addresses stay put.
class StartIndex {
public:
  StartIndex(const TreeBuilder& Builder,
             std::unordered_map<const BoardJson*, BoardDocument::Start>& Out)
      : builder_(Builder), out_(Out) {}

  void Walk(const BoardJson& V, size_t KeyStart) {
    out_[&V] = {builder_.ValueStarts()[nextValue_++], KeyStart};
    if (V.is_object()) {
      for (const auto& member : V.get_ref<const BoardJson::object_t&>()) {
        Walk(member.second, builder_.KeyStarts()[nextKey_++]);
      }
    } else if (V.is_array()) {
      for (const BoardJson& item : V) {
        Walk(item, 0);
      }
    }
  }

private:
  const TreeBuilder& builder_;
  std::unordered_map<const BoardJson*, BoardDocument::Start>& out_;
  size_t nextValue_ = 0;
  size_t nextKey_ = 0;
};

} // namespace

BoardDocument::BoardDocument(std::string_view Text, std::string_view Source)
    : text_(Text), source_(Source) {
  if (Text.starts_with("\xEF\xBB\xBF")) {
    throw BoardFileError(Locate(0) + ": byte order mark is not allowed");
  }
  const char* read = Text.data();
  TreeBuilder builder(Text, read, root_);
  if (!BoardJson::sax_parse(CountingIterator(Text.data(), &read),
                            CountingIterator(Text.data() + Text.size(), &read), &builder)) {
    throw BoardFileError(Locate(builder.Failed().Offset) + ": " + builder.Failed().Message);
  }
  StartIndex(builder, starts_).Walk(root_, 0);
}

std::string BoardDocument::Where(const BoardJson& V) const {
  const auto found = starts_.find(&V);
  return Locate(found != starts_.end() ? found->second.Value : 0);
}

std::string BoardDocument::KeyWhere(const BoardJson& V) const {
  const auto found = starts_.find(&V);
  return Locate(found != starts_.end() ? found->second.Key : 0);
}

std::string BoardDocument::Locate(size_t Offset) const {
  const std::string_view before = text_.substr(0, Offset);
  const size_t lineStart = before.rfind('\n') + 1; // npos + 1 is 0: the first line
  const auto line = 1 + std::count(before.begin(), before.end(), '\n');
  // UTF-8 continuation bytes (10xxxxxx) do not start a character.
  const auto column =
      1 + std::count_if(before.begin() + static_cast<std::ptrdiff_t>(lineStart), before.end(),
                        [](char C) { return (static_cast<unsigned char>(C) & 0xC0) != 0x80; });
  return std::string(source_) + ":" + std::to_string(line) + ":" + std::to_string(column);
}

std::string QuoteText(std::string_view Text, bool EscapeNonAscii) {
  // A message names what was found, not the file's contents: long text is cut short.
  constexpr size_t Shown = 40;
  std::string out = "\"";
  for (char c : Text.substr(0, Shown)) {
    const auto byte = static_cast<unsigned char>(c);
    char escaped[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      out += escaped;
    } else if (byte >= 0x80 && EscapeNonAscii) {
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += Text.size() > Shown ? "\"..." : "\"";
  return out;
}

} // namespace sim
