#pragma once

// Runs the built program the way a host tool does: standard input from a
// file, a pipe, or none at all; the environment of the test plus the context
// directory variable; standard output and error captured to files. The
// program, an optional wrapper command (such as a Windows loader) and the
// path grammar the program expects come from OBRELIX_E2E_PROGRAM,
// OBRELIX_E2E_WRAPPER (words separated by spaces) and OBRELIX_E2E_PATH_STYLE
// (posix or windows).

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace obrelix::e2e {

enum class StdinSource { file, pipe, closed };

struct RunOptions {
  std::string input;
  StdinSource source = StdinSource::file;
  // The value of OBRELIX_CONTEXT_DIR as given, or unset; see context_dir().
  std::optional<std::string> context_dir;
  std::filesystem::path working_directory;
  // POSIX: the program's file-size limit in bytes (RLIMIT_FSIZE).
  std::optional<std::uint64_t> file_size_limit;
};

struct RunResult {
  bool exited = false;  // false: killed by a signal or timed out
  int exit_status = -1;
  std::string standard_output;
  std::string standard_error;
};

// A started run; `wait` feeds a pipe, reaps the process and collects output.
class RunningProgram {
 public:
  RunningProgram(pid_t pid, int pipe_end, std::string input, std::filesystem::path output_dir)
      : pid_(pid),
        pipe_end_(pipe_end),
        input_(std::move(input)),
        output_dir_(std::move(output_dir)) {}
  RunningProgram(RunningProgram&& other) noexcept;
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  ~RunningProgram();

  RunResult wait();

 private:
  pid_t pid_;
  int pipe_end_;
  std::string input_;
  std::filesystem::path output_dir_;
};

class ProgramRunner {
 public:
  // From the environment; the program defaults to the native build.
  ProgramRunner();

  [[nodiscard]] bool windows_paths() const { return windows_paths_; }
  // True when a wrapper command, such as a Windows loader, starts the program.
  [[nodiscard]] bool wrapped() const { return command_.size() > 1; }

  // A Linux directory as the program must be told it: /x/y, or Z:\x\y for
  // the Windows grammar.
  [[nodiscard]] std::string context_dir(const std::filesystem::path& directory) const;

  // Starts a run; `scratch` holds the input file and the captured output.
  RunningProgram start(const RunOptions& options, const std::filesystem::path& scratch) const;
  RunResult run(const RunOptions& options, const std::filesystem::path& scratch) const {
    return start(options, scratch).wait();
  }

 private:
  std::vector<std::string> command_;
  bool windows_paths_ = false;
};

// Whole-file helpers for the tests' own fixtures.
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view content);
// Entry names of a directory, sorted, with "/" after directories.
std::vector<std::string> listing(const std::filesystem::path& directory);

}  // namespace obrelix::e2e
