// The capture run with one file-system step failing at a time: whatever
// fails, the run prints nothing and returns, the older context file keeps
// every byte, and the temporary file goes unless deleting it is what failed.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bin/obrelix-statusline/capture.hpp"
#include "platform/platform.hpp"
#include "support/fake_platform.hpp"

namespace obrelix::capture {
namespace {

using fake::FakePlatform;
using platform::EnvOutcome;
using platform::FailureClass;
using platform::FailureKind;
using platform::FsFailure;
using platform::PathStyle;
using Calls = std::vector<std::string>;

constexpr std::string_view input = R"({"session_id":"abc","model":"m2"})";
constexpr std::string_view older = R"({"model":"m1","session_id":"abc","timestamp":"x"})";
constexpr std::uint32_t pid = 4242;

// Failures as the platform layers report them.
constexpr FsFailure no_space{FailureKind::os_error, FailureClass::other, 28};
constexpr FsFailure zero_byte_write{FailureKind::zero_byte_write, FailureClass::other, 0};
constexpr FsFailure sharing_violation{FailureKind::os_error, FailureClass::other, 32};

struct Layout {
  PathStyle style;
  std::string directory;
  std::string context_file;
  std::string temporary_file;
};

const Layout layouts[] = {
    {PathStyle::posix, "/ctx", "/ctx/abc.json", "/ctx/.abc.4242.tmp"},
    {PathStyle::windows, R"(C:\ctx)", R"(C:\ctx\abc.json)", R"(C:\ctx\.abc.4242.tmp)"},
};

void prepare(FakePlatform& fake, std::string_view directory) {
  fake.add_stdin(input);
  fake.set_environment({EnvOutcome::text, std::string(directory)});
  fake.set_process_id(pid);
}

// Runs the capture with standard output and error captured: nothing may
// reach either, and nothing may escape the run.
void run_quietly(FakePlatform& fake) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_NO_THROW(run_capture(fake));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// The file-system calls a run makes, in order; each is a step that can fail.
Calls file_system_steps(const FakePlatform& fake) {
  Calls steps;
  for (const std::string& call : fake.calls()) {
    for (std::string_view step :
         {"create_directory ", "write_temporary_file ", "replace_file ", "delete_file "}) {
      if (call.starts_with(step)) steps.push_back(call);
    }
  }
  return steps;
}

TEST(CaptureFaults, EachPublicationFailureKeepsTheOlderFile) {
  struct Case {
    const char* step;
    // Failed in this order; the calls not listed succeed.
    std::vector<std::pair<std::string_view, FsFailure>> failures;
    bool temporary_stays;
  };
  // Call texts with "tmp" and "final" standing for the layout's paths.
  const Case cases[] = {
      {"opening the temporary file", {{"write", fake::denied_failure}}, false},
      {"cutting it", {{"write", fake::other_failure}}, false},
      {"a failing write", {{"write", no_space}}, false},
      {"a write of 0 bytes", {{"write", zero_byte_write}}, false},
      {"the rename, denied twice", {{"replace", fake::denied_failure}}, false},
      {"the rename, a sharing violation", {{"replace", sharing_violation}}, false},
      {"the delete after a failed write",
       {{"write", no_space}, {"delete", fake::denied_failure}},
       true},
      {"the delete after a failed rename",
       {{"replace", sharing_violation}, {"delete", fake::other_failure}},
       true},
  };
  for (const Layout& layout : layouts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(layout.directory + ": " + c.step);
      FakePlatform fake(layout.style);
      prepare(fake, layout.directory);
      fake.add_directory(layout.directory);
      fake.add_file(layout.context_file, older);
      for (const auto& [step, failure] : c.failures) {
        const std::string call = step == "write" ? "write_temporary_file " + layout.temporary_file
                                 : step == "replace" ? "replace_file " + layout.temporary_file +
                                                           " " + layout.context_file
                                                     : "delete_file " + layout.temporary_file;
        fake.fail(call, failure);
      }
      run_quietly(fake);
      EXPECT_EQ(fake.file(layout.context_file), older);
      EXPECT_EQ(fake.file(layout.temporary_file).has_value(), c.temporary_stays);
      // A failed step is never followed by another attempt at it.
      EXPECT_EQ(fake.calls_of("write_temporary_file").size(), 1u);
      EXPECT_LE(fake.calls_of("replace_file").size(), 1u);
      EXPECT_EQ(fake.calls_of("delete_file").size(), 1u);
    }
  }
}

TEST(CaptureFaults, ADirectoryAtTheContextFileNameStays) {
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.directory);
    FakePlatform fake(layout.style);
    prepare(fake, layout.directory);
    fake.add_directory(layout.directory);
    fake.add_directory(layout.context_file);
    run_quietly(fake);
    EXPECT_TRUE(fake.is_directory(layout.context_file));
    EXPECT_EQ(fake.entries().size(), 2u);
  }
}

// Every file-system call a run makes, whatever it is, failed in turn: a
// new step cannot go untested. The missing parents make the directory
// creation steps part of the run; the older file sits beside them.
TEST(CaptureFaults, EveryStepFailedInTurnLeavesOnlyWhatWasThere) {
  const std::string directory = "/home/a/b/ctx";
  const std::string context_file = directory + "/abc.json";
  const std::string temporary_file = directory + "/.abc.4242.tmp";
  const auto set_up = [&](FakePlatform& fake) {
    prepare(fake, directory);
    fake.add_directory("/home");
    fake.add_file("/home/abc.json", older);
  };
  FakePlatform clean;
  set_up(clean);
  run_quietly(clean);
  ASSERT_TRUE(clean.file(context_file).has_value());
  const Calls steps = file_system_steps(clean);
  ASSERT_EQ(steps.size(), 7u);  // 4 directories created upward and down, write, rename

  for (const FsFailure& failure :
       {fake::other_failure, fake::denied_failure, fake::exists_failure, fake::not_found_failure}) {
    for (const std::string& step : steps) {
      SCOPED_TRACE(step + ", class " + std::to_string(static_cast<int>(failure.failure_class)));
      FakePlatform fake;
      set_up(fake);
      fake.fail(step, failure);
      run_quietly(fake);
      EXPECT_EQ(fake.file("/home/abc.json"), older);
      EXPECT_FALSE(fake.file(temporary_file).has_value());
      // A missing parent is a failure the directory creation steps past, so
      // the run may still publish; every other failure ends it unpublished.
      const bool published = fake.file(context_file).has_value();
      if (published) {
        EXPECT_EQ(fake.file(context_file), clean.file(context_file));
      } else {
        for (const std::string& entry : fake.entries()) {
          EXPECT_TRUE(entry.ends_with("/") || entry == "/home/abc.json") << entry;
        }
      }
    }
  }
}

}  // namespace
}  // namespace obrelix::capture
