#pragma once

#include <cstddef>

#include "json/byte_buffer.hpp"
#include "platform/platform.hpp"

namespace obrelix::json {

// At most this many bytes of standard input ever become input.
inline constexpr std::size_t input_limit = 1'048'576;

// Reads standard input to its end or to `input_limit` bytes, whichever comes
// first; no byte past the limit is requested. An interrupted request is made
// again; any other failure, or memory running out for the buffer, ends reading
// and leaves the bytes so far as the whole input. Never fails, never throws.
// Empty input allocates nothing.
[[nodiscard]] ByteBuffer read_standard_input(platform::Platform& platform) noexcept;

}  // namespace obrelix::json
