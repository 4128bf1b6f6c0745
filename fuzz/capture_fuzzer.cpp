// A whole capture run over the in-memory platform, with any bytes on standard
// input. The file system must end with the context file published exactly
// when the input is an object with an accepted `session_id`, holding that
// object with the identifier and the fixed clock's time, and with no
// temporary file left behind.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "bin/obrelix-statusline/capture.hpp"
#include "bin/obrelix-statusline/session_id.hpp"
#include "json/intake.hpp"
#include "json/reader.hpp"
#include "json/value.hpp"
#include "round_trip_check.hpp"
#include "support/fake_platform.hpp"

namespace {

using namespace obrelix;
using json::JsonKind;
using json::JsonValue;

// Two levels missing below the root, so every run creates directories too.
constexpr std::string_view context_dir = "/home/ctx";
// 2026-12-11T00:09:41Z and a fraction of a second, which the snapshot drops.
constexpr std::int64_t fixed_clock = 134414213811234567;
constexpr std::string_view fixed_timestamp = "2026-12-11T00:09:41Z";
constexpr std::uint32_t fixed_pid = 4242;

[[noreturn]] void property_broken() {
  std::abort();
}

// The identifier the run must publish under, when the input earns a file.
std::string expected_session_id(const JsonValue& root) {
  const JsonValue* id = root.find_member("session_id");
  if (id == nullptr || id->kind() != JsonKind::string) return {};
  if (!capture::is_valid_session_id(id->string_text())) return {};
  return std::string(id->string_text());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Past the cap the run sees a cut input; the intake tests cover that.
  if (size > json::input_limit) return -1;
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  fake::FakePlatform platform;
  // The input arrives in two parts with an interrupted request between them,
  // as a pipe may deliver it.
  const std::size_t half = size / 2;
  if (half > 0) platform.add_stdin(input.substr(0, half));
  platform.add_stdin_outcome(platform::ReadOutcome::interrupted);
  if (size - half > 0) platform.add_stdin(input.substr(half));
  platform.set_environment({platform::EnvOutcome::text, std::string(context_dir)});
  platform.set_clock(fixed_clock);
  platform.set_process_id(fixed_pid);
  // A large input moves into working memory, which here ranges from just
  // the input's room to more than the run needs, so that each part of the
  // run in turn fits or moves on to the heap.
  if (size >= 65536) {
    platform.set_working_memory(json::input_limit + (size * 2654435761u) % (5 * size));
  }

  capture::run_capture(platform);

  json::ParseResult expected = json::parse_json(input);
  const std::string id = expected.ok() ? expected_session_id(expected.document().root()) : "";
  const std::string context_path =
      id.empty() ? std::string() : std::string(context_dir) + "/" + capture::context_file_name(id);

  for (const std::string& entry : platform.entries()) {
    if (entry.ends_with("/")) continue;
    // The only file the run may leave is the context file: no temporary one.
    if (id.empty() || entry != context_path) property_broken();
  }
  if (id.empty()) return 0;

  const std::optional<std::string> published = platform.file(context_path);
  if (!published.has_value()) property_broken();
  json::ParseResult reread = json::parse_json(*published);

  JsonValue& root = expected.document().root();
  json::Arena& arena = expected.document().arena();
  static_cast<void>(
      root.set_member(arena, "timestamp", JsonValue::make_string(arena, fixed_timestamp)));
  // Deeper than the reader takes, or a raw-text key first: the snapshot text
  // is not expected to read back as the snapshot.
  if (!json::round_trip::rereadable(root)) return 0;

  if (!reread.ok()) property_broken();
  const JsonValue& snapshot = reread.document().root();
  const JsonValue* snapshot_id = snapshot.find_member("session_id");
  const JsonValue* timestamp = snapshot.find_member("timestamp");
  if (snapshot.kind() != JsonKind::object || snapshot_id == nullptr ||
      snapshot_id->kind() != JsonKind::string || snapshot_id->string_text() != id ||
      !capture::is_valid_session_id(snapshot_id->string_text()) || timestamp == nullptr ||
      timestamp->kind() != JsonKind::string || timestamp->string_text() != fixed_timestamp) {
    property_broken();
  }
  if (!json::round_trip::equal_after_round_trip(root, snapshot)) property_broken();
  return 0;
}
