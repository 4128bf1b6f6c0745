#include "files/paths.hpp"

#include <cstddef>

#include "files/windows_paths.hpp"

namespace obrelix::files {
namespace {

std::string posix_join_path(std::string_view directory, std::string_view name) {
  std::string joined;
  joined.reserve(directory.size() + name.size() + 1);
  joined.append(directory);
  if (!directory.empty() && directory.back() != '/') joined.push_back('/');
  joined.append(name);
  return joined;
}

std::optional<std::string_view> posix_parent_path(std::string_view path) {
  // Ends of the last two components kept; the parent ends where the
  // component before the last name ends.
  std::size_t before_last_end = 0;
  std::size_t last_end = 0;
  bool last_is_name = false;
  std::size_t position = 0;
  if (!path.empty() && path.front() == '/') {
    last_end = 1;  // the root
    position = 1;
  }
  while (position < path.size()) {
    std::size_t end = path.find('/', position);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(position, end - position);
    // `.` changes nothing except as the whole start of a relative path.
    const bool skipped = name.empty() || (name == "." && position != 0);
    if (!skipped) {
      before_last_end = last_end;
      last_end = end;
      last_is_name = true;
    }
    position = end + 1;
  }
  if (!last_is_name) return std::nullopt;
  return path.substr(0, before_last_end);
}

}  // namespace

std::string join_path(platform::PathStyle style, std::string_view directory,
                      std::string_view name) {
  return style == platform::PathStyle::windows ? windows_join_path(directory, name)
                                               : posix_join_path(directory, name);
}

std::optional<std::string_view> parent_path(platform::PathStyle style, std::string_view path) {
  return style == platform::PathStyle::windows ? windows_parent_path(path)
                                               : posix_parent_path(path);
}

}  // namespace obrelix::files
