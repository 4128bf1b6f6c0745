#include "json/writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace obrelix::json {
namespace {

std::string serialized(const JsonValue& value) {
  ByteBuffer out(128);
  serialize_compact(value, out);
  return std::string(out.view());
}

std::string floating_text(double value) {
  std::array<char, 24> area;
  const std::size_t length = format_floating(value, area);
  return std::string(area.data(), length);
}

// The text of `number`, which must come out the same whether the buffer has
// ample room, no room, or exactly the room the text needs (and then not grow).
std::string number_text(JsonNumber number) {
  ByteBuffer empty;
  write_json_number(number, empty);
  ByteBuffer roomy(64);
  write_json_number(number, roomy);
  ByteBuffer exact(empty.size());
  write_json_number(number, exact);
  EXPECT_EQ(roomy.view(), empty.view());
  EXPECT_EQ(exact.view(), empty.view());
  EXPECT_EQ(exact.capacity(), empty.size());
  return std::string(empty.view());
}

JsonValue number(JsonNumber n) {
  return JsonValue::make_number(n);
}

TEST(Writer, WorkedSnapshotExampleByteForByte) {
  JsonDocument document;
  Arena& arena = document.arena();
  JsonValue& root = document.root();
  root = JsonValue::make_object();
  auto set = [&](std::string_view key, JsonValue value) {
    (void)root.set_member(arena, key, std::move(value));
  };
  // Set in an order unrelated to the key order.
  set("u", number(JsonNumber::make_unsigned(18446744073709551615u)));
  set("session_id", JsonValue::make_string(arena, "s1"));
  set("\xC3\xA9", JsonValue::make_null());
  set("b", [&] {
    JsonValue array = JsonValue::make_array();
    array.append(arena, number(JsonNumber::make_unsigned(1)));
    array.append(arena, number(JsonNumber::make_floating(2.5)));
    array.append(arena, number(JsonNumber::make_negative(-3)));
    return array;
  }());
  set("timestamp", JsonValue::make_string(arena, "2024-01-02T03:04:05Z"));
  set("a", JsonValue::make_string(arena, "a\ty"));
  set("m", number(JsonNumber::make_floating(-0.0)));
  set("Z", JsonValue::make_boolean(true));
  set("n", number(JsonNumber::make_floating(100.0)));
  set("list", JsonValue::make_array());
  set("e", number(JsonNumber::make_floating(1.5e-7)));
  set("big", number(JsonNumber::make_floating(1e16)));
  set("q", JsonValue::make_string(arena, "say \"hi\"\\"));
  set("c", JsonValue::make_string(arena, "\x01/"));
  set("empty", JsonValue::make_object());
  set("i", number(JsonNumber::make_negative(std::numeric_limits<std::int64_t>::min())));
  set("f", number(JsonNumber::make_floating(0.00001234)));

  ByteBuffer out(128);
  serialize_compact(document.root(), out);
  const std::string expected =
      R"({"Z":true,"a":"a\ty","b":[1,2.5,-3],"big":1e+16,"c":"\u0001/","e":1.5e-7,)"
      R"("empty":{},"f":0.00001234,"i":-9223372036854775808,"list":[],"m":-0.0,"n":100.0,)"
      R"("q":"say \"hi\"\\","session_id":"s1","timestamp":"2024-01-02T03:04:05Z",)"
      R"("u":18446744073709551615,")"
      "\xC3\xA9"
      R"(":null})";
  EXPECT_EQ(out.view(), expected);
  EXPECT_EQ(out.size(), 260u);
  // 128 doubles to 256 and then to 512: each piece is small, so never more.
  EXPECT_EQ(out.capacity(), 512u);
}

TEST(Writer, ContainersAndKeyOrder) {
  Arena arena;
  JsonValue nested = JsonValue::make_array();
  nested.append(arena, JsonValue::make_array());
  nested.append(arena, JsonValue::make_object());
  JsonValue holder = JsonValue::make_object();
  (void)holder.set_member(arena, "a", JsonValue::make_array());
  nested.append(arena, std::move(holder));

  JsonValue ordered = JsonValue::make_object();
  const std::string_view keys[] = {"b", "a", "B", "", "aa", "\xC3\xA9", "z"};
  std::uint64_t next = 1;
  for (std::string_view key : keys) {
    (void)ordered.set_member(arena, key, number(JsonNumber::make_unsigned(next++)));
  }

  JsonValue escaped_keys = JsonValue::make_object();
  (void)escaped_keys.set_member(arena, "a\"b", JsonValue::make_null());
  (void)escaped_keys.set_member(arena, "\\\n", JsonValue::make_boolean(false));

  const struct {
    const JsonValue& value;
    std::string_view text;
  } cases[] = {
      {JsonValue::make_object(), "{}"},
      {JsonValue::make_array(), "[]"},
      {nested, R"([[],{},{"a":[]}])"},
      {ordered, "{\"\":4,\"B\":3,\"a\":2,\"aa\":5,\"b\":1,\"z\":7,\"\xC3\xA9\":6}"},
      // Keys take the same escapes as string values.
      {escaped_keys, R"({"\\\n":false,"a\"b":null})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(serialized(c.value), c.text);
  }

  // The writer appends after what the buffer already holds.
  ByteBuffer out;
  out.append("x", 1);
  serialize_compact(nested, out);
  EXPECT_EQ(out.view(), R"(x[[],{},{"a":[]}])");
}

TEST(Writer, SurvivesVeryDeepNesting) {
  constexpr int depth = 5000;
  for (const bool objects : {false, true}) {
    SCOPED_TRACE(objects ? "objects" : "arrays");
    JsonDocument document;
    JsonValue value = objects ? JsonValue::make_object() : JsonValue::make_array();
    for (int level = 1; level < depth; ++level) {
      JsonValue outer = objects ? JsonValue::make_object() : JsonValue::make_array();
      if (objects) {
        (void)outer.set_member(document.arena(), "k", std::move(value));
      } else {
        outer.append(document.arena(), std::move(value));
      }
      value = std::move(outer);
    }
    std::string expected;
    for (int level = 1; level < depth; ++level) expected += objects ? "{\"k\":" : "[";
    expected += objects ? "{}" : "[]";
    expected.append(depth - 1, objects ? '}' : ']');
    EXPECT_EQ(serialized(value), expected);
  }
}

TEST(Writer, ControlBytesUseTheFixedEscapes) {
  std::string controls;
  for (int byte = 0; byte < 0x20; ++byte) controls.push_back(static_cast<char>(byte));
  const std::string expected =
      R"("\u0000\u0001\u0002\u0003\u0004\u0005\u0006\u0007\b\t\n\u000b\f\r\u000e\u000f)"
      R"(\u0010\u0011\u0012\u0013\u0014\u0015\u0016\u0017\u0018\u0019\u001a\u001b\u001c)"
      R"(\u001d\u001e\u001f")";
  ByteBuffer out;
  write_json_string(controls, out);
  EXPECT_EQ(out.view(), expected);
  EXPECT_EQ(out.size(), 174u);

  const struct {
    std::string_view text;
    std::string_view written;
  } cases[] = {
      // Solidus, DEL and multi-byte characters (U+2028 and U+2029 too) stay raw.
      {"/\x7F\xC3\xA9", "\"/\x7F\xC3\xA9\""},
      {"\xE2\x80\xA8\xE2\x80\xA9\xF0\x9F\x98\x80", "\"\xE2\x80\xA8\xE2\x80\xA9\xF0\x9F\x98\x80\""},
      {"", R"("")"},
      {R"(say "hi"\)", R"("say \"hi\"\\")"},
      {std::string_view("a\0b", 3), R"("a\u0000b")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    ByteBuffer text_out;
    write_json_string(c.text, text_out);
    EXPECT_EQ(text_out.view(), c.written);
  }
}

// The pieces a string is appended in, one byte at a time from the byte
// table: the quote, each run of plain bytes, each escape, the quote.
std::vector<std::string> pieces_slowly(std::string_view text) {
  std::vector<std::string> pieces{"\""};
  std::string run;
  auto escape = [&](std::string written) {
    if (!run.empty()) pieces.push_back(std::exchange(run, {}));
    pieces.push_back(std::move(written));
  };
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    switch (byte) {
      case '"':
        escape("\\\"");
        break;
      case '\\':
        escape("\\\\");
        break;
      case 0x08:
        escape("\\b");
        break;
      case 0x09:
        escape("\\t");
        break;
      case 0x0A:
        escape("\\n");
        break;
      case 0x0C:
        escape("\\f");
        break;
      case 0x0D:
        escape("\\r");
        break;
      default:
        if (byte < 0x20) {
          char written[7];
          std::snprintf(written, sizeof written, "\\u%04x", byte);
          escape(written);
        } else {
          run += ch;
        }
    }
  }
  if (!run.empty()) pieces.push_back(run);
  pieces.emplace_back("\"");
  return pieces;
}

TEST(Writer, EscapesAndGrowthMatchPieceByPieceAppends) {
  // Plain runs are scanned several bytes at a time and copied straight into
  // free room; put the bytes that need escapes, and bytes just beside them in
  // value, at every offset, and start from every kind of free room.
  const std::string_view specials[] = {"a",    "\"",   "\\",       "\x1F",
                                       "\x20", "\x21", "\x5B",     "\x5D",
                                       "\x7F", "\x80", "\xC3\xA9", std::string_view("\0", 1),
                                       "\n",   "~"};
  std::mt19937_64 random(20240102);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const auto length = random() % 48;
    for (std::uint64_t i = 0; i < length; ++i) {
      // Mostly plain bytes, so long runs occur too.
      text.append(random() % 4 != 0 ? std::string_view("x")
                                    : specials[random() % std::size(specials)]);
    }
    const std::size_t capacity = round % 5 == 0 ? 0 : random() % 640;
    const std::size_t prefix = capacity == 0 ? 0 : random() % (capacity + 1);
    ByteBuffer out(capacity);
    out.append(std::string(prefix, '.'));

    // The text alone, as key and value of an object's only member, or as an
    // array's only element.
    const int use = round % 3;
    const std::vector<std::string> string_pieces = pieces_slowly(text);
    std::vector<std::string> pieces;
    if (use == 1) pieces = {"{"};
    if (use == 2) pieces = {"["};
    pieces.insert(pieces.end(), string_pieces.begin(), string_pieces.end());
    if (use == 1) {
      pieces.emplace_back(":");
      pieces.insert(pieces.end(), string_pieces.begin(), string_pieces.end());
      pieces.emplace_back("}");
    }
    if (use == 2) pieces.emplace_back("]");
    std::string expected(prefix, '.');
    std::size_t expected_capacity = capacity;
    for (const std::string& piece : pieces) {
      if (expected_capacity - expected.size() < piece.size()) {
        expected_capacity =
            std::max({expected.size() + piece.size(), 2 * expected_capacity, std::size_t{8}});
      }
      expected += piece;
    }

    Arena arena;
    if (use == 0) {
      write_json_string(text, out);
    } else if (use == 1) {
      JsonValue object = JsonValue::make_object();
      (void)object.set_member(arena, text, JsonValue::make_string(arena, text));
      serialize_compact(object, out);
    } else {
      JsonValue array = JsonValue::make_array();
      array.append(arena, JsonValue::make_string(arena, text));
      serialize_compact(array, out);
    }
    ASSERT_EQ(out.view(), expected) << "round " << round;
    ASSERT_EQ(out.capacity(), expected_capacity) << "round " << round;
  }
}

// A buffer lent a room grows inside it while its capacity fits and then
// moves to storage of its own with its content; its capacities are the same
// as without a room.
TEST(ByteBufferRoom, GrowsInPlaceThenMovesOutWhole) {
  for (const std::size_t room_size : {0u, 100u, 128u, 1000u, 4096u, 70000u}) {
    SCOPED_TRACE(room_size);
    std::vector<std::byte> room(room_size);
    ByteBuffer lent(room, 128);
    ByteBuffer own(128);
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
      const std::string piece = std::to_string(i * 7) + ",";
      lent.append(piece);
      own.append(piece);
      expected += piece;
      ASSERT_EQ(lent.capacity(), own.capacity());
      const bool inside = !room.empty() && lent.data() == reinterpret_cast<char*>(room.data());
      ASSERT_EQ(inside, room_size >= lent.capacity());
    }
    EXPECT_EQ(lent.view(), expected);
    ByteBuffer moved = std::move(lent);
    EXPECT_EQ(moved.view(), expected);
  }
}

TEST(Writer, IntegerTexts) {
  const struct {
    JsonNumber number;
    std::string_view text;
  } cases[] = {
      {JsonNumber::make_unsigned(0), "0"},
      {JsonNumber::make_unsigned(7), "7"},
      {JsonNumber::make_unsigned(10), "10"},
      {JsonNumber::make_unsigned(100), "100"},
      {JsonNumber::make_unsigned(12345), "12345"},
      {JsonNumber::make_unsigned(10000000000000000000u), "10000000000000000000"},
      {JsonNumber::make_unsigned(18446744073709551615u), "18446744073709551615"},
      {JsonNumber::make_negative(-1), "-1"},
      {JsonNumber::make_negative(-10), "-10"},
      {JsonNumber::make_negative(-9223372036854775807), "-9223372036854775807"},
      {JsonNumber::make_negative(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(number_text(c.number), c.text);
  }

  // Every digit count, at both ends.
  for (std::uint64_t power = 10; power <= 10000000000000000000u / 10 * 10; power *= 10) {
    for (const std::uint64_t value : {power - 1, power}) {
      EXPECT_EQ(number_text(JsonNumber::make_unsigned(value)), std::to_string(value));
      const auto negative = -static_cast<std::int64_t>(value / 2 + 1);
      EXPECT_EQ(number_text(JsonNumber::make_negative(negative)), std::to_string(negative));
    }
    if (power > 18446744073709551615u / 10) break;
  }

  std::array<char, 20> area;
  EXPECT_EQ(format_integer(18446744073709551615u, area), 0u);
  EXPECT_EQ(std::string_view(area.data(), area.size()), "18446744073709551615");
  EXPECT_EQ(format_integer(42, area), 18u);
  EXPECT_EQ(std::string_view(area.data() + 18, 2), "42");
}

TEST(Writer, FloatingTexts) {
  const double min_subnormal = std::numeric_limits<double>::denorm_min();
  const struct {
    double value;
    std::string_view text;
  } cases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {1.0, "1.0"},
      {0.5, "0.5"},
      {-2.5, "-2.5"},
      {30.0, "30.0"},
      {100.0, "100.0"},
      {65536.0, "65536.0"},
      {123.456, "123.456"},
      {0.1 + 0.2, "0.30000000000000004"},
      {3.141592653589793, "3.141592653589793"},
      {9007199254740992.0, "9007199254740992.0"},
      {1e15, "1000000000000000.0"},
      {1000000000000000.5, "1000000000000000.5"},
      {1234567890123456.8, "1234567890123456.8"},
      {1e16, "1e+16"},
      {1.2345678901234568e17, "1.2345678901234568e+17"},
      {1.2e21, "1.2e+21"},
      {1e21, "1e+21"},
      {1e22, "1e+22"},
      {1e100, "1e+100"},
      // 1e23 lies exactly halfway between two doubles and reads back as the even one.
      {1e23, "1e+23"},
      {std::nextafter(1e23, 1e300), "1.0000000000000001e+23"},
      {1e-5, "0.00001"},
      {0.00003, "0.00003"},
      {0.00001234, "0.00001234"},
      {1e-6, "1e-6"},
      {1.5e-7, "1.5e-7"},
      {1e-10, "1e-10"},
      {1.0 + std::ldexp(1.0, -17), "1.0000076293945312"},
      {min_subnormal, "5e-324"},
      {3 * min_subnormal, "1.5e-323"},
      {std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {-1.2345678901234567e-5, "-0.000012345678901234568"},
      {-1.2345678901234567e-308, "-1.2345678901234567e-308"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(floating_text(c.value), c.text);
    EXPECT_EQ(number_text(JsonNumber::make_floating(c.value)), c.text);
  }

  // Not finite: never held by a document, but written as null if it were.
  const std::uint64_t not_finite[] = {0x7FF0000000000000, 0xFFF0000000000000, 0x7FF8000000000000,
                                      0xFFF8000000000001, 0x7FF0000000000001};
  for (const std::uint64_t bits : not_finite) {
    EXPECT_EQ(number_text(JsonNumber::make_floating(std::bit_cast<double>(bits))), "null");
  }
}

// A decimal d1.d2...dn x 10^exponent, without trailing zeros.
struct Decimal {
  std::string digits;
  int exponent;
};

Decimal normalised(std::uint64_t significand, int unit_exponent) {
  std::string digits = std::to_string(significand);
  const int exponent = unit_exponent + static_cast<int>(digits.size()) - 1;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return {digits, exponent};
}

bool reads_back_as(std::uint64_t significand, int unit_exponent, double x) {
  char text[48];
  std::snprintf(text, sizeof text, "%" PRIu64 "e%d", significand, unit_exponent);
  return std::bit_cast<std::uint64_t>(std::strtod(text, nullptr)) ==
         std::bit_cast<std::uint64_t>(x);
}

// The shortest digits by search: for each length, the correctly rounded
// decimal (printf rounds exactly, ties to even) and its neighbours, which
// matter where the interval is lopsided at a power of two.
Decimal shortest_by_search(double x) {
  for (int n = 1; n <= 17; ++n) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*e", n - 1, x);
    std::string digits;
    const char* at = text;
    for (; *at != 'e'; ++at) {
      if (*at != '.') digits.push_back(*at);
    }
    const int unit = std::atoi(at + 1) - (n - 1);
    const std::uint64_t nearest = std::stoull(digits);
    if (reads_back_as(nearest, unit, x)) return normalised(nearest, unit);
    if (reads_back_as(nearest + 1, unit, x)) return normalised(nearest + 1, unit);
    if (nearest == static_cast<std::uint64_t>(std::pow(10, n - 1)) &&
        reads_back_as(nearest * 10 - 1, unit - 1, x)) {
      return normalised(nearest * 10 - 1, unit - 1);
    }
    if (reads_back_as(nearest - 1, unit, x)) return normalised(nearest - 1, unit);
  }
  ADD_FAILURE() << "no digits read back for " << x;
  return {};
}

// The text the layout rules give for a positive value with these digits.
std::string laid_out(const Decimal& d) {
  const auto n = static_cast<int>(d.digits.size());
  const int e = d.exponent;
  std::string text;
  if (e >= 0 && e <= 15) {
    const auto integer_digits = static_cast<std::size_t>(e + 1);
    if (n <= e + 1) {
      text = d.digits;
      text.append(integer_digits - d.digits.size(), '0');
      text.append(".0");
    } else {
      text = d.digits.substr(0, integer_digits);
      text.push_back('.');
      text.append(d.digits, integer_digits);
    }
  } else if (e >= -5 && e <= -1) {
    text = "0.";
    text.append(static_cast<std::size_t>(-e - 1), '0');
    text.append(d.digits);
  } else {
    text = d.digits.substr(0, 1);
    if (n > 1) text.append(".").append(d.digits, 1);
    text.append(e < 0 ? "e-" : "e+");
    text.append(std::to_string(e < 0 ? -e : e));
  }
  return text;
}

TEST(Writer, FloatingTextIsShortestNearestAndReadsBack) {
  std::mt19937_64 random(0x5eed);
  std::vector<double> values;
  for (int i = 0; i < 12000; ++i) {
    // Random bit patterns over the whole range, and as many subnormals.
    values.push_back(std::bit_cast<double>(random() & 0x7FFFFFFFFFFFFFFF));
    values.push_back(std::bit_cast<double>(random() & 0x000FFFFFFFFFFFFF));
  }
  for (int i = 0; i < 2000; ++i) {
    // Exact ties between two 17-digit candidates: a quarter past or three
    // quarters past an integer of 16 digits; the even last digit wins.
    const std::uint64_t integer = 1000000000000000 + random() % 1000000000000000;
    values.push_back(static_cast<double>(integer) + (random() % 2 != 0 ? 0.25 : 0.75));
    values.push_back(1.0 + std::ldexp(static_cast<double>(random() % 131072), -17));
    // Small subnormals, few significant bits, powers of two.
    values.push_back(std::bit_cast<double>(random() % 4096 + 1));
    values.push_back(std::bit_cast<double>((random() % 2046 + 1) << 52 | (random() % 16)));
    values.push_back(std::ldexp(1.0, static_cast<int>(random() % 2098) - 1074));
    // Integers from 2^54 up, where the midpoint between two doubles is often a
    // shorter decimal that reads back as the even neighbour only.
    values.push_back(
        std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 4)));
  }
  for (const double value : values) {
    if (!std::isfinite(value) || value == 0) continue;
    const Decimal expected = shortest_by_search(value);
    const std::string text = floating_text(value);
    ASSERT_EQ(text, laid_out(expected)) << std::hexfloat << value;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(std::strtod(text.c_str(), nullptr)),
              std::bit_cast<std::uint64_t>(value))
        << text;
    ASSERT_EQ(floating_text(-value), "-" + text);
  }
}

}  // namespace
}  // namespace obrelix::json
