#include "bin/obrelix-statusline/capture.hpp"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "bin/obrelix-statusline/session_id.hpp"
#include "bin/obrelix-statusline/timestamp.hpp"
#include "files/directory.hpp"
#include "files/publish.hpp"
#include "json/byte_buffer.hpp"
#include "json/intake.hpp"
#include "json/reader.hpp"
#include "json/value.hpp"
#include "json/writer.hpp"

namespace obrelix::capture {
namespace {

constexpr std::size_t snapshot_first_capacity = 128;

// Room in the working memory for the snapshot text: the document's place,
// and at least the capacity that the text of about the input's length (and
// a little more) grows to, since the buffer doubles. A longer text moves to
// storage of its own.
std::size_t text_room_for(std::size_t document_used, std::size_t input_size) {
  constexpr std::size_t slack = 4096;
  std::size_t capacity = snapshot_first_capacity;
  while (capacity < input_size + slack) capacity *= 2;
  return std::max((document_used + 63) & ~std::size_t{63}, capacity);
}

struct Capture {
  json::JsonDocument document;
  std::string session_id;
};

// The document and its identifier, when the input is an object with a string
// `session_id`. The document's strings are views of `input`.
std::optional<Capture> read_document(json::ByteBuffer& input, std::span<std::byte> working_memory) {
  json::ParseResult parsed = json::parse_json_in_place(input.mutable_content(), working_memory);
  if (!parsed.ok()) return std::nullopt;
  const json::JsonValue* id = parsed.document().root().find_member("session_id");
  if (id == nullptr || id->kind() != json::JsonKind::string) return std::nullopt;
  std::string session_id(id->string_text());
  return Capture{std::move(parsed.document()), std::move(session_id)};
}

}  // namespace

void run_capture(platform::Platform& platform) {
  // The input stays until the run ends: the document and the snapshot keep
  // their strings in it.
  std::span<std::byte> input_and_working_memory;
  json::ByteBuffer input = json::read_standard_input(platform, &input_and_working_memory);
  // A large input sits at the start of the working memory; what the run
  // builds goes after it. A small one gets no working memory: the heap
  // serves it as well.
  const std::span<std::byte> working_memory =
      input_and_working_memory.empty()
          ? input_and_working_memory
          : input_and_working_memory.subspan((input.size() + 63) & ~std::size_t{63});
  std::optional<Capture> capture = read_document(input, working_memory);
  // Read on every run, whatever the input gave.
  const platform::EnvRead directory = platform.read_environment(context_dir_variable);
  if (!capture.has_value() || directory.outcome != platform::EnvOutcome::text) return;
  const std::string_view session_id = capture->session_id;
  // Before any file-system call: the identifier becomes a file name.
  if (!is_valid_session_id(session_id)) return;
  if (!files::make_directory_tree(platform, directory.text).ok()) return;

  // The working memory, in order: the document from the start; the copy
  // after it, leaving room before it for the snapshot text, which takes the
  // document's place once the document is gone. Each part moves on to the
  // heap when it does not fit.
  const std::size_t document_used = capture->document.arena().lent_bytes_used();
  const std::size_t text_room =
      std::min(working_memory.size(), text_room_for(document_used, input.size()));
  // The copy takes what the document took, and a little for the two members
  // set on it.
  const std::span<std::byte> copy_memory = working_memory.subspan(text_room);
  platform.prepare_working_memory(
      copy_memory.first(std::min(copy_memory.size(), document_used + 4096)));
  json::ByteBuffer snapshot_text;
  {
    json::JsonDocument snapshot = capture->document.deep_copy(copy_memory, input.view());
    capture->document = json::JsonDocument{};  // its memory is the snapshot text's room
    snapshot_text = json::ByteBuffer(working_memory.first(text_room), snapshot_first_capacity);
    json::Arena& arena = snapshot.arena();
    json::JsonValue& root = snapshot.root();
    static_cast<void>(
        root.set_member(arena, "session_id", json::JsonValue::make_string(arena, session_id)));
    const std::string timestamp = utc_timestamp(platform.read_clock());
    static_cast<void>(
        root.set_member(arena, "timestamp", json::JsonValue::make_string(arena, timestamp)));
    json::serialize_compact(root, snapshot_text);
  }

  const std::string context_name = context_file_name(session_id);
  const std::string temporary_name = temporary_file_name(session_id, platform.process_id());
  files::publish_context_file(platform, directory.text, context_name, temporary_name,
                              snapshot_text.bytes());
}

}  // namespace obrelix::capture
