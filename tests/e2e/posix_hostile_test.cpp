// The built POSIX program in directories an unprivileged user cannot use as
// it would like: a directory it may not write to, and a read-only file
// planted at the temporary name. The tests usually run as root, which no
// permission stops, so the program runs under another user there.
// The file-size limit and names taken by other entries are end-to-end cases
// of the shared suite.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/runner.hpp"

namespace obrelix::e2e {
namespace {

namespace fs = std::filesystem;

constexpr uid_t unprivileged = 65534;
constexpr const char* wrapper_variable = "OBRELIX_E2E_WRAPPER";
constexpr const char* plant_variable = "OBRELIX_HOSTILE_PLANT";

std::vector<std::string> listing(const fs::path& directory) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return {names.begin(), names.end()};
}

std::optional<fs::path> find_in_path(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string directory; std::getline(directories, directory, ':');) {
    const fs::path candidate = fs::path(directory) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// Whether any user may run the file: it and every directory above it let
// others in.
bool others_can_run(const fs::path& program) {
  fs::path current = fs::absolute(program);
  struct stat facts {};
  if (stat(current.c_str(), &facts) != 0 || (facts.st_mode & S_IXOTH) == 0) return false;
  while (current.has_relative_path()) {
    current = current.parent_path();
    if (stat(current.c_str(), &facts) != 0 || (facts.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

class HostileDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* style = std::getenv("OBRELIX_E2E_PATH_STYLE");
    if (style != nullptr && std::string_view(style) == "windows") {
      GTEST_SKIP() << "POSIX permissions only";
    }
    if (std::getenv(wrapper_variable) != nullptr) GTEST_SKIP() << "runs the program directly only";
    const char* program = std::getenv("OBRELIX_E2E_PROGRAM");
    const fs::path built =
        program != nullptr && *program != '\0' ? program : OBRELIX_E2E_DEFAULT_PROGRAM;
    std::string drop;
    if (geteuid() == 0) {
      const std::optional<fs::path> setpriv = find_in_path("setpriv");
      if (!setpriv.has_value()) GTEST_SKIP() << "setpriv is missing: cannot leave root";
      if (!others_can_run(built)) {
        GTEST_SKIP() << built << " cannot be run by another user from where it lies";
      }
      drop = setpriv->string() + " --reuid=" + std::to_string(unprivileged) +
             " --regid=" + std::to_string(unprivileged) + " --clear-groups ";
    }

    std::string pattern = (fs::temp_directory_path() / "obrelix-hostile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    // The process id of the shell is the program's after exec, so the shell
    // can plant a file at exactly the temporary name the program will use.
    const fs::path script = root_ / "run-unprivileged";
    write_file(script,
               "#!/bin/sh\n"
               "if [ -n \"$" +
                   std::string(plant_variable) +
                   "\" ]; then\n"
                   "  planted=\"$OBRELIX_CONTEXT_DIR/.abc.$$.tmp\"\n"
                   "  printf planted >\"$planted\" && chmod 0444 \"$planted\" || exit 1\n"
                   "fi\n"
                   "exec " +
                   drop + "\"$@\"\n");
    fs::permissions(script, fs::perms::owner_all);
    ASSERT_EQ(setenv(wrapper_variable, script.c_str(), 1), 0);
    runner_.emplace();
    unsetenv(wrapper_variable);
  }
  void TearDown() override {
    if (!root_.empty()) fs::remove_all(root_);
  }

  std::optional<ProgramRunner> runner_;
  fs::path root_;
};

TEST_F(HostileDirectory, WhatTheUserMayNotWriteStaysAsItWas) {
  constexpr fs::perms writable = fs::perms::all;
  constexpr fs::perms read_only = fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec;
  const std::string older = R"({"session_id":"abc","timestamp":"old"})";
  struct Case {
    const char* name;
    bool owned;
    fs::perms mode;
    const char* under;  // a missing directory below, or nothing
    bool plant;
    bool published;
  };
  const Case cases[] = {
      // Shows the user can publish at all, so a refusal below is not vacuous.
      {"a directory of the user's own", true, writable, "", false, true},
      {"a directory without write permission", false, read_only, "", false, false},
      {"a missing directory below one without write permission", false, read_only, "ctx", false,
       false},
      {"a read-only file planted at the temporary name", true, writable, "", true, false},
  };
  int runs = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path parent = root_ / ("case" + std::to_string(++runs));
    fs::create_directory(parent);
    fs::permissions(parent, fs::perms::owner_all | fs::perms::others_exec);
    const fs::path directory = parent / "ctx";
    fs::create_directory(directory);
    write_file(directory / "abc.json", older);
    if (c.owned && geteuid() == 0) {
      ASSERT_EQ(chown(directory.c_str(), unprivileged, unprivileged), 0);
    }
    fs::permissions(directory, c.mode);
    const fs::path target = *c.under != '\0' ? directory / c.under : directory;

    RunOptions options;
    options.input = R"({"session_id":"abc","timestamp":"new"})";
    options.context_dir = target.string();
    options.working_directory = parent;
    if (c.plant) setenv(plant_variable, "1", 1);
    const RunResult result = runner_->run(options, parent / "scratch");
    unsetenv(plant_variable);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_output + result.standard_error, "");

    EXPECT_EQ(listing(directory), std::vector<std::string>{"abc.json"});
    if (c.published) {
      EXPECT_NE(read_file(directory / "abc.json"), older);
    } else {
      EXPECT_EQ(read_file(directory / "abc.json"), older);
    }
  }
}

}  // namespace
}  // namespace obrelix::e2e
