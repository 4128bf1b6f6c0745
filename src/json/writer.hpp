#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "json/byte_buffer.hpp"
#include "json/value.hpp"

namespace obrelix::json {

// Appends the compact text of `value` to `out`: no whitespace, object members
// in key order. Never fails (std::bad_alloc aside).
void serialize_compact(const JsonValue& value, ByteBuffer& out);

// Appends `text` in double quotes with the fixed escapes; for string values and
// keys alike. Bytes outside ASCII are written as they are.
void write_json_string(std::string_view text, ByteBuffer& out);

// Appends the text of `number`: integers in decimal, floating values as the
// shortest text that reads back as the same double ("null" if not finite).
void write_json_number(JsonNumber number, ByteBuffer& out);

// Writes the decimal digits at the tail of `area`; returns the index of the
// first digit.
std::size_t format_integer(std::uint64_t value, std::span<char, 20> area);

// Writes the floating text of a finite double at the start of `area`; returns
// its length. A value that is not finite gives "null".
std::size_t format_floating(double value, std::span<char, 24> area);

}  // namespace obrelix::json
