// The built program against input made to hurt it: the deepest value that
// 1 MiB of raw-text documents can build, and a producer that never stops
// writing. Either way the run ends normally, quietly, with exit status 0.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/runner.hpp"

extern char** environ;

namespace obrelix::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t limit = 1'048'576;
constexpr std::string_view raw_text_key = "$obrelix::statusline::raw_json";

std::string json_string(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "obrelix-hostile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  ProgramRunner runner_;
  fs::path root_;
};

// Every raw-text document may open 127 levels of its own, so a chain of them,
// each under 126 arrays of the one around it, builds a value far deeper than
// any single document may be. Copying, writing and freeing it must not run
// out of stack.
TEST_F(HostileInput, TheDeepestRawTextChainWithinOneMebibyteIsPublished) {
  // Raw text under `arrays` open arrays, itself holding `inner`.
  const auto level = [](int arrays, std::string_view inner) {
    const std::string open(static_cast<std::size_t>(arrays), '[');
    const std::string close(static_cast<std::size_t>(arrays), ']');
    return open + "{" + json_string(raw_text_key) + ":" + json_string(inner) + "}" + close;
  };
  // The session object takes one level of the outermost document.
  const auto document = [&](std::string_view chain) {
    return R"({"session_id":"deep","d":)" + level(125, chain) + "}";
  };
  std::string chain = std::string(127, '[') + std::string(127, ']');
  int depth = 127;
  for (std::string deeper = level(126, chain); document(deeper).size() <= limit;
       deeper = level(126, chain)) {
    chain = std::move(deeper);
    depth += 126;
  }
  depth += 125;
  ASSERT_GT(depth, 1000);

  RunOptions o;
  o.input = document(chain);
  o.context_dir = runner_.context_dir(root_ / "ctx");
  o.working_directory = root_;
  const RunResult result = runner_.run(o, root_ / "scratch");
  EXPECT_TRUE(result.exited) << "killed or timed out";
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_output + result.standard_error, "");

  const std::string snapshot = read_file(root_ / "ctx" / "deep.json");
  const std::string arrays = std::string(static_cast<std::size_t>(depth), '[') +
                             std::string(static_cast<std::size_t>(depth), ']');
  ASSERT_TRUE(snapshot.starts_with(R"({"d":)" + arrays)) << snapshot.substr(0, 80);
  EXPECT_TRUE(std::regex_match(
      snapshot.substr(5 + arrays.size()),
      std::regex(R"(,"session_id":"deep","timestamp":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ"\})")))
      << snapshot.substr(5 + arrays.size());
}

// A producer that never stops: the program reads up to the input cap, takes
// the document there (a session object and spaces), and ends; the producer
// then finds nobody reading. Run without the suite's runner, which feeds a
// fixed input.
TEST_F(HostileInput, AnEndlessProducerIsReadOnlyUpToTheCap) {
  std::vector<std::string> command;
  if (const char* wrapper = std::getenv("OBRELIX_E2E_WRAPPER"); wrapper != nullptr) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) command.push_back(word);
  }
  const char* program = std::getenv("OBRELIX_E2E_PROGRAM");
  command.emplace_back(program != nullptr ? program : OBRELIX_E2E_DEFAULT_PROGRAM);
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  ASSERT_EQ(setenv("OBRELIX_CONTEXT_DIR", runner_.context_dir(root_ / "ctx").c_str(), 1), 0);

  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  unsetenv("OBRELIX_CONTEXT_DIR");
  close(ends[0]);
  ASSERT_EQ(spawned, 0);

  // Writes until the reading end is gone; the test ignores SIGPIPE for that.
  const auto previous = signal(SIGPIPE, SIG_IGN);
  std::atomic<std::uint64_t> written{0};
  std::thread producer([&] {
    const std::string head = R"({"session_id":"endless"})";
    const std::string spaces(65536, ' ');
    if (write(ends[1], head.data(), head.size()) != static_cast<ssize_t>(head.size())) return;
    written += head.size();
    for (;;) {
      const ssize_t count = write(ends[1], spaces.data(), spaces.size());
      if (count <= 0) return;
      written += static_cast<std::uint64_t>(count);
    }
  });

  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  pid_t reaped = 0;
  while ((reaped = waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (reaped == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  // With the program gone nobody reads: the producer's next write fails.
  producer.join();
  close(ends[1]);
  signal(SIGPIPE, previous);

  ASSERT_EQ(reaped, pid) << "the run did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(fs::exists(root_ / "ctx" / "endless.json"));
  // What the pipe can hold past the cap, and no more, was ever taken.
  EXPECT_LE(written.load(), limit + (std::uint64_t{1} << 20));
}

}  // namespace
}  // namespace obrelix::e2e
