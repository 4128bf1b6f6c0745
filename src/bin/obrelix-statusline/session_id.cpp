#include "bin/obrelix-statusline/session_id.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace obrelix::capture {
namespace {

constexpr std::size_t max_session_id_length = 128;

bool is_allowed(char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

}  // namespace

bool is_valid_session_id(std::string_view id) noexcept {
  if (id.empty() || id.size() > max_session_id_length) return false;
  // Byte by byte is exact: a character outside ASCII has only bytes of 0x80
  // and above, which are never allowed.
  return std::all_of(id.begin(), id.end(), is_allowed);
}

std::string context_file_name(std::string_view id) {
  std::string name;
  name.reserve(id.size() + 5);
  name.append(id).append(".json");
  return name;
}

std::string temporary_file_name(std::string_view id, std::uint32_t pid) {
  std::array<char, 10> digits;
  std::size_t first = digits.size();
  do {
    digits[--first] = static_cast<char>('0' + pid % 10);
    pid /= 10;
  } while (pid != 0);
  const std::string_view pid_text(digits.data() + first, digits.size() - first);

  std::string name;
  name.reserve(id.size() + pid_text.size() + 6);
  name.append(".").append(id).append(".").append(pid_text).append(".tmp");
  return name;
}

}  // namespace obrelix::capture
