// Strict JSON (RFC 8259) for the board description files read by the host tools. Every value keeps
// the line and column where it starts, so a loader that dislikes a value can point at it the same
// way the parser points at a syntax error.
//
// Parse() returns std::variant<Value, ParseError>:
//   ParseResult result = Parse(text);
//   if (const ParseError* error = std::get_if<ParseError>(&result)) { ... FormatError(*error, path)
//   } const Value& root = std::get<Value>(result);
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sim::json {

// 1-based; Column counts code points, so it matches what an editor shows for UTF-8 text. Values
// built by hand rather than parsed sit at {0, 0}.
struct Position {
  int Line;
  int Column;
  bool operator==(const Position&) const = default;
};

enum class Kind { Null, Bool, Number, String, Array, Object };

std::string_view KindName(Kind K);

struct Member;

class Value {
public:
  Value() = default;

  static Value MakeNull(Position Where);
  static Value MakeBool(bool Flag, Position Where);
  // Text must already be a JSON number; it is kept as written so no precision is lost before the
  // loader decides which type it wants.
  static Value MakeNumber(std::string Text, Position Where);
  static Value MakeString(std::string Text, Position Where);
  static Value MakeArray(std::vector<Value> Items, Position Where);
  static Value MakeObject(std::vector<Member> Members, Position Where);

  Kind GetKind() const { return kind_; }
  Position Where() const { return where_; }
  bool Is(Kind K) const { return kind_ == K; }

  // Each returns false and leaves Out alone when the value is of another kind or does not fit.
  bool AsBool(bool& Out) const;
  // Only plain non-negative decimal integers: "1e3", "2.0" and "-0" are refused because a register
  // value written that way is almost certainly a typo.
  bool AsUint64(uint64_t& Out) const;
  bool AsDouble(double& Out) const;

  // Number text as written, or the decoded UTF-8 contents of a string; empty for other kinds.
  const std::string& Text() const { return text_; }
  // Empty unless the value is an array / object, so loaders can iterate without a kind check.
  const std::vector<Value>& Items() const { return items_; }
  const std::vector<Member>& Members() const { return members_; }
  // Null when this is not an object or has no such key.
  const Value* Find(std::string_view Key) const;

private:
  Kind kind_ = Kind::Null;
  Position where_{0, 0};
  bool flag_ = false;
  std::string text_;
  std::vector<Value> items_;
  std::vector<Member> members_;
};

// Members stay in document order; KeyWhere is the opening quote of the key.
struct Member {
  std::string Key;
  Position KeyWhere;
  Value Val;
};

struct ParseError {
  std::string Message;
  Position Where;
};

using ParseResult = std::variant<Value, ParseError>;

inline constexpr int DefaultMaxDepth = 64;

// MaxDepth bounds how many arrays/objects may be open at once; deeper input is an error, so a
// hostile file cannot exhaust the stack.
ParseResult Parse(std::string_view Text, int MaxDepth = DefaultMaxDepth);

// "<Source>:<line>:<column>: <message>", the form editors and CI logs turn into links.
// Text found in a board file, for a message: in double quotes, escaped so that a quote or a
// control character cannot garble the one-line error, and cut short after 40 bytes.
std::string Quote(std::string_view Text);

std::string FormatError(const ParseError& Error, std::string_view Source);

// Accepts what AsUint64 accepts, plus strings "0x..." / "0X..." of hex digits: JSON has no hex
// literal, and register values read far better in hex.
bool ParseInteger(const Value& V, uint64_t& Out);

// For loaders: the first key of Object not in Allowed, as an error at that key. A non-object is
// also an error, at the value.
std::optional<ParseError> CheckKeys(const Value& Object,
                                    std::initializer_list<std::string_view> Allowed);

// The value of one hex digit, or -1 for any other character.
int HexDigit(char C);

} // namespace sim::json
