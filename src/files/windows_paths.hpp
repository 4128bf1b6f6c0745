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

// The text before the last name, without trailing separators and skipped `.`
// names; nothing when the last component is a prefix or root, or for "".
[[nodiscard]] std::optional<std::string_view> windows_parent_path(std::string_view path);

}  // namespace obrelix::files
