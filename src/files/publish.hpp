#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/platform.hpp"

namespace obrelix::files {

// Makes `bytes` the whole content of `context_name` in `directory`: writes
// them to `temporary_name` beside it, then renames that onto the context file,
// so a reader of the context file sees the old content or the new, never a
// part. After a failed write or rename the temporary file is deleted and the
// context file keeps what it held. Every failure is absorbed. Throws only
// std::bad_alloc, before any file is touched.
void publish_context_file(platform::Platform& platform, std::string_view directory,
                          std::string_view context_name, std::string_view temporary_name,
                          std::span<const std::byte> bytes);

}  // namespace obrelix::files
