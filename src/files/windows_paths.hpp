#pragma once

// Path text rules of the Windows grammar: drive, UNC, device and verbatim
// prefixes, `\` and `/` as separators outside verbatim paths. Pure functions,
// compiled on every host so their tables run everywhere.

#include <optional>
#include <string>
#include <string_view>

namespace obrelix::files {

// `directory` followed by `name` (a plain file name), with a `\` between them
// unless the directory is empty, ends in `\` or `/`, or is a bare drive (`C:`).
// A verbatim (`\\?\`) directory is rebuilt from its components.
[[nodiscard]] std::string windows_join_path(std::string_view directory, std::string_view name);

// A verbatim (`\\?\`) path rebuilt from its components as windows_join_path
// rebuilds a directory, so repeated and trailing `\` collapse: Windows takes
// verbatim text literally and refuses empty names in it. Other paths come
// back unchanged.
[[nodiscard]] std::string windows_collapse_verbatim(std::string_view path);

// The text before the last name, without trailing separators and skipped `.`
// names; nothing when the last component is a prefix or root, or for "".
[[nodiscard]] std::optional<std::string_view> windows_parent_path(std::string_view path);

}  // namespace obrelix::files
