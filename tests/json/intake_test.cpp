#include "json/intake.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "support/fake_platform.hpp"

namespace obrelix::json {
namespace {

using fake::FakePlatform;
using platform::ReadOutcome;

std::vector<std::size_t> request_sizes(const FakePlatform& fake) {
  std::vector<std::size_t> sizes;
  for (const std::string& call : fake.calls_of("read_stdin ")) {
    sizes.push_back(std::stoul(call.substr(11)));
  }
  return sizes;
}

TEST(ReadStandardInput, EmptyInputAllocatesNothing) {
  for (ReadOutcome end : {ReadOutcome::end_of_input, ReadOutcome::failed}) {
    FakePlatform fake;
    fake.add_stdin_outcome(end);
    const ByteBuffer input = read_standard_input(fake);
    EXPECT_TRUE(input.empty());
    EXPECT_EQ(input.capacity(), 0u);
    EXPECT_EQ(request_sizes(fake), (std::vector<std::size_t>{32}));
  }
}

TEST(ReadStandardInput, SmallInputTakesAProbeAndOneMoreRequest) {
  FakePlatform fake;
  fake.add_stdin(R"({"session_id":"abc"})");
  const ByteBuffer input = read_standard_input(fake);
  EXPECT_EQ(input.view(), R"({"session_id":"abc"})");
  EXPECT_EQ(input.capacity(), 32u);
  EXPECT_EQ(request_sizes(fake), (std::vector<std::size_t>{32, 12}));
}

TEST(ReadStandardInput, InterruptionsRepeatTheRequest) {
  FakePlatform fake;
  fake.add_stdin_outcome(ReadOutcome::interrupted);
  fake.add_stdin("0123456789abcdef0123456789abcdef");
  fake.add_stdin_outcome(ReadOutcome::interrupted);
  fake.add_stdin("tail");
  EXPECT_EQ(read_standard_input(fake).view(), "0123456789abcdef0123456789abcdeftail");
  EXPECT_EQ(request_sizes(fake), (std::vector<std::size_t>{32, 32, 8192, 8192, 8188}));
}

TEST(ReadStandardInput, AFailureKeepsTheBytesSoFar) {
  FakePlatform fake;
  fake.add_stdin(std::string(100, 'x'));
  fake.add_stdin_outcome(ReadOutcome::failed);
  fake.add_stdin("never read");
  EXPECT_EQ(read_standard_input(fake).view(), std::string(100, 'x'));
}

// After the probe, requests ask for 8192 bytes and double while they come
// back full, the buffer growing to hold each; nothing is ever asked past the
// limit, and the buffer ends at exactly the limit.
TEST(ReadStandardInput, StopsAtTheLimitWithoutAnotherRequest) {
  for (std::size_t extra : {std::size_t{0}, std::size_t{1}, std::size_t{5000}}) {
    SCOPED_TRACE(extra);
    FakePlatform fake;
    std::string offered(input_limit + extra, ' ');
    offered.front() = '[';
    offered[input_limit - 1] = ']';
    fake.add_stdin(offered);
    const ByteBuffer input = read_standard_input(fake);
    EXPECT_EQ(input.view(), std::string_view(offered).substr(0, input_limit));
    EXPECT_EQ(input.capacity(), input_limit);
    EXPECT_EQ(request_sizes(fake), (std::vector<std::size_t>{32, 8192, 16384, 32768, 65536, 131072,
                                                             262144, 524288, 8160}));
  }
}

TEST(ReadStandardInput, TwoKilobytesTakeTheProbeAndOneRequest) {
  FakePlatform fake;
  fake.add_stdin(std::string(2048, ' '));
  EXPECT_EQ(read_standard_input(fake).view(), std::string(2048, ' '));
  EXPECT_EQ(request_sizes(fake), (std::vector<std::size_t>{32, 8192, 6176}));
}

TEST(ReadStandardInput, ShortReadsStillFillTheInput) {
  FakePlatform fake;
  std::string offered;
  for (int i = 0; i < 3000; ++i) {
    const std::string piece = std::to_string(i) + ",";
    offered += piece;
    fake.add_stdin(piece);
  }
  EXPECT_EQ(read_standard_input(fake).view(), offered);
}

}  // namespace
}  // namespace obrelix::json
