// Reads any bytes; whatever is accepted must be written, read back equal, and
// written again to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "json/byte_buffer.hpp"
#include "json/reader.hpp"
#include "json/writer.hpp"
#include "round_trip_check.hpp"

namespace {

using namespace obrelix::json;

// Stops with a crash report: that is how libFuzzer records a failed property.
[[noreturn]] void property_broken() {
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The program never reads more than this.
  if (size > (std::size_t{1} << 20)) return -1;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  ParseResult first = parse_json(input);
  if (!first.ok()) return 0;

  ByteBuffer text;
  serialize_compact(first.document().root(), text);
  ParseResult second = parse_json(text.view());
  // Too deep, or the raw-text key first in an object: the text is not
  // expected to read back as the same value.
  if (!round_trip::rereadable(first.document().root())) return 0;
  if (!second.ok()) property_broken();
  if (!round_trip::equal_after_round_trip(first.document().root(), second.document().root())) {
    property_broken();
  }

  ByteBuffer again;
  serialize_compact(second.document().root(), again);
  // Where every number came back exactly, so does every byte of the text.
  if (second.document().root() == first.document().root() && again.view() != text.view()) {
    property_broken();
  }
  // The value read from our own text is a fixed point one step later.
  ParseResult third = parse_json(again.view());
  if (!third.ok() ||
      !round_trip::equal_after_round_trip(second.document().root(), third.document().root())) {
    property_broken();
  }
  return 0;
}
