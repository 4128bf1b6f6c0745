#pragma once

// What "reads back equal" means for a value that was written and read again;
// shared by the round-trip test and the reader fuzzer.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "json/reader.hpp"
#include "json/value.hpp"

namespace obrelix::json::round_trip {

// The written text of a finite nonzero double is d1...dn x 10^e as the reader
// sees it: the shortest digits, laid out positionally or in scientific form.
// The reader's conversion is exact when that significand is below 2^53 and
// |e| <= 22: one rounding of exact operands.
inline bool read_back_exactly(double value) {
  if (value == 0) return true;
  char text[32];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, std::abs(value), std::chars_format::scientific);
  if (error != std::errc{}) return false;
  std::uint64_t digits = 0;
  int count = 0;
  const char* p = text;
  for (; p != end && *p != 'e'; ++p) {
    if (*p == '.') continue;
    digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    ++count;
  }
  const int exponent = std::atoi(p + 1);
  std::int64_t significand = static_cast<std::int64_t>(digits);
  int decimal_exponent = exponent + 1 - count;
  if (exponent >= 0 && exponent <= 15 && count <= exponent + 1) {
    // Positional with trailing zeros and ".0": every zero is a digit read.
    for (int i = 0; i < exponent + 2 - count; ++i) {
      if (significand > (std::int64_t{1} << 53)) return false;
      significand *= 10;
    }
    decimal_exponent = -1;
  }
  return significand < (std::int64_t{1} << 53) && decimal_exponent >= -22 && decimal_exponent <= 22;
}

// The reader's conversion is by design not correctly rounded; its error stays
// within a few units in the last place (spacing measured below the value).
inline bool floating_read_back(double written, double read) {
  if (std::signbit(written) != std::signbit(read)) return false;
  if (read_back_exactly(written)) return written == read;
  const double spacing = std::abs(written) - std::nextafter(std::abs(written), 0.0);
  return std::abs(written - read) <= 4 * spacing;
}

// Structure, kinds, strings and integers exactly; floating numbers as above.
inline bool equal_after_round_trip(const JsonValue& written, const JsonValue& read) {
  std::vector<std::pair<const JsonValue*, const JsonValue*>> pending{{&written, &read}};
  while (!pending.empty()) {
    const auto [a, b] = pending.back();
    pending.pop_back();
    if (a->kind() != b->kind()) return false;
    switch (a->kind()) {
      case JsonKind::null:
        break;
      case JsonKind::boolean:
        if (a->boolean() != b->boolean()) return false;
        break;
      case JsonKind::number: {
        const JsonNumber x = a->number();
        const JsonNumber y = b->number();
        if (x.kind() != y.kind()) return false;
        if (x.kind() != JsonNumber::Kind::floating) {
          if (x != y) return false;
        } else if (!floating_read_back(x.floating_value(), y.floating_value())) {
          return false;
        }
        break;
      }
      case JsonKind::string:
        if (a->string_text() != b->string_text()) return false;
        break;
      case JsonKind::array: {
        const auto left = a->elements();
        const auto right = b->elements();
        if (left.size() != right.size()) return false;
        for (std::size_t i = 0; i < left.size(); ++i) pending.emplace_back(&left[i], &right[i]);
        break;
      }
      case JsonKind::object: {
        if (a->object().size() != b->object().size()) return false;
        std::vector<std::pair<std::string_view, const JsonValue*>> left;
        a->object().for_each(
            [&](std::string_view key, const JsonValue& value) { left.emplace_back(key, &value); });
        std::size_t index = 0;
        bool same_keys = true;
        b->object().for_each([&](std::string_view key, const JsonValue& value) {
          same_keys = same_keys && left[index].first == key;
          pending.emplace_back(left[index].second, &value);
          ++index;
        });
        if (!same_keys) return false;
        break;
      }
    }
  }
  return true;
}

// Whether the written text of `value` can be read back as it: no more than
// 127 containers deep (raw-text documents can build deeper values), and no
// object whose smallest key is the raw-text key, which would come first in the
// text and be read as raw text.
inline bool rereadable(const JsonValue& value) {
  std::vector<std::pair<const JsonValue*, int>> pending{{&value, 0}};
  while (!pending.empty()) {
    const JsonValue* v = pending.back().first;
    const int depth = pending.back().second;
    pending.pop_back();
    if (v->kind() != JsonKind::array && v->kind() != JsonKind::object) continue;
    if (depth + 1 > 127) return false;
    for (const JsonValue& element : v->elements()) pending.emplace_back(&element, depth + 1);
    bool first = true;
    bool raw_text_first = false;
    v->object().for_each([&](std::string_view key, const JsonValue& member) {
      raw_text_first = raw_text_first || (first && key == raw_json_key);
      first = false;
      pending.emplace_back(&member, depth + 1);
    });
    if (raw_text_first) return false;
  }
  return true;
}

}  // namespace obrelix::json::round_trip
