#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace obrelix::capture {

// Accepts 1 to 128 bytes of ASCII letters, digits, `-` and `_`. Every other
// byte refuses, so an accepted identifier is a plain file name on every
// platform: no separator, dot, colon, space or control byte.
[[nodiscard]] bool is_valid_session_id(std::string_view id) noexcept;

// `<id>.json`, for an accepted identifier.
[[nodiscard]] std::string context_file_name(std::string_view id);

// `.<id>.<pid>.tmp`, for an accepted identifier: the process identifier keeps
// overlapping runs for one session apart, the leading dot keeps it out of
// plain listings.
[[nodiscard]] std::string temporary_file_name(std::string_view id, std::uint32_t pid);

}  // namespace obrelix::capture
