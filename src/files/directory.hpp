#pragma once

#include <string_view>

#include "platform/platform.hpp"

namespace obrelix::files {

// Creates the directory named by `directory` (path text in the platform's
// grammar) together with every missing parent. An existing directory, the
// empty text (the current directory) and a root count as success. Fails with
// the creation failure of the first directory that could be neither made nor
// found as a directory; the directories made before it stay. Throws only
// std::bad_alloc.
[[nodiscard]] platform::Status make_directory_tree(platform::Platform& platform,
                                                   std::string_view directory);

}  // namespace obrelix::files
