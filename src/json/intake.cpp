#include "json/intake.hpp"

#include <algorithm>
#include <array>
#include <span>

namespace obrelix::json {
namespace {

using platform::ReadOutcome;
using platform::StdinRead;

constexpr std::size_t probe_size = 32;
constexpr std::size_t first_request_limit = 8192;
constexpr std::size_t working_memory_threshold = 65536;

// One request, made again while it is interrupted.
StdinRead request(platform::Platform& platform, std::span<std::byte> destination) noexcept {
  StdinRead read;
  do {
    read = platform.read_stdin(destination);
  } while (read.outcome == ReadOutcome::interrupted);
  return read;
}

}  // namespace

ByteBuffer read_standard_input(platform::Platform& platform,
                               std::span<std::byte>* working_memory) noexcept {
  ByteBuffer input;
  std::size_t limit = input_limit;

  // Most runs get a small document or nothing: a first request into an area
  // of its own costs no allocation when there is nothing to read.
  std::array<std::byte, probe_size> probe;
  StdinRead read = request(platform, std::span(probe).first(std::min(probe_size, limit)));
  if (read.outcome != ReadOutcome::data) return input;
  if (!input.try_reserve(probe_size)) return input;
  input.append(reinterpret_cast<const char*>(probe.data()), read.count);
  limit -= read.count;

  // Requests grow when they come back full, so a large input takes few calls
  // and a small one never gets a large buffer.
  std::size_t request_limit = first_request_limit;
  while (limit != 0) {
    if (input.free_space().empty() && working_memory != nullptr && working_memory->empty() &&
        input.size() >= working_memory_threshold) {
      const std::span<std::byte> memory = platform.working_memory(working_memory_size);
      if (memory.size() >= input_limit) {
        // Its capacity fits the room, so neither step can fail.
        ByteBuffer moved(memory.first(input_limit), input.capacity());
        moved.append(input.data(), input.size());
        input = std::move(moved);
        *working_memory = memory;
      }
    }
    if (input.free_space().empty()) {
      // Room for at least one whole request, so that a small input takes
      // the probe and one request, not a request per doubling; storage is
      // only touched where bytes arrive.
      const std::size_t capacity = input.capacity();
      const std::size_t grown =
          std::max({capacity * 2, capacity + probe_size, input.size() + request_limit});
      // The limit bounds the storage too: the buffer never exceeds 1 MiB.
      if (!input.try_reserve(std::min(grown, input.size() + limit))) break;
    }
    const std::span<std::byte> free = input.free_space();
    const std::size_t size = std::min({free.size(), request_limit, limit});
    read = request(platform, free.first(size));
    if (read.outcome != ReadOutcome::data) break;
    input.commit(read.count);
    limit -= read.count;
    if (read.count == size && size == request_limit) request_limit *= 2;
  }
  return input;
}

}  // namespace obrelix::json
