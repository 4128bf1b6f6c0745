// The Windows program end to end, in the cases only its path grammar and its
// devices have: context directories in the forms Windows users write them,
// paths beyond the classic length limit, a leftover file at the temporary
// name, standard input from the NUL device. Runs with the suite's runner
// (OBRELIX_E2E_PROGRAM, OBRELIX_E2E_WRAPPER, OBRELIX_E2E_PATH_STYLE=windows);
// against the native program only the deep-document case applies.

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/runner.hpp"

namespace obrelix::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t limit = 1'048'576;
constexpr std::string_view raw_text_key = "$obrelix::statusline::raw_json";

std::vector<std::string> listing(const fs::path& directory) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
  }
  return {names.begin(), names.end()};
}

// The whole snapshot of an input holding only `session_id`.
bool is_snapshot_of(const std::string& text, std::string_view id) {
  const std::regex form(R"(\{"session_id":")" + std::string(id) +
                        R"(","timestamp":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ"\})");
  return std::regex_match(text, form);
}

std::string json_string(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

// The Windows process ids of running copies of the program, as the Windows
// debugger of the loader lists them (in hex).
std::vector<std::uint32_t> listed_program_ids(const std::string& wrapper) {
  const std::string command = wrapper + " winedbg --command 'info proc' 2>/dev/null";
  std::vector<std::uint32_t> ids;
  FILE* const listing_pipe = popen(command.c_str(), "r");
  if (listing_pipe == nullptr) return ids;
  std::string text;
  char chunk[4096];
  for (std::size_t count; (count = fread(chunk, 1, sizeof chunk, listing_pipe)) > 0;) {
    text.append(chunk, count);
  }
  pclose(listing_pipe);
  const std::regex line(R"(([0-9a-f]{8})\s+[0-9a-f]+\s+(?:\\_ )*'obrelix-statusline\.exe')");
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
    ids.push_back(static_cast<std::uint32_t>(std::stoul((*it)[1].str(), nullptr, 16)));
  }
  return ids;
}

class WindowsRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "obrelix-win-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    work_ = root_ / "work";
    fs::create_directory(work_);
  }
  void TearDown() override {
    if (!root_.empty()) {
      fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add);
      fs::remove_all(root_);
    }
  }

  RunOptions options(std::string input, std::string directory_text,
                     StdinSource source = StdinSource::file) {
    RunOptions o;
    o.input = std::move(input);
    o.source = source;
    o.context_dir = std::move(directory_text);
    o.working_directory = work_;
    return o;
  }

  void expect_quiet(const RunResult& result) {
    EXPECT_TRUE(result.exited) << "killed or timed out";
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_output, "");
    EXPECT_EQ(result.standard_error, "");
  }

  void run_quietly(const RunOptions& o) { expect_quiet(runner_.run(o, next_scratch())); }

  fs::path next_scratch() { return root_ / ("scratch" + std::to_string(++runs_)); }

  ProgramRunner runner_;
  fs::path root_;
  fs::path work_;
  int runs_ = 0;
};

TEST_F(WindowsRun, DirectoriesAsWindowsUsersWriteThem) {
  if (!runner_.windows_paths()) GTEST_SKIP() << "only meaningful for the Windows program";
  const std::string root_text = runner_.context_dir(root_);  // Z:\...
  std::string forward_slashes = root_text + R"(\slash\ctx)";
  for (char& c : forward_slashes) {
    if (c == '\\') c = '/';
  }
  struct Case {
    std::string name;
    std::string text;
    fs::path directory;
  };
  const Case cases[] = {
      {"forward slashes", forward_slashes, root_ / "slash" / "ctx"},
      {"relative", R"(rel\ctx)", work_ / "rel" / "ctx"},
      {"relative to the drive's current directory", R"(Z:drive\ctx)", work_ / "drive" / "ctx"},
      {"verbatim, repeated trailing separators", R"(\\?\)" + root_text + R"(\verbatim\\ctx\\\)",
       root_ / "verbatim" / "ctx"},
      {"verbatim, a root and a name", R"(\\?\)" + root_text + R"(\v2)", root_ / "v2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + ": " + c.text);
    run_quietly(options(R"({"session_id":"abc"})", c.text));
    ASSERT_TRUE(fs::is_directory(c.directory));
    EXPECT_EQ(listing(c.directory), (std::vector<std::string>{"abc.json"}));
    EXPECT_TRUE(is_snapshot_of(read_file(c.directory / "abc.json"), "abc"));
  }
}

// From 247 characters on, paths are handed over in verbatim form, which has
// no length limit; shorter ones as written. Either way the files, longer
// than 260 characters, are written.
TEST_F(WindowsRun, LongPathsReachTheirFiles) {
  if (!runner_.windows_paths()) GTEST_SKIP() << "only meaningful for the Windows program";
  const std::string id(100, 'L');
  const std::size_t lengths[] = {246, 247, 400};
  for (const std::size_t length : lengths) {
    SCOPED_TRACE(length);
    fs::path directory = root_ / std::to_string(length);
    while (runner_.context_dir(directory).size() + 51 < length) directory /= std::string(50, 'd');
    const std::size_t rest = length - runner_.context_dir(directory).size() - 1;
    directory /= std::string(rest, 'e');
    const std::string text = runner_.context_dir(directory);
    ASSERT_EQ(text.size(), length);
    run_quietly(options(R"({"session_id":")" + id + R"("})", text));
    ASSERT_TRUE(fs::is_directory(directory));
    EXPECT_EQ(listing(directory), (std::vector<std::string>{id + ".json"}));
    EXPECT_TRUE(is_snapshot_of(read_file(directory / (id + ".json")), id));
    EXPECT_GT(text.size() + id.size() + 6, 260u);
  }
}

// A file left at the temporary name (same session, same process id) is
// reused, cut and rewritten; never do its old bytes reach the context file.
// Windows refuses to open a read-only one and then removes it; a loader that
// runs as root opens it like any other, so both endings are accepted there.
TEST_F(WindowsRun, LeftoverAtTheTemporaryNameNeverLeaks) {
  if (!runner_.windows_paths()) GTEST_SKIP() << "only meaningful for the Windows program";
  const char* wrapper = std::getenv("OBRELIX_E2E_WRAPPER");
  if (wrapper == nullptr || std::string_view(wrapper).find("wine") == std::string_view::npos) {
    GTEST_SKIP() << "needs the loader's debugger to learn the process id";
  }
  struct Case {
    const char* name;
    fs::perms mode;
    bool read_only;
  };
  const Case cases[] = {
      {"writable", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read, false},
      {"read-only", fs::perms::owner_read | fs::perms::group_read, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path ctx = root_ / c.name;
    fs::create_directory(ctx);
    // The program waits for its input before it names any file.
    RunningProgram running = runner_.start(
        options(R"({"session_id":"abc"})", runner_.context_dir(ctx), StdinSource::pipe),
        next_scratch());
    std::vector<std::uint32_t> ids;
    for (int attempt = 0; attempt < 100 && ids.empty(); ++attempt) {
      ids = listed_program_ids(wrapper);
      if (ids.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(ids.empty()) << "the running program was not listed";
    for (const std::uint32_t id : ids) {
      const fs::path leftover = ctx / (".abc." + std::to_string(id) + ".tmp");
      std::ofstream(leftover, std::ios::binary) << std::string(3000, 'o');
      fs::permissions(leftover, c.mode);
    }
    expect_quiet(running.wait());

    const std::vector<std::string> left = listing(ctx);
    if (c.read_only && left.empty()) continue;  // removed, nothing published
    ASSERT_EQ(left, (std::vector<std::string>{"abc.json"}));
    EXPECT_TRUE(is_snapshot_of(read_file(ctx / "abc.json"), "abc"));
    // The leftover itself became the context file: it kept its attributes.
    EXPECT_EQ(fs::status(ctx / "abc.json").permissions(), c.mode);
  }
}

// The NUL device as standard input ends the input at once. The same route
// with a file shows that the input does arrive that way.
TEST_F(WindowsRun, StandardInputFromTheNulDevice) {
  if (!runner_.windows_paths()) GTEST_SKIP() << "only meaningful for the Windows program";
  const char* wrapper = std::getenv("OBRELIX_E2E_WRAPPER");
  const char* program = std::getenv("OBRELIX_E2E_PROGRAM");
  if (wrapper == nullptr || program == nullptr || *program != '/') {
    GTEST_SKIP() << "needs the loader and the program's path";
  }
  const fs::path document = root_ / "document.json";
  std::ofstream(document, std::ios::binary) << R"({"session_id":"abc"})";
  const std::string windows_program = runner_.context_dir(program);
  // The command interpreter makes the redirection, so the program gets the
  // device itself and not a host file.
  const std::string saved_wrapper = wrapper;
  const std::string saved_program = program;
  setenv("OBRELIX_E2E_WRAPPER", (saved_wrapper + " cmd /c").c_str(), 1);
  struct Case {
    std::string redirection;
    bool written;
  };
  const Case cases[] = {{"< " + runner_.context_dir(document), true}, {"< NUL", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.redirection);
    setenv("OBRELIX_E2E_PROGRAM", (windows_program + " " + c.redirection).c_str(), 1);
    const ProgramRunner through_interpreter;
    const fs::path ctx = root_ / (c.written ? "from-file" : "from-nul");
    RunOptions o = options("", runner_.context_dir(ctx), StdinSource::closed);
    expect_quiet(through_interpreter.run(o, next_scratch()));
    EXPECT_EQ(fs::exists(ctx / "abc.json"), c.written);
  }
  setenv("OBRELIX_E2E_WRAPPER", saved_wrapper.c_str(), 1);
  setenv("OBRELIX_E2E_PROGRAM", saved_program.c_str(), 1);
}

// Each raw-text level is read by a reader of its own on the stack: the
// deepest chain that 1 MiB of input can hold must fit the main thread.
TEST_F(WindowsRun, TheDeepestRawTextChainFits) {
  const std::string arrays = std::string(126, '[') + std::string(126, ']');
  std::string document = R"({"session_id":"abc","d":)" + arrays + "}";
  int levels = 0;
  for (;;) {
    std::string wrapped = "{";
    wrapped += json_string(raw_text_key);
    wrapped += ':';
    wrapped += json_string(document);
    wrapped += '}';
    if (wrapped.size() > limit) break;
    document = std::move(wrapped);
    ++levels;
  }
  ASSERT_GE(levels, 10);
  const fs::path ctx = root_ / "ctx";
  run_quietly(options(document, runner_.context_dir(ctx)));
  const std::string snapshot = read_file(ctx / "abc.json");
  EXPECT_TRUE(snapshot.starts_with(R"({"d":)" + arrays + R"(,"session_id":"abc","timestamp":")"))
      << snapshot.substr(0, 80);
}

}  // namespace
}  // namespace obrelix::e2e
