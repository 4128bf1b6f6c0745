// The built program, end to end: whatever happens, exit status 0 and no
// output; the context file holds exactly the snapshot; no temporary file
// stays. The same cases run against a Windows build under a loader
// (OBRELIX_E2E_PATH_STYLE=windows); cases that only make sense for one
// platform say so and skip on the other.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/runner.hpp"

namespace obrelix::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t limit = 1'048'576;

std::string utc_now() {
  // The precise clock, as the program reads it; time() may lag behind.
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm fields{};
  gmtime_r(&now, &fields);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &fields);
  return text;
}

class ProgramRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "obrelix-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    work_ = root_ / "work";
    fs::create_directory(work_);
  }
  void TearDown() override { fs::remove_all(root_); }

  [[nodiscard]] bool windows_build() const { return runner_.windows_paths(); }

  // Runs in the work directory with the variable naming `directory`.
  RunOptions options(std::string input, const fs::path& directory,
                     StdinSource source = StdinSource::file) {
    RunOptions o;
    o.input = std::move(input);
    o.source = source;
    o.context_dir = runner_.context_dir(directory);
    o.working_directory = work_;
    return o;
  }

  // Every run, on every path: status 0, nothing printed.
  void run_quietly(const RunOptions& o) {
    const RunResult result = runner_.run(o, root_ / ("scratch" + std::to_string(++runs_)));
    EXPECT_TRUE(result.exited) << "killed or timed out";
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_output, "");
    EXPECT_EQ(result.standard_error, "");
  }

  ProgramRunner runner_;
  fs::path root_;
  fs::path work_;
  int runs_ = 0;
};

TEST_F(ProgramRun, WritesExactlyTheSnapshot) {
  for (StdinSource source : {StdinSource::file, StdinSource::pipe}) {
    SCOPED_TRACE(source == StdinSource::file ? "from a file" : "from a pipe");
    const fs::path ctx = root_ / (source == StdinSource::file ? "file-ctx" : "pipe-ctx");
    fs::create_directory(ctx);
    const std::string before = utc_now();
    run_quietly(options(R"({"z":[1,{"b":2,"a":"\u00e9"}],"session_id":"abc","timestamp":17})", ctx,
                        source));
    const std::string after = utc_now();
    EXPECT_EQ(listing(ctx), (std::vector<std::string>{"abc.json"}));
    const std::string snapshot = read_file(ctx / "abc.json");
    const std::regex form(
        R"re(\{"session_id":"abc","timestamp":"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)","z":\[1,\{"a":"é","b":2\}\]\})re");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(snapshot, match, form)) << snapshot;
    EXPECT_LE(before, match[1].str());
    EXPECT_GE(after, match[1].str());
  }
}

// Refused before anything touches the file system: the directory named by
// the variable is never created.
TEST_F(ProgramRun, UnusableInputWritesNothing) {
  const std::string inputs[] = {
      "",
      R"(["session_id"])",
      R"("abc")",
      "42",
      R"({"session_id":42})",
      R"({"session_id":null})",
      R"({"session_id":""})",
      R"({"session_id":"../abc"})",
      R"({"session_id":"a\\b"})",
      R"({"session_id":"C:"})",
      R"({"session_id":"abc "})",
      R"({"session_id":")" + std::string(129, 'a') + R"("})",
      R"({"session_id":"abc")",
      R"({"session_id":"abc"}})",
      "\xEF\xBB\xBF{\"session_id\":\"abc\"}",
  };
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    run_quietly(options(input, root_ / "new" / "ctx"));
    EXPECT_FALSE(fs::exists(root_ / "new"));
    EXPECT_TRUE(listing(work_).empty());
  }
}

TEST_F(ProgramRun, NoUsableStandardInputWritesNothing) {
  for (StdinSource source : {StdinSource::closed, StdinSource::pipe, StdinSource::file}) {
    SCOPED_TRACE(static_cast<int>(source));
    run_quietly(options("", root_ / "ctx", source));
    EXPECT_FALSE(fs::exists(root_ / "ctx"));
  }
}

TEST_F(ProgramRun, TheVariableDecidesTheDirectory) {
  const std::string input = R"({"session_id":"abc"})";
  {
    SCOPED_TRACE("unset");
    RunOptions o = options(input, root_ / "ctx");
    o.context_dir.reset();
    run_quietly(o);
    EXPECT_TRUE(listing(work_).empty());
  }
  {
    SCOPED_TRACE("empty: the current directory");
    RunOptions o = options(input, root_ / "ctx");
    o.context_dir = "";
    run_quietly(o);
    EXPECT_EQ(listing(work_), (std::vector<std::string>{"abc.json"}));
    fs::remove(work_ / "abc.json");
  }
  {
    SCOPED_TRACE("missing parents are created");
    run_quietly(options(input, root_ / "a" / "b" / "ctx"));
    EXPECT_EQ(listing(root_ / "a" / "b" / "ctx"), (std::vector<std::string>{"abc.json"}));
  }
  {
    SCOPED_TRACE("trailing separator");
    fs::create_directory(root_ / "slash");
    RunOptions o = options(input, root_ / "slash");
    *o.context_dir += runner_.windows_paths() ? "\\" : "/";
    run_quietly(o);
    EXPECT_EQ(listing(root_ / "slash"), (std::vector<std::string>{"abc.json"}));
  }
}

TEST_F(ProgramRun, AVariableThatIsNotUtf8WritesNothing) {
  if (windows_build()) GTEST_SKIP() << "only meaningful for the POSIX build";
  RunOptions o = options(R"({"session_id":"abc"})", root_ / "ctx");
  o.context_dir = (root_ / "ctx\xFF").string();
  run_quietly(o);
  EXPECT_EQ(listing(root_), (std::vector<std::string>{"scratch1/", "work/"}));
}

TEST_F(ProgramRun, NamesTakenByOtherEntriesWriteNothing) {
  const std::string input = R"({"session_id":"abc"})";
  {
    SCOPED_TRACE("the directory is a regular file");
    write_file(root_ / "file", "keep");
    run_quietly(options(input, root_ / "file"));
    EXPECT_EQ(read_file(root_ / "file"), "keep");
  }
  {
    SCOPED_TRACE("a parent is a regular file");
    run_quietly(options(input, root_ / "file" / "ctx"));
    EXPECT_EQ(read_file(root_ / "file"), "keep");
  }
  {
    SCOPED_TRACE("the context file name is a directory");
    fs::create_directories(root_ / "ctx" / "abc.json" / "inside");
    run_quietly(options(input, root_ / "ctx"));
    EXPECT_EQ(listing(root_ / "ctx"), (std::vector<std::string>{"abc.json/"}));
    EXPECT_EQ(listing(root_ / "ctx" / "abc.json"), (std::vector<std::string>{"inside/"}));
  }
}

TEST_F(ProgramRun, ReplacesAnOlderContextFileWhole) {
  const fs::path ctx = root_ / "ctx";
  fs::create_directory(ctx);
  write_file(ctx / "abc.json", R"({"old":")" + std::string(500, 'x') + R"(","session_id":"abc"})");
  run_quietly(options(R"({"session_id":"abc","new":true})", ctx));
  const std::string snapshot = read_file(ctx / "abc.json");
  EXPECT_TRUE(snapshot.starts_with(R"({"new":true,"session_id":"abc","timestamp":")")) << snapshot;
  EXPECT_EQ(snapshot.size(), 66u);
  EXPECT_EQ(listing(ctx), (std::vector<std::string>{"abc.json"}));
}

// Only the first 1 MiB of standard input is ever input.
TEST_F(ProgramRun, InputBeyondOneMebibyteIsNeverRead) {
  const std::string document = R"({"session_id":"abc","pad":")";
  const std::string close = R"("})";
  const std::string exactly =
      document + std::string(limit - document.size() - close.size(), 'p') + close;
  const std::string one_over =
      document + std::string(limit + 1 - document.size() - close.size(), 'p') + close;
  std::string spaces_then_junk = R"({"session_id":"abc"})";
  spaces_then_junk.resize(limit, ' ');
  spaces_then_junk += "junk that is never read";
  struct Case {
    const char* name;
    const std::string& input;
    bool written;
  };
  const Case cases[] = {
      {"a document of exactly 1 MiB", exactly, true},
      {"a document one byte longer", one_over, false},
      {"a document, spaces up to 1 MiB, then anything", spaces_then_junk, true},
  };
  for (const Case& c : cases) {
    for (StdinSource source : {StdinSource::file, StdinSource::pipe}) {
      SCOPED_TRACE(std::string(c.name) + (source == StdinSource::file ? ", file" : ", pipe"));
      const fs::path ctx = root_ / "ctx";
      run_quietly(options(c.input, ctx, source));
      EXPECT_EQ(fs::exists(ctx / "abc.json"), c.written);
      if (c.written) {
        EXPECT_EQ(listing(ctx), (std::vector<std::string>{"abc.json"}));
      }
      fs::remove_all(ctx);
    }
  }
}

// Overlapping runs for one session: each has its own temporary file, a
// reader only ever sees a complete snapshot, and one of them wins.
TEST_F(ProgramRun, OverlappingRunsLeaveOneCompleteSnapshot) {
  const fs::path ctx = root_ / "ctx";
  fs::create_directory(ctx);
  constexpr int run_count = 8;
  const std::string pad(20000, 'x');
  std::vector<RunningProgram> running;
  for (int i = 0; i < run_count; ++i) {
    running.push_back(runner_.start(
        options(R"({"session_id":"abc","run":)" + std::to_string(i) + R"(,"pad":")" + pad + "\"}",
                ctx),
        root_ / ("scratch-" + std::to_string(i))));
  }
  const std::regex complete(
      R"(\{"pad":"x{20000}","run":\d,"session_id":"abc","timestamp":"[^"]+"\})");
  int reads = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline && reads < 2000) {
    const std::string seen = read_file(ctx / "abc.json");
    if (seen.empty()) continue;  // not there yet
    ++reads;
    ASSERT_TRUE(std::regex_match(seen, complete)) << seen.size() << " bytes";
  }
  for (RunningProgram& program : running) {
    const RunResult result = program.wait();
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_output + result.standard_error, "");
  }
  EXPECT_TRUE(std::regex_match(read_file(ctx / "abc.json"), complete));
  EXPECT_EQ(listing(ctx), (std::vector<std::string>{"abc.json"}));
}

// A snapshot that exceeds the file-size limit fails to write; the process is
// not killed, the temporary file goes and the older snapshot stays.
TEST_F(ProgramRun, AWriteOverTheFileSizeLimitKeepsTheOldFile) {
  if (windows_build()) GTEST_SKIP() << "only meaningful for the POSIX build";
  const fs::path ctx = root_ / "ctx";
  fs::create_directory(ctx);
  write_file(ctx / "abc.json", "old");
  RunOptions o = options(R"({"session_id":"abc","pad":")" + std::string(8000, 'x') + "\"}", ctx);
  o.file_size_limit = 4096;
  run_quietly(o);
  EXPECT_EQ(read_file(ctx / "abc.json"), "old");
  EXPECT_EQ(listing(ctx), (std::vector<std::string>{"abc.json"}));
}

}  // namespace
}  // namespace obrelix::e2e
