#include "sim/json/Json.h"

#include <gtest/gtest.h>

#include <limits>

namespace sim::json {
namespace {

// Compact rendering that exposes kinds, order and number text exactly as the parser kept them.
std::string Dump(const Value& V) {
  std::string out;
  bool flag = false;
  switch (V.GetKind()) {
  case Kind::Null:
    return "null";
  case Kind::Bool:
    EXPECT_TRUE(V.AsBool(flag));
    return flag ? "true" : "false";
  case Kind::Number:
    return "#" + V.Text();
  case Kind::String:
    return "\"" + V.Text() + "\"";
  case Kind::Array:
    for (const Value& item : V.Items()) {
      out += (out.empty() ? "" : ",") + Dump(item);
    }
    return "[" + out + "]";
  case Kind::Object:
    for (const Member& member : V.Members()) {
      out += (out.empty() ? "\"" : ",\"") + member.Key + "\":" + Dump(member.Val);
    }
    return "{" + out + "}";
  }
  return "?";
}

Value ParseOk(std::string_view Text) {
  ParseResult result = Parse(Text);
  if (const ParseError* error = std::get_if<ParseError>(&result)) {
    ADD_FAILURE() << FormatError(*error, "input") << " in: " << Text;
    return Value();
  }
  return std::get<Value>(std::move(result));
}

TEST(Json, ParsesValidDocuments) {
  const struct {
    std::string_view Text;
    std::string_view Expected;
  } cases[] = {
      {"null", "null"},
      {" \t\r\n true \n", "true"},
      {"0", "#0"},
      {"-0.5e-3", "#-0.5e-3"},
      {"12E+4", "#12E+4"},
      {"\"\"", "\"\""},
      {"[]", "[]"},
      {"{ }", "{}"},
      {"[1, [2, [3, []]], {}]", "[#1,[#2,[#3,[]]],{}]"},
      {"{\"z\": 1, \"a\": [true, false, null], \"m\": {\"k\": \"v\"}}",
       "{\"z\":#1,\"a\":[true,false,null],\"m\":{\"k\":\"v\"}}"},
      {"{\"a\": {}, \"b\": {\"a\": 1}}", "{\"a\":{},\"b\":{\"a\":#1}}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Dump(ParseOk(c.Text)), c.Expected) << c.Text;
  }
}

TEST(Json, RejectsMalformedDocumentsAtExactPosition) {
  const struct {
    std::string_view Text;
    int Line;
    int Column;
    std::string_view Message;
  } cases[] = {
      {"", 1, 1, "expected a value, found end of input"},
      {"{\n  \"name\": \"x\",\n  \"pads\" [1]\n}", 3, 10, "expected ':' after object key"},
      {"{\n  \"a\": 1,\n  \"b\": 2\n  \"c\": 3\n}", 4, 3,
       "expected ',' or '}' after object member"},
      {"[\n  1,\n  2 3\n]", 3, 5, "expected ',' or ']' after array element"},
      {"[1,\r\n\t2 3]", 2, 4, "expected ',' or ']' after array element"},
      {"{\"\xC3\xA9\": 1 2}", 1, 9, "expected ',' or '}' after object member"},
      {"{\"a\": 1,}", 1, 8, "trailing comma before '}'"},
      {"[1, 2 ,\n]", 1, 7, "trailing comma before ']'"},
      {"{\"a\": 1,", 1, 9, "expected string key"},
      {"{1: 2}", 1, 2, "expected string key or '}'"},
      {"{", 1, 2, "expected string key or '}'"},
      {"[", 1, 2, "expected a value, found end of input"},
      {"{\"a\": 1", 1, 8, "expected ',' or '}' after object member"},
      {"{\"pads\": 1, \"pads\": 2}", 1, 13, "duplicate key \"pads\""},
      {"[01]", 1, 2, "leading zeros are not allowed"},
      {"-", 1, 2, "expected digit after '-'"},
      {"[1.]", 1, 4, "expected digit after '.'"},
      {"1e+", 1, 4, "expected digit in exponent"},
      {"+1", 1, 1, "expected a value, found '+'"},
      {".5", 1, 1, "expected a value, found '.'"},
      {"'a'", 1, 1, "expected a value, found \"'\""},
      {"\x01", 1, 1, "expected a value, found byte 0x01"},
      {"// note\n1", 1, 1, "expected a value, found '/'"},
      {"[1 /* note */]", 1, 4, "expected ',' or ']' after array element"},
      {"[tru]", 1, 2, "invalid literal \"tru\""},
      {"truex", 1, 1, "invalid literal \"truex\""},
      {"[NaN]", 1, 2, "invalid literal \"NaN\""},
      {"null_1", 1, 1, "invalid literal \"null_1\""},
      {"[abcdefghijklmnopqrstuvwxyz]", 1, 2, "invalid literal \"abcdefghijklmnopqrstuvwx...\""},
      {"0x10", 1, 2, "trailing characters after top-level value"},
      {"{} {}", 1, 4, "trailing characters after top-level value"},
      {"\xEF\xBB\xBF{}", 1, 1, "byte order mark is not allowed"},
      {"[\"abc", 1, 2, "unterminated string"},
      {"\"ab\\", 1, 1, "unterminated string"},
      {"\"a\nb\"", 1, 3, "unescaped control character in string"},
      {"\"a\tb\"", 1, 3, "unescaped control character in string"},
      {"\"x\\q\"", 1, 3, "invalid escape '\\q'"},
      {"\"\\u12G4\"", 1, 2, "expected 4 hex digits after \\u"},
      {"\"\\u12\"", 1, 2, "expected 4 hex digits after \\u"},
      {"\"ab\\uD83D\"", 1, 4, "unpaired high surrogate"},
      {"\"\\uD83D\\u0041\"", 1, 2, "unpaired high surrogate"},
      {"\"\\uD83D\\uZZZZ\"", 1, 8, "expected 4 hex digits after \\u"},
      {"\"\\uDE00\"", 1, 2, "unpaired low surrogate"},
      {"\"\xC3\"", 1, 2, "invalid UTF-8 in string"},
      {"\"\xC0\xAF\"", 1, 2, "invalid UTF-8 in string"},
      {"\"\xED\xA0\x80\"", 1, 2, "invalid UTF-8 in string"},
      {"\"\xF4\x90\x80\x80\"", 1, 2, "invalid UTF-8 in string"},
      {"\"\xE2\x82\xAC\xFF\"", 1, 3, "invalid UTF-8 in string"},
  };
  for (const auto& c : cases) {
    ParseResult result = Parse(c.Text);
    const ParseError* error = std::get_if<ParseError>(&result);
    ASSERT_NE(error, nullptr) << c.Text;
    EXPECT_EQ(error->Message, c.Message) << c.Text;
    EXPECT_EQ(error->Where.Line, c.Line) << c.Text;
    EXPECT_EQ(error->Where.Column, c.Column) << c.Text;
  }
}

TEST(Json, DecodesEscapesToUtf8) {
  const struct {
    std::string_view Text;
    std::string_view Expected;
  } cases[] = {
      {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
      {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
      {R"("\udbff\udfff")", "\xF4\x8F\xBF\xBF"},
      {R"("a\u0000b")", std::string_view("a\0b", 3)},
      {"\"\xC3\xA9\xF0\x9F\x98\x80\"", "\xC3\xA9\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    const Value value = ParseOk(c.Text);
    EXPECT_TRUE(value.Is(Kind::String)) << c.Text;
    EXPECT_EQ(value.Text(), c.Expected) << c.Text;
  }
}

TEST(Json, LimitsNestingDepth) {
  const auto nested = [](int Depth, char Open, char Close) {
    return std::string(Depth, Open) + std::string(Depth, Close);
  };
  EXPECT_TRUE(std::holds_alternative<Value>(Parse(nested(64, '[', ']'))));
  ParseResult tooDeep = Parse(nested(65, '[', ']'));
  ASSERT_TRUE(std::holds_alternative<ParseError>(tooDeep));
  EXPECT_EQ(std::get<ParseError>(tooDeep).Message, "nesting deeper than 64 levels");
  EXPECT_EQ(std::get<ParseError>(tooDeep).Where, (Position{1, 65}));

  std::string objects;
  for (int i = 0; i < 3; ++i) {
    objects += "{\"k\":";
  }
  ParseResult mixed = Parse(objects + "[1]}}}", 3);
  ASSERT_TRUE(std::holds_alternative<ParseError>(mixed));
  EXPECT_EQ(std::get<ParseError>(mixed).Where, (Position{1, 16}));

  // Far past any sane limit: must come back as an error, not a blown stack.
  ParseResult hostile = Parse(std::string(1000000, '['));
  ASSERT_TRUE(std::holds_alternative<ParseError>(hostile));
  EXPECT_EQ(std::get<ParseError>(hostile).Where, (Position{1, 65}));
}

TEST(Json, KeepsKeyOrderAndPositions) {
  const Value root = ParseOk("{\n  \"z\": 1,\n  \"a\": [true,\n    \"x\"],\n  \"m\": null\n}");
  ASSERT_EQ(root.Members().size(), 3u);
  EXPECT_EQ(root.Members()[0].Key, "z");
  EXPECT_EQ(root.Members()[1].Key, "a");
  EXPECT_EQ(root.Members()[2].Key, "m");
  EXPECT_EQ(root.Where(), (Position{1, 1}));
  EXPECT_EQ(root.Members()[1].KeyWhere, (Position{3, 3}));

  const Value* a = root.Find("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Where(), (Position{3, 8}));
  ASSERT_EQ(a->Items().size(), 2u);
  EXPECT_EQ(a->Items()[1].Where(), (Position{4, 5}));
  EXPECT_EQ(root.Find("z")->Text(), "1");
  EXPECT_TRUE(root.Find("m")->Is(Kind::Null));
  EXPECT_EQ(root.Find("q"), nullptr);
  EXPECT_EQ(a->Find("a"), nullptr);
}

TEST(Json, ConvertsIntegers) {
  constexpr uint64_t max = std::numeric_limits<uint64_t>::max();
  const struct {
    std::string_view Text;
    std::optional<uint64_t> Decimal;
    std::optional<uint64_t> Integer;
  } cases[] = {
      {"0", 0, 0},
      {"4096", 4096, 4096},
      {"18446744073709551615", max, max},
      {"18446744073709551616", std::nullopt, std::nullopt},
      {"99999999999999999999999", std::nullopt, std::nullopt},
      {"-1", std::nullopt, std::nullopt},
      {"-0", std::nullopt, std::nullopt},
      {"1.0", std::nullopt, std::nullopt},
      {"1e3", std::nullopt, std::nullopt},
      {"\"0xFFFFFFFF\"", std::nullopt, 0xFFFFFFFFu},
      {"\"0X1f\"", std::nullopt, 0x1F},
      {"\"0xFFFFFFFFFFFFFFFF\"", std::nullopt, max},
      {"\"0x00000000000000000001\"", std::nullopt, 1},
      {"\"0x10000000000000000\"", std::nullopt, std::nullopt},
      {"\"0x\"", std::nullopt, std::nullopt},
      {"\"0xFFFF_FFFF\"", std::nullopt, std::nullopt},
      {"\" 0x1\"", std::nullopt, std::nullopt},
      {"\"-0x1\"", std::nullopt, std::nullopt},
      {"\"12\"", std::nullopt, std::nullopt},
      {"true", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const Value value = ParseOk(c.Text);
    uint64_t decimal = 7;
    EXPECT_EQ(value.AsUint64(decimal), c.Decimal.has_value()) << c.Text;
    EXPECT_EQ(decimal, c.Decimal.value_or(7)) << c.Text;
    uint64_t integer = 7;
    EXPECT_EQ(ParseInteger(value, integer), c.Integer.has_value()) << c.Text;
    EXPECT_EQ(integer, c.Integer.value_or(7)) << c.Text;
  }
}

TEST(Json, ConvertsDoublesAndBools) {
  double number = 0;
  EXPECT_TRUE(ParseOk("-2.5e3").AsDouble(number));
  EXPECT_EQ(number, -2500.0);
  EXPECT_FALSE(ParseOk("1e999").AsDouble(number));
  EXPECT_FALSE(ParseOk("\"1\"").AsDouble(number));
  EXPECT_EQ(number, -2500.0);
  bool flag = true;
  EXPECT_TRUE(ParseOk("false").AsBool(flag));
  EXPECT_FALSE(flag);
  EXPECT_FALSE(ParseOk("0").AsBool(flag));
}

TEST(Json, ChecksKeys) {
  const struct {
    std::string_view Text;
    std::optional<Position> Where;
    std::string_view Message;
  } cases[] = {
      {"{\"name\": 1, \"pins\": 2}", std::nullopt, ""},
      {"{}", std::nullopt, ""},
      {"{\"name\": 1,\n \"foo\": 2, \"bar\": 3}", Position{2, 2},
       "unknown key \"foo\" (expected one of: name, pads, pins)"},
      {"{\"a\\\"\\n\\u001f\": 1}", Position{1, 2},
       "unknown key \"a\\\"\\u000A\\u001F\" (expected one of: name, pads, pins)"},
      {"\n  [1]", Position{2, 3}, "expected an object, found array"},
  };
  for (const auto& c : cases) {
    const std::optional<ParseError> error = CheckKeys(ParseOk(c.Text), {"name", "pads", "pins"});
    ASSERT_EQ(error.has_value(), c.Where.has_value()) << c.Text;
    if (error) {
      EXPECT_EQ(error->Where, *c.Where) << c.Text;
      EXPECT_EQ(error->Message, c.Message) << c.Text;
    }
  }
  const std::optional<ParseError> none = CheckKeys(ParseOk("{\"x\": 1}"), {});
  ASSERT_TRUE(none.has_value());
  EXPECT_EQ(none->Message, "unknown key \"x\" (object takes no keys)");
}

TEST(Json, FormatsErrorsForEditors) {
  EXPECT_EQ(FormatError(ParseError{"unterminated string", {3, 7}}, "boards/a.json"),
            "boards/a.json:3:7: unterminated string");
}

} // namespace
} // namespace sim::json
