#pragma once

// Documents shared by the benchmarks: the same seed gives the same document on
// every run, so figures from different programs and runs compare.

#include <cstddef>

#include "json/value.hpp"

namespace obrelix::bench {

// Nested objects of 5 to 30 members set in random order, arrays, strings with
// some escapes and multi-byte UTF-8; about a quarter of the scalars are
// floating, the rest integers, booleans, null and strings. Its compact text
// is about `target_bytes` long.
json::JsonDocument make_mixed_document(std::size_t target_bytes);

// Arrays of doubles from random bit patterns (every magnitude, mostly 17
// significant digits), with a few integers among them. Its compact text is
// about `target_bytes` long.
json::JsonDocument make_float_document(std::size_t target_bytes);

}  // namespace obrelix::bench
