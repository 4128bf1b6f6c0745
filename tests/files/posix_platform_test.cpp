// The POSIX side of the seam against the real file system, in a fresh
// temporary directory per test.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/platform.hpp"

namespace obrelix::platform {
namespace {

namespace fs = std::filesystem;

std::span<const std::byte> bytes_of(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_file(const fs::path& path, std::string_view content) {
  std::ofstream(path, std::ios::binary) << content;
}

class PosixPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "obrelix-posix-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  [[nodiscard]] std::string at(std::string_view name) const { return (root_ / name).string(); }

  Platform& platform_ = native_platform();
  fs::path root_;
};

// Working memory comes only for requests large enough to need it, whole
// and writable from its first byte to its last, before and after a part of
// it is prepared.
TEST_F(PosixPlatformTest, WorkingMemoryIsGivenForLargeRequestsOnly) {
  EXPECT_TRUE(platform_.working_memory(64 * 1024).empty());
  for (const std::size_t size : {std::size_t{1} << 20, (std::size_t{3} << 20) + 12345}) {
    const std::span<std::byte> memory = platform_.working_memory(size);
    ASSERT_EQ(memory.size(), size);
    // Preparing a part that starts and ends inside pages maps them all and
    // changes nothing written before.
    memory[4100] = std::byte{0x11};
    platform_.prepare_working_memory(memory.subspan(4100, 70001));
    platform_.prepare_working_memory({});
    EXPECT_EQ(memory[4100], std::byte{0x11});
    std::memset(memory.data(), 0x5A, memory.size());
    EXPECT_EQ(memory.back(), std::byte{0x5A});
  }
}

TEST_F(PosixPlatformTest, CreateDirectoryNamesTheFailureClasses) {
  write_file(at("file"), "x");
  EXPECT_TRUE(platform_.create_directory(at("d")).ok());
  struct Case {
    std::string path;
    FailureKind kind;
    FailureClass failure_class;
    std::uint32_t code;
  };
  const Case cases[] = {
      {at("d"), FailureKind::os_error, FailureClass::already_exists, EEXIST},
      {at("file"), FailureKind::os_error, FailureClass::already_exists, EEXIST},
      {at("missing/d"), FailureKind::os_error, FailureClass::not_found, ENOENT},
      // Creating the parent could not help: the run ends at once.
      {at("file/d"), FailureKind::os_error, FailureClass::other, ENOTDIR},
      {at("nul") + std::string(1, '\0') + "x", FailureKind::path_has_nul, FailureClass::other, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Status status = platform_.create_directory(c.path);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure(), (FsFailure{c.kind, c.failure_class, c.code}));
  }
  EXPECT_FALSE(fs::exists(at("nul")));
}

TEST_F(PosixPlatformTest, IsExistingDirectoryFollowsLinks) {
  fs::create_directory(at("d"));
  write_file(at("file"), "x");
  fs::create_directory_symlink(at("d"), at("link-to-d"));
  fs::create_symlink(at("file"), at("link-to-file"));
  fs::create_symlink(at("gone"), at("dangling"));
  EXPECT_TRUE(platform_.is_existing_directory(at("d")));
  EXPECT_TRUE(platform_.is_existing_directory(at("link-to-d")));
  EXPECT_FALSE(platform_.is_existing_directory(at("file")));
  EXPECT_FALSE(platform_.is_existing_directory(at("link-to-file")));
  EXPECT_FALSE(platform_.is_existing_directory(at("dangling")));
  EXPECT_FALSE(platform_.is_existing_directory(at("missing")));
}

TEST_F(PosixPlatformTest, WriteTemporaryFileMakesTheBytesTheWholeContent) {
  EXPECT_TRUE(platform_.write_temporary_file(at("new"), bytes_of("snapshot")).ok());
  EXPECT_EQ(read_file(at("new")), "snapshot");
  // A leftover file of the name is reused and cut, not appended to.
  write_file(at("old"), "a much longer leftover content");
  EXPECT_TRUE(platform_.write_temporary_file(at("old"), bytes_of("short")).ok());
  EXPECT_EQ(read_file(at("old")), "short");
  EXPECT_TRUE(platform_.write_temporary_file(at("empty"), bytes_of("")).ok());
  EXPECT_EQ(read_file(at("empty")), "");
  // The umask applies to the 0666 mode.
  const mode_t mask = umask(0);
  umask(mask);
  struct stat facts {};
  ASSERT_EQ(stat(at("new").c_str(), &facts), 0);
  EXPECT_EQ(facts.st_mode & 0777, 0666 & ~mask);
}

// Anyone who can write to a shared context directory can plant something at
// the predictable temporary name; its target must never be written.
TEST_F(PosixPlatformTest, WriteTemporaryFileRefusesPlantedEntries) {
  write_file(at("victim"), "precious");
  fs::create_symlink(at("victim"), at("symlink"));
  fs::create_hard_link(at("victim"), at("hardlink"));
  ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
  fs::create_directory(at("dir"));
  for (const char* name : {"symlink", "hardlink", "fifo", "dir"}) {
    SCOPED_TRACE(name);
    const Status status = platform_.write_temporary_file(at(name), bytes_of("attack"));
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(read_file(at("victim")), "precious");
  }
  // A regular file planted by another user is not taken over either.
  if (geteuid() == 0) {
    write_file(at("foreign"), "planted");
    ASSERT_EQ(chown(at("foreign").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(platform_.write_temporary_file(at("foreign"), bytes_of("attack")).ok());
    EXPECT_EQ(read_file(at("foreign")), "planted");
  }
  // What was planted is removed as the name itself, never through it.
  EXPECT_TRUE(platform_.delete_file(at("symlink")).ok());
  EXPECT_TRUE(platform_.delete_file(at("hardlink")).ok());
  EXPECT_EQ(read_file(at("victim")), "precious");
}

// Past the file-size limit the write fails; the process is not killed.
TEST_F(PosixPlatformTest, WritePastTheFileSizeLimitFails) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const Status status = platform_.write_temporary_file(at("big"), bytes_of(std::string(5000, 'x')));
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.failure().code, static_cast<std::uint32_t>(EFBIG));
}

TEST_F(PosixPlatformTest, ReplaceAndDeleteFiles) {
  write_file(at("tmp"), "new");
  write_file(at("final"), "old");
  EXPECT_TRUE(platform_.replace_file(at("tmp"), at("final")).ok());
  EXPECT_EQ(read_file(at("final")), "new");
  EXPECT_FALSE(fs::exists(at("tmp")));

  write_file(at("tmp"), "new");
  fs::create_directory(at("taken"));
  EXPECT_FALSE(platform_.replace_file(at("tmp"), at("taken")).ok());
  EXPECT_TRUE(fs::is_directory(at("taken")));

  EXPECT_TRUE(platform_.delete_file(at("tmp")).ok());
  const Status missing = platform_.delete_file(at("tmp"));
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.failure().failure_class, FailureClass::not_found);
  EXPECT_EQ(platform_.delete_file(at("a") + std::string(1, '\0')).failure().kind,
            FailureKind::path_has_nul);
}

TEST(PosixPlatform, ReadEnvironmentTellsAbsentEmptyAndNotUnicode) {
  constexpr const char* name = "OBRELIX_POSIX_TEST_VARIABLE";
  Platform& platform = native_platform();
  unsetenv(name);
  EXPECT_EQ(platform.read_environment(name).outcome, EnvOutcome::absent);
  struct Case {
    std::string_view value;
    EnvOutcome outcome;
  };
  const Case cases[] = {
      {"", EnvOutcome::text},
      {"/tmp/ctx", EnvOutcome::text},
      {"/tmp/\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80", EnvOutcome::text},
      {"\xFF", EnvOutcome::not_unicode},
      {"a\xC3", EnvOutcome::not_unicode},             // cut short
      {"\xC0\xAF", EnvOutcome::not_unicode},          // overlong
      {"\xE0\x80\xAF", EnvOutcome::not_unicode},      // overlong
      {"\xED\xA0\x80", EnvOutcome::not_unicode},      // a surrogate
      {"\xF4\x90\x80\x80", EnvOutcome::not_unicode},  // above U+10FFFF
      {"\xE6\x97", EnvOutcome::not_unicode},          // cut short
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ASSERT_EQ(setenv(name, std::string(c.value).c_str(), 1), 0);
    const EnvRead read = platform.read_environment(name);
    EXPECT_EQ(read.outcome, c.outcome);
    if (c.outcome == EnvOutcome::text) {
      EXPECT_EQ(read.text, c.value);
    }
  }
  unsetenv(name);
}

// Standard input is swapped for the test and restored after it.
TEST(PosixPlatform, ReadStdinTellsDataEndAndFailure) {
  Platform& platform = native_platform();
  const int saved = dup(STDIN_FILENO);
  ASSERT_GE(saved, 0);
  std::byte area[16];

  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  ASSERT_EQ(write(pipe_ends[1], "abc", 3), 3);
  close(pipe_ends[1]);
  dup2(pipe_ends[0], STDIN_FILENO);
  close(pipe_ends[0]);
  const StdinRead data = platform.read_stdin(area);
  const StdinRead end = platform.read_stdin(area);

  // Reading a directory fails with EISDIR.
  const int directory = open("/", O_RDONLY | O_DIRECTORY);
  dup2(directory, STDIN_FILENO);
  close(directory);
  const StdinRead failed = platform.read_stdin(area);

  // No standard input at all counts as empty input.
  close(STDIN_FILENO);
  const StdinRead closed = platform.read_stdin(area);

  dup2(saved, STDIN_FILENO);
  close(saved);
  EXPECT_EQ(data.outcome, ReadOutcome::data);
  EXPECT_EQ(data.count, 3u);
  EXPECT_EQ(end.outcome, ReadOutcome::end_of_input);
  EXPECT_EQ(closed.outcome, ReadOutcome::end_of_input);
  EXPECT_EQ(failed.outcome, ReadOutcome::failed);
}

TEST(PosixPlatform, ClockAndProcessIdentifier) {
  Platform& platform = native_platform();
  constexpr std::int64_t epoch = 116'444'736'000'000'000;
  const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
  const std::int64_t seconds = (platform.read_clock() - epoch) / 10'000'000;
  const std::int64_t after = static_cast<std::int64_t>(std::time(nullptr));
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after + 1);  // time() may read a coarser clock
  EXPECT_EQ(platform.process_id(), static_cast<std::uint32_t>(getpid()));
  EXPECT_EQ(platform.path_style(), PathStyle::posix);
}

}  // namespace
}  // namespace obrelix::platform
