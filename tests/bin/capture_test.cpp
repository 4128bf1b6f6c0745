#include "bin/obrelix-statusline/capture.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/intake.hpp"
#include "support/fake_platform.hpp"

namespace obrelix::capture {
namespace {

using fake::FakePlatform;
using platform::EnvOutcome;
using platform::EnvRead;
using Calls = std::vector<std::string>;

// 2000-02-29T00:00:00Z, with a fraction of a second that must be dropped.
constexpr std::int64_t leap_day_clock = 116'444'736'000'000'000 + 951'782'400LL * 10'000'000 + 42;

void prepare(FakePlatform& fake, std::string_view input, EnvRead directory) {
  fake.add_stdin(input);
  fake.set_environment(std::move(directory));
  fake.set_clock(leap_day_clock);
  fake.set_process_id(4242);
}

EnvRead text(std::string_view directory) {
  return {EnvOutcome::text, std::string(directory)};
}

// Every call but the reads of standard input.
Calls calls_after_intake(const FakePlatform& fake) {
  Calls calls;
  for (const std::string& call : fake.calls()) {
    if (!call.starts_with("read_stdin ")) calls.push_back(call);
  }
  return calls;
}

TEST(RunCapture, WritesTheSnapshotThroughATemporaryFile) {
  FakePlatform fake;
  prepare(fake, R"({"session_id":"abc"})", text("/ctx"));
  fake.add_directory("/ctx");
  run_capture(fake);
  EXPECT_EQ(fake.file("/ctx/abc.json"),
            R"({"session_id":"abc","timestamp":"2000-02-29T00:00:00Z"})");
  EXPECT_EQ(fake.entries(), (Calls{"/ctx/", "/ctx/abc.json"}));
  // The clock is read once while the snapshot is built; the process
  // identifier once, after the context file name.
  EXPECT_EQ(calls_after_intake(fake),
            (Calls{"read_environment OBRELIX_CONTEXT_DIR", "create_directory /ctx",
                   "is_existing_directory /ctx", "read_clock", "process_id",
                   "write_temporary_file /ctx/.abc.4242.tmp",
                   "replace_file /ctx/.abc.4242.tmp /ctx/abc.json"}));
}

// Nothing but the environment is looked at: no directory is made, no file
// touched, no clock read.
TEST(RunCapture, UnusableInputOrDirectoryTouchesNoFile) {
  const std::string too_long = R"({"session_id":")" + std::string(129, 'a') + R"("})";
  struct Case {
    std::string_view input;
    EnvRead directory;
  };
  const Case cases[] = {
      {"", text("/new")},
      {R"(["session_id"])", text("/new")},
      {R"("abc")", text("/new")},
      {"42", text("/new")},
      {R"({"session_id":42})", text("/new")},
      {R"({"session_id":null})", text("/new")},
      {R"({"session_id":["abc"]})", text("/new")},
      {R"({"id":"abc"})", text("/new")},
      {R"({"session_id":""})", text("/new")},
      {R"({"session_id":"../abc"})", text("/new")},
      {R"({"session_id":"a\/b"})", text("/new")},
      {too_long, text("/new")},
      {R"({"session_id":"abc")", text("/new")},
      {R"({"session_id":"abc"} x)", text("/new")},
      {R"({"session_id":"abc"})", EnvRead{EnvOutcome::absent, {}}},
      {R"({"session_id":"abc"})", EnvRead{EnvOutcome::not_unicode, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    FakePlatform fake;
    prepare(fake, c.input, c.directory);
    run_capture(fake);
    EXPECT_EQ(calls_after_intake(fake), (Calls{"read_environment OBRELIX_CONTEXT_DIR"}));
    EXPECT_TRUE(fake.entries().empty());
  }
}

TEST(RunCapture, SnapshotKeepsTheInputAndSetsIdentifierAndTime) {
  const std::string longest(128, 'z');
  struct Case {
    std::string input;
    std::string path;
    std::string snapshot;
  };
  const Case cases[] = {
      {R"({"session_id":"abc","timestamp":17})", "/ctx/abc.json",
       R"({"session_id":"abc","timestamp":"2000-02-29T00:00:00Z"})"},
      {R"({"session_id":"a","session_id":"b"})", "/ctx/b.json",
       R"({"session_id":"b","timestamp":"2000-02-29T00:00:00Z"})"},
      {R"({"session_id":"a\u0062c"})", "/ctx/abc.json",
       R"({"session_id":"abc","timestamp":"2000-02-29T00:00:00Z"})"},
      {R"( {"z":[1,-2,0.5,{"y":null,"x":true}],"session_id":"s","m":{"b":"\u00e9","a":[]}} )",
       "/ctx/s.json",
       R"({"m":{"a":[],"b":"é"},"session_id":"s","timestamp":"2000-02-29T00:00:00Z","z":[1,-2,0.5,{"x":true,"y":null}]})"},
      {R"({"session_id":")" + longest + R"("})", "/ctx/" + longest + ".json",
       R"({"session_id":")" + longest + R"(","timestamp":"2000-02-29T00:00:00Z"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    FakePlatform fake;
    prepare(fake, c.input, text("/ctx"));
    run_capture(fake);
    EXPECT_EQ(fake.file(c.path), c.snapshot);
    EXPECT_EQ(fake.entries().size(), 2u);
  }
}

// The run lays out its document, the copy and the snapshot text in the
// working memory it is given, moving on to the heap where they do not fit;
// strings are decoded in the input and shared by the copy. None of that may
// change a byte of the snapshot, however much memory there is.
TEST(RunCapture, SnapshotIsTheSameWhateverWorkingMemoryTheRunGets) {
  // Escapes to decode, a raw-text document, and numbers whose text grows
  // ("1e5" becomes "100000.0"), so the snapshot outgrows the input; large
  // enough (over 64 KiB) to be moved into working memory.
  std::string large = R"({"session_id":"big","n":[)";
  for (int i = 0; i < 6000; ++i) large += i == 0 ? "1e5" : ",1e5";
  large += R"(],"o":{)";
  for (int i = 0; i < 3000; ++i) {
    if (i != 0) large += ',';
    large.append(R"("k\u00e9\n)").append(std::to_string(i * 7919 % 3001));
    large.append(R"(":"v\"\\\/ text that runs on for a while\t)").append(std::to_string(i));
    large += '"';
  }
  large += R"(},"r":{"$obrelix::statusline::raw_json":"{\"in\":\"a\\u0041\\n\"}"}})";
  const std::string inputs[] = {
      R"({"session_id":"s\u0061","timestamp":1,"x":"\ud83d\ude00 \"q\"","a":{"b":[true,null]}})",
      large,
  };
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input.substr(0, 40));
    FakePlatform reference;
    prepare(reference, input, text("/ctx"));
    run_capture(reference);
    const std::vector<std::string> entries = reference.entries();
    ASSERT_EQ(entries.size(), 2u);
    const std::optional<std::string> expected = reference.file(entries[1]);
    // Below the input's room (1 MiB) none is taken; above, the parts after
    // the input fit one after the other.
    constexpr std::size_t room = json::input_limit;
    for (const std::size_t memory :
         {std::size_t{100}, room - 1, room, room + 5000, room + 65536, room + 200000,
          room + input.size() * 2, room + input.size() * 4 + 65536, std::size_t{16} << 20}) {
      SCOPED_TRACE(memory);
      FakePlatform fake;
      prepare(fake, input, text("/ctx"));
      fake.set_working_memory(memory);
      run_capture(fake);
      EXPECT_EQ(fake.file(entries[1]), expected);
    }
  }
}

TEST(RunCapture, CreatesTheDirectoryTreeOrWritesInTheCurrentDirectory) {
  {
    SCOPED_TRACE("missing parents");
    FakePlatform fake;
    prepare(fake, R"({"session_id":"abc"})", text("/a/b/ctx"));
    run_capture(fake);
    EXPECT_EQ(fake.entries(), (Calls{"/a/", "/a/b/", "/a/b/ctx/", "/a/b/ctx/abc.json"}));
  }
  {
    SCOPED_TRACE("the empty text is the current directory");
    FakePlatform fake;
    prepare(fake, R"({"session_id":"abc"})", text(""));
    run_capture(fake);
    EXPECT_EQ(fake.calls_of("create_directory"), Calls{});
    EXPECT_EQ(fake.entries(), (Calls{"abc.json"}));
  }
  {
    SCOPED_TRACE("a Windows directory");
    FakePlatform fake(platform::PathStyle::windows);
    fake.add_stdin(R"({"session_id":"abc"})");
    fake.set_environment(text(R"(C:\ctx)"));
    fake.set_process_id(7);
    run_capture(fake);
    EXPECT_EQ(fake.calls_of("replace_file"),
              (Calls{R"(replace_file C:\ctx\.abc.7.tmp C:\ctx\abc.json)"}));
  }
}

TEST(RunCapture, AFailedStepLeavesTheOldContextFile) {
  {
    SCOPED_TRACE("the directory is a regular file");
    FakePlatform fake;
    prepare(fake, R"({"session_id":"abc"})", text("/ctx"));
    fake.add_file("/ctx", "not a directory");
    run_capture(fake);
    EXPECT_EQ(fake.entries(), (Calls{"/ctx"}));
    EXPECT_EQ(fake.calls_of("read_clock"), Calls{});
  }
  {
    SCOPED_TRACE("the write fails");
    FakePlatform fake;
    prepare(fake, R"({"session_id":"abc"})", text("/ctx"));
    fake.add_directory("/ctx");
    fake.add_file("/ctx/abc.json", "old");
    fake.fail("write_temporary_file /ctx/.abc.4242.tmp", fake::other_failure);
    run_capture(fake);
    EXPECT_EQ(fake.entries(), (Calls{"/ctx/", "/ctx/abc.json"}));
    EXPECT_EQ(fake.file("/ctx/abc.json"), "old");
  }
}

}  // namespace
}  // namespace obrelix::capture
