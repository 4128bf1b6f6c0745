#include "json/reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace obrelix::json {
namespace {

using Code = ParseErrorCode;

std::string repeat(std::string_view text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

std::string nested_arrays(int depth) {
  return repeat("[", depth) + repeat("]", depth);
}

// `depth` objects, each holding the next as member "a", the innermost empty.
std::string nested_objects(int depth) {
  return repeat("{\"a\":", depth - 1) + "{}" + repeat("}", depth - 1);
}

// Arrays and objects taking turns, `depth` in all, the innermost one empty.
std::string nested_mixed(int depth) {
  const auto is_object = [](int level) { return level % 2 == 1; };
  std::string text;
  for (int level = 0; level + 1 < depth; ++level) text += is_object(level) ? "{\"k\":" : "[";
  text += is_object(depth - 1) ? "{}" : "[]";
  for (int level = depth - 2; level >= 0; --level) text += is_object(level) ? "}" : "]";
  return text;
}

// Text as it appears between quotation marks in JSON.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string raw_text_object(std::string_view inner) {
  return std::string("{") + quoted(raw_json_key) + ":" + quoted(inner) + "}";
}

struct RefusalCase {
  std::string input;
  std::optional<Code> refusal;  // nullopt: accepted
};

void expect_decisions(const std::vector<RefusalCase>& cases) {
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(c.input));
    ParseResult result = parse_json(c.input);
    if (!c.refusal) {
      EXPECT_TRUE(result.ok()) << "refused with code " << static_cast<int>(result.error().code)
                               << " at " << result.error().offset;
    } else if (result.ok()) {
      ADD_FAILURE() << "accepted";
    } else {
      EXPECT_EQ(result.error().code, *c.refusal) << "at " << result.error().offset;
    }
  }
}

TEST(ParseJson, DocumentFramingAndWhitespace) {
  expect_decisions({
      {"", Code::unexpected_end},
      {" \t\r\n", Code::unexpected_end},
      {"{\"session_id\":\"a\"}\r\n", std::nullopt},
      {" \t\n\r{\"session_id\":\"a\"} \t\n\r", std::nullopt},
      {"{\"session_id\":\"a\"} x", Code::bytes_after_document},
      {"{\"session_id\":\"a\"}{}", Code::bytes_after_document},
      {std::string("{\"session_id\":\"a\"}\0", 19), Code::bytes_after_document},
      {std::string("\0{}", 3), Code::unexpected_byte},
      {"\xEF\xBB\xBF{}", Code::unexpected_byte},
      {"{\"a\":1,\f\"b\":2}", Code::key_not_string},
      {"[1,\v2]", Code::unexpected_byte},
      {"[1\x1A]", Code::unexpected_byte},
      {"1,", Code::bytes_after_document},
      {"\"abc\"", std::nullopt},
      {"[1]", std::nullopt},
      {"42", std::nullopt},
  });
}

TEST(ParseJson, LiteralsAndContainers) {
  expect_decisions({
      {"true", std::nullopt},
      {"false", std::nullopt},
      {"null", std::nullopt},
      {"True", Code::unexpected_byte},
      {"NULL", Code::unexpected_byte},
      {"nul", Code::unexpected_end},
      {"nulx", Code::unexpected_byte},
      {"nullx", Code::bytes_after_document},
      {"nullnull", Code::bytes_after_document},
      {"[true false]", Code::unexpected_byte},
      {"[]", std::nullopt},
      {"{}", std::nullopt},
      {"[ ]", std::nullopt},
      {"{ }", std::nullopt},
      {"[1,]", Code::trailing_comma},
      {"[1, ]", Code::trailing_comma},
      {"{\"a\":1,}", Code::trailing_comma},
      {"[,1]", Code::unexpected_byte},
      {"{,}", Code::key_not_string},
      {"{a:1}", Code::key_not_string},
      {"{1:2}", Code::key_not_string},
      {"{\"a\":1,2:3}", Code::key_not_string},
      {"{\"a\":1 \"b\":2}", Code::unexpected_byte},
      {"{\"a\" 1}", Code::unexpected_byte},
      {"{\"a\"", Code::unexpected_end},
      {"{\"a\":", Code::unexpected_end},
      {"{\"a\":1", Code::unexpected_end},
      {"[1", Code::unexpected_end},
      {"[", Code::unexpected_end},
      {"]", Code::unexpected_byte},
      {"[1}", Code::unexpected_byte},
      {"{\"a\":1]", Code::unexpected_byte},
  });
}

// Reading in place decodes each string over its own bytes: every string and
// key of the document is a view of the input, and the document equals what
// a copying read gives, with escapes at either end of a string, between long
// runs, and inside raw text read in place twice over.
TEST(ParseJson, InPlaceReadingLeavesStringsInTheInputDecodedAlike) {
  const std::string_view inputs[] = {
      R"({"\n":"\\","a\u0041b":"x\ty\"z","s":"0123456789abcdefghij\n0123456789abcdefghijklmnop\u00e9tail"})",
      R"(["\ud83d\ude00\ud83d\ude00","\/\/\/","","plain, no escapes at all","\u0000\u001f\"\\"])",
      R"({"$obrelix::statusline::raw_json":"{\"k\\u0041\":[\"\\\\\\\"\",\"\\u00e9 and more text\"]}"})",
  };
  for (const std::string_view input : inputs) {
    SCOPED_TRACE(input);
    ParseResult copied = parse_json(input);
    std::string buffer(input);
    ParseResult in_place = parse_json_in_place(buffer, {});
    ASSERT_TRUE(copied.ok());
    ASSERT_TRUE(in_place.ok());
    EXPECT_TRUE(in_place.document().root() == copied.document().root());
    const auto in_buffer = [&](std::string_view text) {
      return std::less_equal<const char*>()(buffer.data(), text.data()) &&
             std::less_equal<const char*>()(text.data() + text.size(),
                                            buffer.data() + buffer.size());
    };
    std::vector<const JsonValue*> pending{&in_place.document().root()};
    while (!pending.empty()) {
      const JsonValue* value = pending.back();
      pending.pop_back();
      if (value->kind() == JsonKind::string) {
        EXPECT_TRUE(in_buffer(value->string_text())) << value->string_text();
      }
      for (const JsonValue& element : value->elements()) pending.push_back(&element);
      value->object().for_each([&](std::string_view key, const JsonValue& member) {
        EXPECT_TRUE(in_buffer(key)) << key;
        pending.push_back(&member);
      });
    }
  }
}

TEST(ParseJson, NestingAllowsExactly127OpenContainers) {
  expect_decisions({
      {nested_arrays(127), std::nullopt},
      {nested_arrays(128), Code::nesting_too_deep},
      {nested_objects(127), std::nullopt},
      {nested_objects(128), Code::nesting_too_deep},
      {nested_mixed(127), std::nullopt},
      {nested_mixed(128), Code::nesting_too_deep},
      {nested_mixed(126), std::nullopt},
      // Side by side containers do not add up.
      {repeat("[", 1) + repeat("[],", 1000) + "[]]", std::nullopt},
      {repeat("[", 126) + repeat("[],", 300) + "[]" + repeat("]", 126), std::nullopt},
      // Far past the allowance: refused, not a deep stack.
      {repeat("[", 100000), Code::nesting_too_deep},
  });
}

TEST(ParseJson, NestedInputsHaveTheDepthTheyClaim) {
  // Guards the generators above: the value is as deep as asked.
  const auto depth_of = [](const JsonValue& root) {
    int depth = 0;
    for (const JsonValue* v = &root; v != nullptr; ++depth) {
      const JsonValue* next = nullptr;
      if (v->kind() == JsonKind::array && !v->elements().empty()) next = &v->elements()[0];
      v->object().for_each([&](std::string_view, const JsonValue& member) { next = &member; });
      v = next;
    }
    return depth;
  };
  for (const std::string& text :
       {nested_arrays(127), nested_objects(127), nested_mixed(127), nested_mixed(126)}) {
    SCOPED_TRACE(text.substr(0, 12));
    ParseResult result = parse_json(text);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(depth_of(result.document().root()), text == nested_mixed(126) ? 126 : 127);
  }
}

struct NumberCase {
  std::string literal;
  JsonNumber expected;
};

TEST(ParseJson, NumberKindsAndValues) {
  using N = JsonNumber;
  const NumberCase cases[] = {
      {"0", N::make_unsigned(0)},
      {"7", N::make_unsigned(7)},
      {"18446744073709551615", N::make_unsigned(18446744073709551615u)},
      {"-1", N::make_negative(-1)},
      {"-9223372036854775808", N::make_negative(std::numeric_limits<std::int64_t>::min())},
      {"-9223372036854775809", N::make_floating(-9223372036854775808.0)},
      {"-18446744073709551615", N::make_floating(-18446744073709551616.0)},
      {"-0", N::make_floating(-0.0)},
      {"-0.0", N::make_floating(-0.0)},
      {"0.0", N::make_floating(0.0)},
      {"1.0", N::make_floating(1.0)},
      {"1e0", N::make_floating(1.0)},
      {"1E+0", N::make_floating(1.0)},
      {"0.1", N::make_floating(0.1)},
      {"1e2", N::make_floating(100.0)},
      {"1e-2", N::make_floating(0.01)},
      {"1.05", N::make_floating(1.05)},
      {"1e007", N::make_floating(1e7)},
      {"-2.5e-3", N::make_floating(-0.0025)},
      {"18446744073709551616", N::make_floating(18446744073709551616.0)},
      {"-18446744073709551616", N::make_floating(-18446744073709551616.0)},
      {"1e308", N::make_floating(1e308)},
      {"1.7976931348623157e308", N::make_floating(std::numeric_limits<double>::max())},
      {"1e-400", N::make_floating(0.0)},
      {"-1e-400", N::make_floating(-0.0)},
      {"0e999999", N::make_floating(0.0)},
      {"-0e999999", N::make_floating(-0.0)},
      {"1e-99999999999", N::make_floating(0.0)},
      {"-1e-99999999999", N::make_floating(-0.0)},
      {"0e99999999999", N::make_floating(0.0)},
      // The conversion is deliberately not correctly rounded.
      {"9007199254740993.0", N::make_floating(9007199254740994.0)},
      {"2.4703282292062328e-324", N::make_floating(0.0)},
      {"4.9406564584124654e-324", N::make_floating(std::numeric_limits<double>::denorm_min())},
      // Below -308 the value is divided by 1e308 first, then by the rest.
      {"1e-310", N::make_floating(1e-2 / 1e308)},
      {"123456789e-320", N::make_floating(123456789.0 / 1e308 / 1e12)},
      // Exponent digits: 2147483647 fits, one more does not.
      {"0e2147483648", N::make_floating(0.0)},
      {"1e-2147483647", N::make_floating(0.0)},
      {"1e-2147483648", N::make_floating(0.0)},
      // Saturation of the decimal exponent at the bottom of the 32-bit range.
      {std::string("0.") + std::string(20, '0') + "1e-2147483647", N::make_floating(0.0)},
      // Skipped integer digits raise the exponent; trailing fraction digits
      // are taken only while they fit, even after that.
      {"184467440737095516160", N::make_floating(184467440737095516160.0)},
      {"18446744073709551616.5", N::make_floating(18446744073709551616.0)},
      {"18446744073709551616.6", N::make_floating(1.8446744073709552e19)},
      // After a skipped integer digit every later one is skipped, even a 0
      // that would fit; a fraction digit that fits is still taken.
      {"18446744073709551616" + std::string(23, '0'), N::make_floating(1.8446744073709553e42)},
      {"18446744073709551616" + std::string(23, '0') + ".0",
       N::make_floating(1.844674407370955e42)},
      // After a fraction digit that does not fit, the rest are dropped.
      {"1844674407370955161.65e24", N::make_floating(1.8446744073709553e42)},
      {std::string("1") + std::string(400, '0') + "e-400", N::make_floating(1.0)},
      {std::string("0.") + std::string(400, '0') + "1e401", N::make_floating(1.0)},
      {std::string(30, '9') + "e-30", N::make_floating(1.0)},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.literal);
    ParseResult result = parse_json(c.literal);
    ASSERT_TRUE(result.ok()) << static_cast<int>(result.error().code);
    const JsonNumber got = result.document().root().number();
    EXPECT_EQ(got.kind(), c.expected.kind());
    EXPECT_EQ(got.bits(), c.expected.bits())
        << got.floating_value() << " != " << c.expected.floating_value();
  }
}

TEST(ParseJson, IntegersAndFractionsOfEveryLengthAreExact) {
  // Digits are taken several at a time; every run length and every byte that
  // can end a run must give the same value as digit by digit.
  std::mt19937_64 random(11);
  for (int length = 1; length <= 20; ++length) {
    for (int trial = 0; trial < 50; ++trial) {
      std::uint64_t value = random() % 9 + 1;
      for (int i = 1; i < length; ++i) {
        const std::uint64_t digit = random() % 10;
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) break;
        value = value * 10 + digit;
      }
      const std::string digits = std::to_string(value);
      for (const std::string_view end : {"", "]", ",0]", " ]", "\n]", "e0]", ".5]"}) {
        const std::string text = (end.empty() ? "" : "[") + digits + std::string(end);
        SCOPED_TRACE(text);
        ParseResult result = parse_json(text);
        ASSERT_TRUE(result.ok());
        const JsonValue& root = result.document().root();
        const JsonNumber number =
            root.kind() == JsonKind::array ? root.elements()[0].number() : root.number();
        if (end.starts_with("e") || end.starts_with(".")) {
          // Exact where the significand stays below 2^53.
          EXPECT_EQ(number.kind(), JsonNumber::Kind::floating);
          if (length <= 14) {
            EXPECT_EQ(number.floating_value(), std::strtod(text.c_str() + 1, nullptr));
          }
        } else {
          EXPECT_EQ(number, JsonNumber::make_unsigned(value));
        }
      }
      // The same digits as a fraction: 0.<digits> read exactly where short.
      if (length <= 15) {
        const std::string fraction = "0." + digits;
        ParseResult result = parse_json(fraction);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.document().root().number().floating_value(),
                  static_cast<double>(value) / std::pow(10.0, static_cast<int>(digits.size())))
            << fraction;
      }
    }
  }
}

TEST(ParseJson, NumberGrammarAndRange) {
  expect_decisions({
      {"+1", Code::unexpected_byte},
      {"01", Code::bad_number},
      {"-01", Code::bad_number},
      {"00", Code::bad_number},
      {".5", Code::unexpected_byte},
      {"1.", Code::unexpected_end},
      {"[1.]", Code::bad_number},
      {"1.e5", Code::bad_number},
      {"1e", Code::unexpected_end},
      {"1e+", Code::unexpected_end},
      {"[1e+]", Code::bad_number},
      {"-", Code::unexpected_end},
      {"--1", Code::bad_number},
      {"-a", Code::bad_number},
      {"NaN", Code::unexpected_byte},
      {"Infinity", Code::unexpected_byte},
      {"-Infinity", Code::bad_number},
      {"0x1F", Code::bytes_after_document},
      {"[0x1F]", Code::unexpected_byte},
      {"1e309", Code::number_out_of_range},
      {"-1e309", Code::number_out_of_range},
      {"1.8e308", Code::number_out_of_range},
      {"1e99999999999", Code::number_out_of_range},
      {"1e2147483648", Code::number_out_of_range},
      {"0.0000000001e2147483648", Code::number_out_of_range},
      // The decimal exponent saturates: this is +infinity's side, refused.
      {std::string("1") + std::string(400, '0') + "e2147483647", Code::number_out_of_range},
      {"1e2147483647", Code::number_out_of_range},
      {"[-1e5,2]", std::nullopt},
      {"[0,-0]", std::nullopt},
      {"1E5", std::nullopt},
  });
}

TEST(ParseJson, FloatingConversionMatchesCorrectRoundingWhereItIsExact) {
  // With a significand below 2^53 and a power of ten within +-22, both
  // operands are exact and the one rounding of the division or product is the
  // correct one, so strtod must agree bit for bit.
  std::mt19937_64 random(20240229);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t significand = random() % (std::uint64_t{1} << 53);
    const int exponent = static_cast<int>(random() % 45) - 22;
    const std::string literal = std::to_string(significand) + "e" + std::to_string(exponent);
    SCOPED_TRACE(literal);
    ParseResult result = parse_json(literal);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.document().root().number().floating_value(),
              std::strtod(literal.c_str(), nullptr));
  }
}

TEST(ParseJson, FloatingConversionStaysWithinAFewUnitsInTheLastPlace) {
  std::mt19937_64 random(7);
  int inexact = 0;
  for (int i = 0; i < 20000; ++i) {
    double value;
    do {
      value = std::bit_cast<double>(random());
    } while (!std::isfinite(value));
    char text[40];
    std::snprintf(text, sizeof text, "%.16e", value);
    SCOPED_TRACE(text);
    ParseResult result = parse_json(text);
    ASSERT_TRUE(result.ok());
    const double got = result.document().root().number().floating_value();
    if (got == value) continue;
    ++inexact;
    // In units of the spacing below the value (the smaller one at a power of
    // two); subnormals have a fixed spacing, so they can lose a few of them.
    const double below = std::abs(value - std::nextafter(value, 0.0));
    const double tolerance = 2 * below;
    EXPECT_LE(std::abs(got - value), tolerance) << got;
  }
  // By design about a quarter comes back as a neighbour; far more means a bug.
  EXPECT_LT(inexact, 20000 / 2);
}

struct StringCase {
  std::string literal;
  std::string content;
};

TEST(ParseJson, StringEscapesAndSurrogatePairs) {
  const StringCase cases[] = {
      {R"("")", ""},
      {R"("abc")", "abc"},
      {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
      {R"("\u00e9")", "\xC3\xA9"},
      {R"("\u00E9\u00e9")", "\xC3\xA9\xC3\xA9"},
      {R"("\u0041\u07ff\u0800\uffff")", "A\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
      {R"("\uD800\uDC00\uDBFF\uDFFF")", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {R"("\u0000")", std::string(1, '\0')},
      {R"("a\u0000b")", std::string("a\0b", 3)},
      {"\"\xC3\xA9\x7F\"", "\xC3\xA9\x7F"},
      {"\"\xF4\x8F\xBF\xBF\xE0\xA0\x80\xED\x9F\xBF\"", "\xF4\x8F\xBF\xBF\xE0\xA0\x80\xED\x9F\xBF"},
      // Longer than one 8-byte step, with the special bytes at every offset.
      {R"("0123456789abcdef\n0123456\"")", "0123456789abcdef\n0123456\""},
      {"\"abcdefg\xC3\xA9hijklmnopq\\t\"", "abcdefg\xC3\xA9hijklmnopq\t"},
  };
  for (const StringCase& c : cases) {
    SCOPED_TRACE(c.literal);
    ParseResult result = parse_json(c.literal);
    ASSERT_TRUE(result.ok()) << static_cast<int>(result.error().code);
    ASSERT_EQ(result.document().root().kind(), JsonKind::string);
    EXPECT_EQ(result.document().root().string_text(), c.content);
  }
}

TEST(ParseJson, StringRefusals) {
  expect_decisions({
      {"\"a\tb\"", Code::control_byte_in_string},
      {"\"a\nb\"", Code::control_byte_in_string},
      {std::string("\"a\0b\"", 5), Code::control_byte_in_string},
      {"\"\x1F\"", Code::control_byte_in_string},
      {R"("\x41")", Code::bad_escape},
      {R"("\U0041")", Code::bad_escape},
      {R"("\u00G0")", Code::bad_escape},
      {R"("\u12")", Code::bad_escape},
      {R"("\u12)", Code::unexpected_end},
      {R"("\)", Code::unexpected_end},
      {R"("\ude00")", Code::bad_surrogate},
      {R"("\ud83d")", Code::bad_surrogate},
      {R"("\ud83dx")", Code::bad_surrogate},
      {R"("\ud83d\n")", Code::bad_surrogate},
      {R"("\ud83d\u0041")", Code::bad_surrogate},
      {R"("\ud83d\ud83d")", Code::bad_surrogate},
      {R"("\ud83d\u)", Code::unexpected_end},
      {"\"abc", Code::unexpected_end},
      {"\"abcdefghijklmnop", Code::unexpected_end},
      {"\"\xE9\"", Code::invalid_utf8},
      {"\"\xC0\x80\"", Code::invalid_utf8},
      {"\"\xC1\xBF\"", Code::invalid_utf8},
      {"\"\xE0\x9F\xBF\"", Code::invalid_utf8},
      {"\"\xED\xA0\x80\"", Code::invalid_utf8},
      {"\"\xED\xBF\xBF\"", Code::invalid_utf8},
      {"\"\xF0\x8F\xBF\xBF\"", Code::invalid_utf8},
      {"\"\xF4\x90\x80\x80\"", Code::invalid_utf8},
      {"\"\xF5\x80\x80\x80\"", Code::invalid_utf8},
      {"\"\xFF\"", Code::invalid_utf8},
      {"\"\x80\"", Code::invalid_utf8},
      {"\"\xC3\"", Code::invalid_utf8},
      {"\"\xE2\x82\"", Code::invalid_utf8},
      {"\"\xC3\\u00a9\"", Code::invalid_utf8},
      {"\"\xC3", Code::unexpected_end},
      {"\"abcdefgh\xF0\x9F\x98", Code::unexpected_end},
  });
}

TEST(ParseJson, RepeatedKeysKeepTheLastValueAndMembersAreSorted) {
  ParseResult result = parse_json(R"({"b":1,"a":2,"a":{"x":[]},"\u0061":3,"A":4,"":5})");
  ASSERT_TRUE(result.ok());
  const JsonValue& root = result.document().root();
  EXPECT_EQ(root.object().size(), 4u);
  std::vector<std::string> keys;
  root.object().for_each([&](std::string_view key, const JsonValue&) { keys.emplace_back(key); });
  EXPECT_EQ(keys, (std::vector<std::string>{"", "A", "a", "b"}));
  ASSERT_NE(root.find_member("a"), nullptr);
  EXPECT_EQ(root.find_member("a")->number(), JsonNumber::make_unsigned(3));

  // Elements keep their input order; nested containers are built apart.
  ParseResult nested = parse_json(R"([3,{"k":[1,2],"j":null},[true,[]],"s"])");
  ASSERT_TRUE(nested.ok());
  const auto elements = nested.document().root().elements();
  ASSERT_EQ(elements.size(), 4u);
  EXPECT_EQ(elements[0].number(), JsonNumber::make_unsigned(3));
  EXPECT_EQ(elements[1].find_member("k")->elements().size(), 2u);
  EXPECT_EQ(elements[1].find_member("k")->elements()[1].number(), JsonNumber::make_unsigned(2));
  EXPECT_TRUE(elements[1].find_member("j")->is_null());
  EXPECT_EQ(elements[2].elements().size(), 2u);
  EXPECT_TRUE(elements[2].elements()[0].boolean());
  EXPECT_EQ(elements[3].string_text(), "s");
}

TEST(ParseJson, ObjectsEqualMembersSetOneByOneInInputOrder) {
  // Objects are built whole at their close; small and large ones, sorted and
  // shuffled input, many repeated keys: the result must be the object that
  // setting each member in input order gives, and stay a valid tree for
  // later setting.
  std::mt19937_64 random(5);
  for (const int size : {1, 2, 3, 7, 31, 32, 33, 100, 1000}) {
    for (const bool sorted : {false, true}) {
      SCOPED_TRACE(testing::Message() << size << (sorted ? " sorted" : " shuffled"));
      std::vector<std::string> keys;
      for (int i = 0; i < size; ++i) {
        keys.push_back(std::to_string(random() % static_cast<std::uint64_t>(size)));
      }
      if (sorted) std::sort(keys.begin(), keys.end());
      JsonDocument expected;
      expected.root() = JsonValue::make_object();
      std::string text = "{";
      for (int i = 0; i < size; ++i) {
        text +=
            (i == 0 ? "\"" : ",\"") + keys[static_cast<std::size_t>(i)] + "\":" + std::to_string(i);
        expected.root().set_member(
            expected.arena(), keys[static_cast<std::size_t>(i)],
            JsonValue::make_number(JsonNumber::make_unsigned(static_cast<std::uint64_t>(i))));
      }
      ParseResult result = parse_json(text + "}");
      ASSERT_TRUE(result.ok());
      JsonDocument& read = result.document();
      EXPECT_EQ(read.root(), expected.root());
      for (const std::string_view key : {"0", "new", "", "~"}) {
        read.root().set_member(read.arena(), key, JsonValue::make_boolean(true));
        expected.root().set_member(expected.arena(), key, JsonValue::make_boolean(true));
      }
      EXPECT_EQ(read.root(), expected.root());
      EXPECT_EQ(read.deep_copy().root(), expected.root());
    }
  }
}

TEST(ParseJson, RawTextKeyReplacesTheObjectWithTheDocumentItHolds) {
  const std::string key = quoted(raw_json_key);
  ParseResult result = parse_json(raw_text_object(R"({"session_id":"abc"})"));
  ASSERT_TRUE(result.ok());
  ParseResult plain = parse_json(R"({"session_id":"abc"})");
  EXPECT_EQ(result.document().root(), plain.document().root());

  // At any depth, with any kind of value, and with whitespace around it.
  ParseResult deep = parse_json(R"([1,{"x":)" + raw_text_object(" [2, \"\\u00e9\"] ") + "}]");
  ASSERT_TRUE(deep.ok());
  ParseResult deep_plain = parse_json("[1,{\"x\":[2,\"\xC3\xA9\"]}]");
  EXPECT_EQ(deep.document().root(), deep_plain.document().root());

  // A raw text inside a raw text.
  ParseResult chained = parse_json(raw_text_object(raw_text_object("[7]")));
  ASSERT_TRUE(chained.ok());
  EXPECT_EQ(chained.document().root().elements()[0].number(), JsonNumber::make_unsigned(7));

  // Not the first member: an ordinary key.
  ParseResult second = parse_json(R"({"a":1,)" + key + R"(:5})");
  ASSERT_TRUE(second.ok());
  ASSERT_NE(second.document().root().find_member(raw_json_key), nullptr);
  EXPECT_EQ(second.document().root().object().size(), 2u);

  // The key written with escapes is still the key.
  ParseResult escaped_key = parse_json(R"({"\u0024obrelix::statusline::raw_json":"null"})");
  ASSERT_TRUE(escaped_key.ok());
  EXPECT_TRUE(escaped_key.document().root().is_null());

  // A key that only starts like it is ordinary.
  ParseResult longer = parse_json(R"({"$obrelix::statusline::raw_jsonx":"null"})");
  ASSERT_TRUE(longer.ok());
  EXPECT_EQ(longer.document().root().kind(), JsonKind::object);
}

TEST(ParseJson, RawTextKeyRefusals) {
  const std::string key = quoted(raw_json_key);
  expect_decisions({
      {"{" + key + ":5}", Code::unexpected_byte},
      {"{" + key + ":null}", Code::unexpected_byte},
      {"{" + key + ":{}}", Code::unexpected_byte},
      {"{" + key + ":\"1\",\"a\":2}", Code::unexpected_byte},
      {"{" + key + ":\"1\",}", Code::unexpected_byte},
      {"{" + key + ":\"1\"", Code::unexpected_end},
      {"{" + key + ":", Code::unexpected_end},
      // The inner document follows every rule on its own.
      {raw_text_object(""), Code::unexpected_end},
      {raw_text_object("1 2"), Code::bytes_after_document},
      {raw_text_object("[1,]"), Code::trailing_comma},
      {raw_text_object("\"\\ud800\""), Code::bad_surrogate},
      {raw_text_object("{\"a\":1"), Code::unexpected_end},
      {raw_text_object("1e400"), Code::number_out_of_range},
      {raw_text_object(nested_arrays(128)), Code::nesting_too_deep},
  });
}

TEST(ParseJson, RawTextDocumentsGetAFreshNestingAllowance) {
  // 126 open outside, then an inner document of 127: 253 levels in all.
  const std::string inside = nested_arrays(127);
  const std::string text = repeat("[", 126) + raw_text_object(inside) + repeat("]", 126);
  ParseResult result = parse_json(text);
  ASSERT_TRUE(result.ok());
  int depth = 0;
  for (const JsonValue* v = &result.document().root(); v->kind() == JsonKind::array; ++depth) {
    if (v->elements().empty()) {
      ++depth;
      break;
    }
    v = &v->elements()[0];
  }
  EXPECT_EQ(depth, 126 + 127);
  // The object holding the raw text counts as the 127th outer level.
  expect_decisions(
      {{repeat("[", 127) + raw_text_object("1") + repeat("]", 127), Code::nesting_too_deep}});
}

// The deepest value an input of at most `limit` bytes can give: raw-text
// documents chained inside each other, each under 126 open arrays, the
// innermost 127 arrays deep. Each level doubles the escaping of the next.
std::string deepest_raw_text_chain(std::size_t limit, int& depth) {
  std::string text = nested_arrays(127);
  depth = 127;
  for (;;) {
    std::string outer = repeat("[", 126) + raw_text_object(text) + repeat("]", 126);
    if (outer.size() > limit) return text;
    text = std::move(outer);
    depth += 126;
  }
}

int array_depth(const JsonValue& root) {
  int depth = 0;
  for (const JsonValue* v = &root; v != nullptr && v->kind() == JsonKind::array; ++depth) {
    v = v->elements().empty() ? nullptr : &v->elements()[0];
  }
  return depth;
}

TEST(ParseJson, DeepestRawTextChainWithinTheInputCapIsReadAndCopied) {
  int depth = 0;
  const std::string text = deepest_raw_text_chain(std::size_t{1} << 20, depth);
  EXPECT_GT(depth, 2000);
  ParseResult result = parse_json(text);
  ASSERT_TRUE(result.ok()) << static_cast<int>(result.error().code);
  EXPECT_EQ(array_depth(result.document().root()), depth);
  const JsonDocument copy = result.document().deep_copy();
  EXPECT_EQ(array_depth(copy.root()), depth);
  EXPECT_EQ(copy.root(), result.document().root());
}

TEST(ParseJson, RefusalOffsetsPointAtTheOffendingByte) {
  const struct {
    std::string input;
    std::size_t offset;
  } cases[] = {
      {"[1,2,x]", 5}, {"{\"a\":1,}", 7}, {"\"ab\\qc\"", 3}, {"[1] 2", 4}, {"\"a\x01\"", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    ParseResult result = parse_json(c.input);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().offset, c.offset);
  }
}

}  // namespace
}  // namespace obrelix::json
