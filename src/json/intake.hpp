#pragma once

#include <cstddef>
#include <span>

#include "json/byte_buffer.hpp"
#include "platform/platform.hpp"

namespace obrelix::json {

// At most this many bytes of standard input ever become input.
inline constexpr std::size_t input_limit = 1'048'576;

// Memory asked of the platform for a run with a large input: the input, the
// document, its copy and the snapshot text. Untouched bytes cost nothing.
inline constexpr std::size_t working_memory_size = 8 * input_limit + 65536;

// Reads standard input to its end or to `input_limit` bytes, whichever comes
// first; no byte past the limit is requested. An interrupted request is made
// again; any other failure, or memory running out for the buffer, ends reading
// and leaves the bytes so far as the whole input. Never fails, never throws.
// Empty input allocates nothing.
//
// With `working_memory` given, an input that outgrows 64 KiB moves to the
// start of `working_memory_size` bytes of working memory from the platform,
// if it lends that much, and `*working_memory` receives all of it: the
// caller lays out what it builds after the input. On some machines, pages
// the system writes the input into cost more to map, and to read afterwards,
// than the parsing of them does.
[[nodiscard]] ByteBuffer read_standard_input(
    platform::Platform& platform, std::span<std::byte>* working_memory = nullptr) noexcept;

}  // namespace obrelix::json
