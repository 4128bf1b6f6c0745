#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "json/byte_buffer.hpp"
#include "json/reader.hpp"
#include "json/value.hpp"
#include "json/writer.hpp"
#include "round_trip_check.hpp"

namespace obrelix::json {
namespace {

// Random values of every kind, built through the value model, never through
// the reader, so the reader is checked against the writer's text alone.
class RandomValues {
 public:
  explicit RandomValues(std::uint64_t seed) : random_(seed) {}

  JsonValue value(Arena& arena, int depth) {
    switch (pick(depth < 6 ? 8 : 6)) {
      case 0:
        return JsonValue::make_null();
      case 1:
        return JsonValue::make_boolean(pick(2) == 1);
      case 2:
        return JsonValue::make_number(integer());
      case 3:
      case 4:
        return JsonValue::make_number(JsonNumber::make_floating(floating()));
      case 5:
        return JsonValue::make_string(arena, text());
      case 6: {
        JsonValue array = JsonValue::make_array();
        for (int i = 0, n = pick(6); i < n; ++i) array.append(arena, value(arena, depth + 1));
        return array;
      }
      default: {
        JsonValue object = JsonValue::make_object();
        for (int i = 0, n = pick(6); i < n; ++i) {
          // Short keys so that some repeat and are replaced.
          const std::string key =
              pick(3) == 0 ? text() : std::string(1, static_cast<char>('a' + pick(4)));
          object.set_member(arena, key, value(arena, depth + 1));
        }
        return object;
      }
    }
  }

 private:
  int pick(int count) { return static_cast<int>(random_() % static_cast<std::uint64_t>(count)); }

  JsonNumber integer() {
    const std::uint64_t bits = random_();
    switch (pick(4)) {
      case 0:
        return JsonNumber::make_unsigned(bits % 1000);
      case 1:
        return JsonNumber::make_unsigned(bits >> pick(64));
      case 2:
        return JsonNumber::make_negative(-1 - static_cast<std::int64_t>((bits >> 1) >> pick(63)));
      default: {
        const JsonNumber edges[] = {
            JsonNumber::make_unsigned(0),
            JsonNumber::make_unsigned(std::numeric_limits<std::uint64_t>::max()),
            JsonNumber::make_negative(-1),
            JsonNumber::make_negative(std::numeric_limits<std::int64_t>::min()),
        };
        return edges[pick(4)];
      }
    }
  }

  double floating() {
    switch (pick(5)) {
      case 0: {
        const double edges[] = {0.0,
                                -0.0,
                                1.0,
                                -2.5,
                                1e16,
                                1e15,
                                9007199254740992.0,
                                std::numeric_limits<double>::max(),
                                -std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::denorm_min(),
                                3 * std::numeric_limits<double>::denorm_min(),
                                0.1 + 0.2,
                                1e-5,
                                1e-6,
                                1e22,
                                1e23};
        return edges[pick(static_cast<int>(std::size(edges)))];
      }
      case 1:
        // Short decimals: the common case, mostly read back exactly.
        return static_cast<double>(static_cast<std::int64_t>(random_() % 2000001) - 1000000) /
               std::pow(10.0, pick(8));
      default: {
        double value;
        do {
          value = std::bit_cast<double>(random_());
        } while (!std::isfinite(value));
        return value;
      }
    }
  }

  std::string text() {
    static constexpr std::string_view pieces[] = {
        "a",
        "Z",
        " ",
        "\"",
        "\\",
        "/",
        "\x7F",
        std::string_view("\0", 1),
        "\x01",
        "\b",
        "\t",
        "\n",
        "\x0B",
        "\f",
        "\r",
        "\x1F",
        "\xC3\xA9",
        "\xE2\x82\xAC",
        "\xEF\xBF\xBF",
        "\xF0\x9F\x98\x80",
        "\xF4\x8F\xBF\xBF",
        "\xE2\x80\xA8",
        "plain text of some length",
    };
    std::string out;
    for (int i = 0, n = pick(12); i < n; ++i) out += pieces[pick(std::size(pieces))];
    return out;
  }

  std::mt19937_64 random_;
};

TEST(RoundTrip, WrittenRandomValuesReadBackEqual) {
  RandomValues random(20000229);
  int compared = 0;
  for (int i = 0; i < 3000; ++i) {
    JsonDocument document;
    document.root() = random.value(document.arena(), 0);
    ByteBuffer text;
    serialize_compact(document.root(), text);
    SCOPED_TRACE(std::string(text.view()));
    ParseResult result = parse_json(text.view());
    ASSERT_TRUE(result.ok()) << "refused with code " << static_cast<int>(result.error().code)
                             << " at " << result.error().offset;
    EXPECT_TRUE(round_trip::equal_after_round_trip(document.root(), result.document().root()));
    if (document.root() == result.document().root()) {
      ++compared;
      ByteBuffer again;
      serialize_compact(result.document().root(), again);
      EXPECT_EQ(again.view(), text.view());
    }
  }
  // Most values hold no float that comes back as a neighbour.
  EXPECT_GT(compared, 1000);
}

TEST(RoundTrip, WrittenFloatingNumbersReadBackExactlyOrAsANearNeighbour) {
  // One number per document, so every mismatch is one float; the exact cases
  // must be exact, the rest within a few units in the last place, and only a
  // minority of random doubles may come back as a neighbour.
  std::mt19937_64 random(99);
  int neighbours = 0;
  constexpr int count = 20000;
  for (int i = 0; i < count; ++i) {
    double value;
    do {
      value = std::bit_cast<double>(random());
    } while (!std::isfinite(value));
    ByteBuffer text;
    serialize_compact(JsonValue::make_number(JsonNumber::make_floating(value)), text);
    SCOPED_TRACE(std::string(text.view()));
    ParseResult result = parse_json(text.view());
    ASSERT_TRUE(result.ok());
    const JsonNumber read = result.document().root().number();
    ASSERT_EQ(read.kind(), JsonNumber::Kind::floating);
    EXPECT_TRUE(round_trip::floating_read_back(value, read.floating_value()))
        << read.floating_value();
    if (read.floating_value() != value) ++neighbours;
  }
  EXPECT_LT(neighbours, count / 2);
}

TEST(RoundTrip, RawTextKeyFirstInSortedOrderIsNotRereadable) {
  // The reserved key as a later member is ordinary, but it sorts before
  // letters and is written first: the text then reads as raw text.
  ParseResult result = parse_json(R"({"a":1,"$obrelix::statusline::raw_json":"[2]"})");
  ASSERT_TRUE(result.ok());
  EXPECT_FALSE(round_trip::rereadable(result.document().root()));
  ByteBuffer text;
  serialize_compact(result.document().root(), text);
  ParseResult again = parse_json(text.view());
  EXPECT_FALSE(again.ok());
}

}  // namespace
}  // namespace obrelix::json
