#include "files/directory.hpp"

#include <cstddef>
#include <optional>
#include <vector>

#include "files/paths.hpp"

namespace obrelix::files {
namespace {

using platform::FailureClass;
using platform::Platform;
using platform::Status;

// Another process may make the same directory at the same moment: a name
// that is taken counts as made when it is a directory.
bool made_or_found(Platform& platform, std::string_view path, const Status& created) {
  if (created.ok()) return true;
  return created.failure().failure_class == FailureClass::already_exists &&
         platform.is_existing_directory(path);
}

}  // namespace

Status make_directory_tree(Platform& platform, std::string_view directory) {
  const platform::PathStyle style = platform.path_style();
  // Upward: create from the directory itself, stepping to the parent only
  // while the OS says a parent is missing. An existing tree costs one call.
  // Every parent is a prefix of `directory`, so its length names it.
  std::vector<std::size_t> missing;
  std::string_view current = directory;
  while (!current.empty()) {
    const std::optional<std::string_view> parent = parent_path(style, current);
    if (!parent.has_value()) break;
    const Status created = platform.create_directory(current);
    if (created.ok()) break;
    if (created.failure().failure_class == FailureClass::not_found) {
      missing.push_back(current.size());
      current = *parent;
      continue;
    }
    if (made_or_found(platform, current, created)) break;
    return created;
  }
  // Downward: the paths that were missing, highest first, ending with
  // `directory`.
  for (auto length = missing.rbegin(); length != missing.rend(); ++length) {
    const std::string_view path = directory.substr(0, *length);
    const Status created = platform.create_directory(path);
    if (!made_or_found(platform, path, created)) return created;
  }
  return Status::success();
}

}  // namespace obrelix::files
