#include "documents.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>

namespace obrelix::bench {
namespace {

using json::Arena;
using json::JsonDocument;
using json::JsonNumber;
using json::JsonValue;

// Plain modulo draws: the standard distributions differ between libraries,
// and the documents must not.
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : engine_(seed) {}
  std::uint64_t bits() { return engine_(); }
  std::uint64_t below(std::uint64_t bound) { return engine_() % bound; }
  std::uint64_t between(std::uint64_t low, std::uint64_t high) {
    return low + below(high - low + 1);
  }
  bool one_in(std::uint64_t n) { return below(n) == 0; }

 private:
  std::mt19937_64 engine_;
};

// Builds values and keeps a running estimate of their compact text length.
class MixedBuilder {
 public:
  MixedBuilder(Arena& arena, std::uint64_t seed) : arena_(arena), draw_(seed) {}

  [[nodiscard]] std::size_t text_bytes() const { return text_bytes_; }

  JsonValue object(int depth) {
    JsonValue value = JsonValue::make_object();
    const std::uint64_t members = draw_.between(5, 30);
    text_bytes_ += 2;
    for (std::uint64_t i = 0; i < members; ++i) {
      const std::string key = word(3, 14);
      // Random keys come in random order; a repeated key replaces its value.
      JsonValue member = any_value(depth);
      if (value.set_member(arena_, key, std::move(member)).has_value()) continue;
      text_bytes_ += key.size() + 4;
    }
    return value;
  }

 private:
  JsonValue any_value(int depth) {
    const std::uint64_t pick = draw_.below(100);
    if (depth < 4 && pick < 6) return object(depth + 1);
    if (depth < 4 && pick < 12) return array(depth + 1);
    return scalar();
  }

  JsonValue array(int depth) {
    JsonValue value = JsonValue::make_array();
    const std::uint64_t count = draw_.below(16);
    text_bytes_ += 2;
    for (std::uint64_t i = 0; i < count; ++i) {
      value.append(arena_, draw_.one_in(8) && depth < 4 ? object(depth + 1) : scalar());
      ++text_bytes_;
    }
    return value;
  }

  JsonValue scalar() {
    const std::uint64_t pick = draw_.below(100);
    if (pick < 25) return floating();
    if (pick < 50) {
      const std::uint64_t magnitude =
          draw_.one_in(4) ? draw_.bits() >> draw_.below(64) : draw_.below(100000);
      text_bytes_ += 6;
      if (draw_.one_in(5) && magnitude != 0) {
        return JsonValue::make_number(
            JsonNumber::make_negative(-static_cast<std::int64_t>(magnitude >> 1) - 1));
      }
      return JsonValue::make_number(JsonNumber::make_unsigned(magnitude));
    }
    if (pick < 60) {
      text_bytes_ += 5;
      return JsonValue::make_boolean(draw_.one_in(2));
    }
    if (pick < 65) {
      text_bytes_ += 4;
      return JsonValue::make_null();
    }
    return string();
  }

  JsonValue floating() {
    double value;
    if (draw_.one_in(2)) {
      // Prices, ratios and durations: short decimals.
      value = static_cast<double>(draw_.below(10000000)) / (draw_.one_in(2) ? 100.0 : 1000.0);
    } else {
      value = std::ldexp(static_cast<double>(draw_.bits() >> 11), -53) *
              std::pow(10.0, static_cast<double>(draw_.below(8)));
    }
    text_bytes_ += 12;
    return JsonValue::make_number(JsonNumber::make_floating(value));
  }

  JsonValue string() {
    std::string text;
    const std::uint64_t length = draw_.between(0, 48);
    while (text.size() < length) {
      const std::uint64_t pick = draw_.below(100);
      if (pick < 2) {
        text += "\\\"\n\t"[draw_.below(4)];
        ++text_bytes_;
      } else if (pick < 3) {
        text += static_cast<char>(draw_.below(0x20));
        text_bytes_ += 5;
      } else if (pick < 6) {
        constexpr std::string_view wide[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xE6\x97\xA5",
                                             "\xF0\x9F\x98\x80"};
        text += wide[draw_.below(4)];
      } else if (pick < 20) {
        text += ' ';
      } else {
        text += static_cast<char>('a' + draw_.below(26));
      }
    }
    text_bytes_ += text.size() + 2;
    return JsonValue::make_string(arena_, text);
  }

  std::string word(std::uint64_t shortest, std::uint64_t longest) {
    std::string text;
    const std::uint64_t length = draw_.between(shortest, longest);
    for (std::uint64_t i = 0; i < length; ++i) {
      text += draw_.one_in(12) ? '_' : static_cast<char>('a' + draw_.below(26));
    }
    if (draw_.one_in(20)) text += "\xC3\xA9";
    return text;
  }

  Arena& arena_;
  Draw draw_;
  std::size_t text_bytes_ = 0;
};

}  // namespace

JsonDocument make_mixed_document(std::size_t target_bytes) {
  JsonDocument document;
  MixedBuilder builder(document.arena(), 0x6d69786564);
  // An object like a snapshot at the top, holding many records.
  JsonValue root = JsonValue::make_object();
  for (int record = 0; builder.text_bytes() < target_bytes; ++record) {
    const std::string key = "record_" + std::to_string(record);
    (void)root.set_member(document.arena(), key, builder.object(0));
  }
  document.root() = std::move(root);
  return document;
}

JsonDocument make_float_document(std::size_t target_bytes) {
  JsonDocument document;
  Arena& arena = document.arena();
  Draw draw(0x666c6f6174);
  JsonValue root = JsonValue::make_object();
  std::size_t text_bytes = 2;
  for (int group = 0; text_bytes < target_bytes; ++group) {
    JsonValue values = JsonValue::make_array();
    for (int i = 0; i < 256; ++i) {
      if (draw.one_in(16)) {
        values.append(arena,
                      JsonValue::make_number(JsonNumber::make_unsigned(draw.below(1000000))));
        text_bytes += 7;
        continue;
      }
      double value;
      do {
        value = std::bit_cast<double>(draw.bits());
      } while (!std::isfinite(value));
      values.append(arena, JsonValue::make_number(JsonNumber::make_floating(value)));
      text_bytes += 24;
    }
    const std::string key = "values_" + std::to_string(group);
    (void)root.set_member(arena, key, std::move(values));
    text_bytes += key.size() + 4;
  }
  document.root() = std::move(root);
  return document;
}

}  // namespace obrelix::bench
