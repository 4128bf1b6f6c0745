// Writing speed in MB/s on ~1 MiB documents, next to a plain copy of the same
// bytes (the floor) and RapidJSON's writer over a DOM of the same document;
// and the floating text next to the standard library's shortest form.

#include <benchmark/benchmark.h>

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "documents.hpp"
#include "json/byte_buffer.hpp"
#include "json/writer.hpp"

#ifdef OBRELIX_HAVE_RAPIDJSON
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#endif

namespace {

using namespace obrelix::json;

constexpr std::size_t document_bytes = std::size_t{1} << 20;

const JsonDocument& mixed_document() {
  static const JsonDocument document = obrelix::bench::make_mixed_document(document_bytes);
  return document;
}

const JsonDocument& float_document() {
  static const JsonDocument document = obrelix::bench::make_float_document(document_bytes);
  return document;
}

std::size_t text_size(const JsonDocument& document) {
  ByteBuffer out;
  serialize_compact(document.root(), out);
  return out.size();
}

void set_bytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
}

// Into one buffer kept between rounds: the writing itself.
void write_with_serialize_compact(benchmark::State& state, const JsonDocument& (*document)()) {
  const JsonValue& root = document().root();
  ByteBuffer out;
  serialize_compact(root, out);
  for (auto _ : state) {
    out.clear();
    serialize_compact(root, out);
    benchmark::DoNotOptimize(out.data());
  }
  set_bytes(state, out.size());
}
BENCHMARK_CAPTURE(write_with_serialize_compact, mixed, mixed_document)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(write_with_serialize_compact, floats, float_document)
    ->Unit(benchmark::kMicrosecond);

// As the program does it: a fresh buffer of 128 bytes that grows as it goes.
// Fresh memory costs page faults too, so this depends on the allocator.
void write_from_128_bytes(benchmark::State& state, const JsonDocument& (*document)()) {
  const JsonValue& root = document().root();
  const std::size_t bytes = text_size(document());
  for (auto _ : state) {
    ByteBuffer out(128);
    serialize_compact(root, out);
    benchmark::DoNotOptimize(out.data());
  }
  set_bytes(state, bytes);
}
BENCHMARK_CAPTURE(write_from_128_bytes, mixed, mixed_document)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(write_from_128_bytes, floats, float_document)->Unit(benchmark::kMicrosecond);

// The floor: the finished bytes copied into a buffer that already fits them.
void copy_with_memcpy(benchmark::State& state, const JsonDocument& (*document)()) {
  ByteBuffer text;
  serialize_compact(document().root(), text);
  std::vector<char> target(text.size());
  for (auto _ : state) {
    std::memcpy(target.data(), text.data(), text.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  set_bytes(state, text.size());
}
BENCHMARK_CAPTURE(copy_with_memcpy, mixed, mixed_document)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(copy_with_memcpy, floats, float_document)->Unit(benchmark::kMicrosecond);

#ifdef OBRELIX_HAVE_RAPIDJSON
using RapidDocument = rapidjson::Document;
using RapidValue = rapidjson::Value;

RapidValue to_rapidjson(const JsonValue& value, RapidDocument::AllocatorType& allocator) {
  RapidValue converted;
  switch (value.kind()) {
    case JsonKind::null:
      break;
    case JsonKind::boolean:
      converted.SetBool(value.boolean());
      break;
    case JsonKind::number: {
      const JsonNumber number = value.number();
      switch (number.kind()) {
        case JsonNumber::Kind::unsigned_integer:
          converted.SetUint64(number.unsigned_value());
          break;
        case JsonNumber::Kind::negative_integer:
          converted.SetInt64(number.negative_value());
          break;
        case JsonNumber::Kind::floating:
          converted.SetDouble(number.floating_value());
          break;
      }
      break;
    }
    case JsonKind::string: {
      const std::string_view text = value.string_text();
      converted.SetString(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
      break;
    }
    case JsonKind::array:
      converted.SetArray();
      for (const JsonValue& element : value.elements()) {
        converted.PushBack(to_rapidjson(element, allocator), allocator);
      }
      break;
    case JsonKind::object:
      converted.SetObject();
      value.object().for_each([&](std::string_view key, const JsonValue& member) {
        RapidValue name(key.data(), static_cast<rapidjson::SizeType>(key.size()), allocator);
        converted.AddMember(name, to_rapidjson(member, allocator), allocator);
      });
      break;
  }
  return converted;
}

void write_with_rapidjson(benchmark::State& state, const JsonDocument& (*document)()) {
  RapidDocument dom;
  static_cast<RapidValue&>(dom) = to_rapidjson(document().root(), dom.GetAllocator());
  rapidjson::StringBuffer out;
  for (auto _ : state) {
    out.Clear();
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    dom.Accept(writer);
    benchmark::DoNotOptimize(out.GetString());
  }
  set_bytes(state, out.GetSize());
}
BENCHMARK_CAPTURE(write_with_rapidjson, mixed, mixed_document)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(write_with_rapidjson, floats, float_document)->Unit(benchmark::kMicrosecond);

void write_with_rapidjson_from_empty(benchmark::State& state, const JsonDocument& (*document)()) {
  RapidDocument dom;
  static_cast<RapidValue&>(dom) = to_rapidjson(document().root(), dom.GetAllocator());
  std::size_t bytes = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    dom.Accept(writer);
    bytes = out.GetSize();
    benchmark::DoNotOptimize(out.GetString());
  }
  set_bytes(state, bytes);
}
BENCHMARK_CAPTURE(write_with_rapidjson_from_empty, mixed, mixed_document)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(write_with_rapidjson_from_empty, floats, float_document)
    ->Unit(benchmark::kMicrosecond);
#endif

const std::vector<double>& document_doubles() {
  static const std::vector<double> doubles = [] {
    std::vector<double> found;
    float_document().root().object().for_each([&](std::string_view, const JsonValue& values) {
      for (const JsonValue& value : values.elements()) {
        if (value.number().kind() == JsonNumber::Kind::floating) {
          found.push_back(value.number().floating_value());
        }
      }
    });
    return found;
  }();
  return doubles;
}

void floating_with_format_floating(benchmark::State& state) {
  const std::vector<double>& doubles = document_doubles();
  std::array<char, 24> area;
  for (auto _ : state) {
    for (const double value : doubles) {
      benchmark::DoNotOptimize(format_floating(value, area));
      benchmark::DoNotOptimize(area.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(doubles.size()));
}
BENCHMARK(floating_with_format_floating)->Unit(benchmark::kMicrosecond);

void floating_with_to_chars(benchmark::State& state) {
  const std::vector<double>& doubles = document_doubles();
  std::array<char, 32> area;
  for (auto _ : state) {
    for (const double value : doubles) {
      benchmark::DoNotOptimize(std::to_chars(area.data(), area.data() + area.size(), value).ptr);
      benchmark::DoNotOptimize(area.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(doubles.size()));
}
BENCHMARK(floating_with_to_chars)->Unit(benchmark::kMicrosecond);

}  // namespace
