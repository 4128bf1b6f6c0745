#include "files/windows_paths.hpp"

#include <cstddef>

namespace obrelix::files {
namespace {

constexpr std::string_view verbatim_marker = R"(\\?\)";

bool is_separator(char c) noexcept {
  return c == '\\' || c == '/';
}

bool is_ascii_letter(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// In a verbatim path only `\` separates names; `/` is an ordinary character.
bool separates(char c, bool verbatim) noexcept {
  return verbatim ? c == '\\' : is_separator(c);
}

std::size_t find_separator(std::string_view path, std::size_t from, bool verbatim) noexcept {
  while (from < path.size() && !separates(path[from], verbatim)) ++from;
  return from;
}

struct Prefix {
  std::size_t end = 0;  // 0 when the path has no prefix
  bool verbatim = false;
};

Prefix verbatim_prefix(std::string_view path) noexcept {
  const std::size_t size = path.size();
  // `UNC\` lies within the first eight characters, where `/` counts as `\`.
  if (size >= 8 && path.substr(4, 3) == "UNC" && is_separator(path[7])) {
    const std::size_t server_end = find_separator(path, 8, true);
    if (server_end == size) return {server_end, true};
    const std::size_t share_end = find_separator(path, server_end + 1, true);
    return {share_end > server_end + 1 ? share_end : server_end, true};
  }
  if (size >= 6 && is_ascii_letter(path[4]) && path[5] == ':' &&
      (size == 6 || is_separator(path[6]))) {
    return {6, true};
  }
  return {find_separator(path, verbatim_marker.size(), true), true};
}

// The prefix of a path: drive, `\\server\share`, `\\.\name`, or a verbatim form.
// The verbatim marker counts only when written with backslashes.
Prefix find_prefix(std::string_view path) noexcept {
  if (path.starts_with(verbatim_marker)) return verbatim_prefix(path);
  const std::size_t size = path.size();
  if (size >= 2 && is_ascii_letter(path[0]) && path[1] == ':') return {2, false};
  if (size < 2 || !is_separator(path[0]) || !is_separator(path[1])) return {};
  if (size >= 4 && path[2] == '.' && is_separator(path[3])) {
    return {find_separator(path, 4, false), false};
  }
  const std::size_t server_end = find_separator(path, 2, false);
  if (server_end == 2 || server_end == size) return {};
  const std::size_t share_end = find_separator(path, server_end + 1, false);
  if (share_end == server_end + 1) return {};
  return {share_end, false};
}

bool is_drive_designator(std::string_view text) noexcept {
  return text.size() == 2 && is_ascii_letter(text[0]) && text[1] == ':';
}

// The components of a verbatim path, one `\` between neighbours and none
// after the root, then `name` when there is one.
std::string rebuild_verbatim(std::string_view directory, std::size_t prefix_end,
                             std::optional<std::string_view> name) {
  std::string joined;
  joined.reserve(directory.size() + name.value_or("").size() + 2);
  joined.append(directory.substr(0, prefix_end));
  std::size_t position = prefix_end;
  // Right after the root, no `\` is written before the next component.
  bool after_root = false;
  if (position < directory.size() && is_separator(directory[position])) {
    joined.push_back('\\');
    after_root = true;
    ++position;
  }
  const auto add_component = [&](std::string_view component) {
    if (!after_root) joined.push_back('\\');
    joined.append(component);
    after_root = false;
  };
  while (position < directory.size()) {
    const std::size_t end = find_separator(directory, position, true);
    if (end > position) add_component(directory.substr(position, end - position));
    position = end + 1;
  }
  if (name) add_component(*name);
  return joined;
}

}  // namespace

std::string windows_join_path(std::string_view directory, std::string_view name) {
  if (directory.starts_with(verbatim_marker)) {
    return rebuild_verbatim(directory, find_prefix(directory).end, name);
  }
  std::string joined;
  joined.reserve(directory.size() + name.size() + 1);
  joined.append(directory);
  if (!directory.empty() && !is_separator(directory.back()) && !is_drive_designator(directory)) {
    joined.push_back('\\');
  }
  joined.append(name);
  return joined;
}

std::string windows_collapse_verbatim(std::string_view path) {
  if (!path.starts_with(verbatim_marker)) return std::string(path);
  return rebuild_verbatim(path, find_prefix(path).end, std::nullopt);
}

std::optional<std::string_view> windows_parent_path(std::string_view path) {
  const Prefix prefix = find_prefix(path);
  // Ends of the last two components kept; the parent ends where the
  // component before the last name ends.
  std::size_t before_last_end = 0;
  std::size_t last_end = 0;
  bool last_is_name = false;
  const auto keep = [&](std::size_t end, bool is_name) {
    before_last_end = last_end;
    last_end = end;
    last_is_name = is_name;
  };
  std::size_t position = prefix.end;
  if (prefix.end > 0) keep(prefix.end, false);
  if (position < path.size() && is_separator(path[position])) keep(++position, false);
  while (position < path.size()) {
    const std::size_t end = find_separator(path, position, prefix.verbatim);
    const std::string_view name = path.substr(position, end - position);
    // `.` names change nothing, except where they are the whole start of a
    // relative path, and in verbatim paths, which Windows takes literally.
    const bool skipped = name.empty() || (name == "." && !prefix.verbatim && position != 0);
    if (!skipped) keep(end, true);
    position = end + 1;
  }
  if (!last_is_name) return std::nullopt;
  return path.substr(0, before_last_end);
}

}  // namespace obrelix::files
