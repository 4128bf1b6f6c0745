#pragma once

// Path text rules of both grammars, chosen by the platform's PathStyle. Pure
// functions: the POSIX rules live here, the Windows rules in windows_paths.

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.hpp"

namespace obrelix::files {

// `directory` followed by `name` (a plain file name: no separator, never
// empty, `.` or `..`). POSIX: a `/` goes between them unless the directory is
// empty or already ends in `/`, so the empty directory gives the bare name,
// relative to the current directory.
[[nodiscard]] std::string join_path(platform::PathStyle style, std::string_view directory,
                                    std::string_view name);

// The directory holding the last name of `path`: the text before that name,
// without trailing separators and skipped `.` names. Nothing when the path has
// no name component (the empty text, a root such as `/`). POSIX: `/` separates,
// empty and `.` names are skipped except a `.` that starts a relative path, so
// `a/b//./` gives `a`, `/a` gives `/`, `./a` gives `.`, and `a` gives "".
// The result is always a shorter prefix of `path`.
[[nodiscard]] std::optional<std::string_view> parent_path(platform::PathStyle style,
                                                          std::string_view path);

}  // namespace obrelix::files
