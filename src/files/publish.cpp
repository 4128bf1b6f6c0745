#include "files/publish.hpp"

#include <string>

#include "files/paths.hpp"

namespace obrelix::files {

void publish_context_file(platform::Platform& platform, std::string_view directory,
                          std::string_view context_name, std::string_view temporary_name,
                          std::span<const std::byte> bytes) {
  // Both paths exist before any file is touched, so running out of memory
  // here cannot leave a temporary file behind.
  const std::string final_path = join_path(platform.path_style(), directory, context_name);
  const std::string temporary_path = join_path(platform.path_style(), directory, temporary_name);
  if (platform.write_temporary_file(temporary_path, bytes).ok() &&
      platform.replace_file(temporary_path, final_path).ok()) {
    return;
  }
  // Also after a failed open: a stale file of that name may be what made it
  // fail. Nothing more can be done when the deletion fails too.
  static_cast<void>(platform.delete_file(temporary_path));
}

}  // namespace obrelix::files
