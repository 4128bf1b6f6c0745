// Reading speed in MB/s on ~1 MiB documents, next to a DOM parse of the same
// bytes by RapidJSON with UTF-8 validation as the reference point.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "documents.hpp"
#include "json/byte_buffer.hpp"
#include "json/reader.hpp"
#include "json/writer.hpp"

#ifdef OBRELIX_HAVE_RAPIDJSON
#include <rapidjson/document.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

using namespace obrelix::json;

constexpr std::size_t document_bytes = std::size_t{1} << 20;

template <class Make>
std::string compact_text(Make make) {
  ByteBuffer text;
  serialize_compact(make(document_bytes).root(), text);
  return std::string(text.view());
}

const std::string& mixed_text() {
  static const std::string text = compact_text(obrelix::bench::make_mixed_document);
  return text;
}

const std::string& float_text() {
  static const std::string text = compact_text(obrelix::bench::make_float_document);
  return text;
}

void read_with_parse_json(benchmark::State& state, const std::string& (*document)()) {
  const std::string& text = document();
  for (auto _ : state) {
    ParseResult result = parse_json(text);
    if (!result.ok()) {
      state.SkipWithError("the document was refused");
      break;
    }
    benchmark::DoNotOptimize(result.document().root());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK_CAPTURE(read_with_parse_json, mixed, mixed_text)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_with_parse_json, floats, float_text)->Unit(benchmark::kMillisecond);

#ifdef OBRELIX_HAVE_RAPIDJSON
void read_with_rapidjson(benchmark::State& state, const std::string& (*document)()) {
  const std::string& text = document();
  for (auto _ : state) {
    rapidjson::Document dom;
    dom.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
    if (dom.HasParseError()) {
      state.SkipWithError("the document was refused");
      break;
    }
    benchmark::DoNotOptimize(dom);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK_CAPTURE(read_with_rapidjson, mixed, mixed_text)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_with_rapidjson, floats, float_text)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // Both readers allocate afresh for every document. Left alone, glibc hands
  // the large blocks of our arena back to the system after each run and the
  // next run pays page faults again, while RapidJSON's 64 KiB chunks stay in
  // the heap; keeping all freed memory in the heap measures both on equal,
  // warm terms. (A single cold run is measured outside this program.)
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
