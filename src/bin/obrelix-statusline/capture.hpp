#pragma once

#include <string_view>

#include "platform/platform.hpp"

namespace obrelix::capture {

// The variable naming the context directory; empty means the current one.
inline constexpr std::string_view context_dir_variable = "OBRELIX_CONTEXT_DIR";

// One capture run: reads the JSON object on standard input and, when its
// `session_id` is an accepted identifier and the context directory is named,
// replaces `<session_id>.json` there with the snapshot (the input object with
// `session_id` and the UTC `timestamp` set, compact, keys in order). Every
// unusable input and failed step ends the run quietly; only running out of
// memory escapes, as std::bad_alloc.
void run_capture(platform::Platform& platform);

}  // namespace obrelix::capture
