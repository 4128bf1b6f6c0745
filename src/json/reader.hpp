#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "json/value.hpp"

namespace obrelix::json {

// Why an input was refused. Only tests look at it: the program learns no more
// than that there is no document.
enum class ParseErrorCode : std::uint8_t {
  unexpected_end,
  unexpected_byte,
  bad_number,
  number_out_of_range,
  bad_escape,
  bad_surrogate,
  invalid_utf8,
  control_byte_in_string,
  key_not_string,
  trailing_comma,
  bytes_after_document,
  nesting_too_deep
};

// `offset` is the byte of the input at which the reader stopped; for a
// refusal inside a raw-text document it is the offset of that document's
// string in the outer input.
struct ParseError {
  ParseErrorCode code;
  std::size_t offset;
};

// A JsonDocument or a ParseError.
class ParseResult {
 public:
  explicit ParseResult(JsonDocument document) noexcept : document_(std::move(document)) {}
  explicit ParseResult(ParseError error) noexcept : error_(error) {}

  [[nodiscard]] bool ok() const noexcept { return document_.has_value(); }
  // Only when ok().
  [[nodiscard]] JsonDocument& document() noexcept { return *document_; }
  // Only when !ok().
  [[nodiscard]] const ParseError& error() const noexcept { return error_; }

 private:
  std::optional<JsonDocument> document_;
  ParseError error_{ParseErrorCode::unexpected_end, 0};
};

// Reads `input` as exactly one JSON document under the program's strict rules
// (see reader.cpp), or refuses it. Never throws for any input; only running
// out of memory escapes, as std::bad_alloc.
[[nodiscard]] ParseResult parse_json(std::string_view input);
// As parse_json, without copying the input: its strings are decoded where
// they stand, so `input` is rewritten, and the document's strings and keys
// are views of it, which must outlive the document and stay unchanged. The
// document's arena starts in `lent` (see Arena).
[[nodiscard]] ParseResult parse_json_in_place(std::span<char> input, std::span<std::byte> lent);

// As the first member of an object, this key makes its string value be read
// as a document of its own that takes the place of the whole object.
inline constexpr std::string_view raw_json_key = "$obrelix::statusline::raw_json";
static_assert(raw_json_key.size() == 30);

}  // namespace obrelix::json
