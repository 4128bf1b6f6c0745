#include "e2e/runner.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace obrelix::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view variable = "OBRELIX_CONTEXT_DIR";
// Generous: a Windows build runs under a loader that starts slowly.
constexpr auto run_timeout = std::chrono::seconds(120);

void check(int result, const char* what) {
  if (result != 0) throw std::runtime_error(std::string(what) + ": " + std::strerror(result));
}

// Spawned programs must find 0, 1 and 2 taken, or a pipe or file opened
// here could land on one of them. CI may start the tests without them.
void occupy_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    const int opened = open("/dev/null", O_RDWR);
    if (opened != fd && opened >= 0) close(opened);
  }
}

}  // namespace

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_file(const std::filesystem::path& path, std::string_view content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Entry names of a directory, sorted, with "/" after directories.
std::vector<std::string> listing(const std::filesystem::path& directory) {
  std::set<std::string> names;
  for (const std::filesystem::directory_entry& entry :
       std::filesystem::directory_iterator(directory)) {
    names.insert(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
  }
  return {names.begin(), names.end()};
}

ProgramRunner::ProgramRunner() {
  occupy_standard_descriptors();
  // A pipe whose reader has left fails the write with EPIPE instead.
  signal(SIGPIPE, SIG_IGN);
  if (const char* wrapper = std::getenv("OBRELIX_E2E_WRAPPER")) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) command_.push_back(word);
  }
  const char* program = std::getenv("OBRELIX_E2E_PROGRAM");
  command_.emplace_back(program != nullptr && *program != '\0' ? program
                                                               : OBRELIX_E2E_DEFAULT_PROGRAM);
  const char* style = std::getenv("OBRELIX_E2E_PATH_STYLE");
  windows_paths_ = style != nullptr && std::string_view(style) == "windows";
}

std::string ProgramRunner::context_dir(const fs::path& directory) const {
  std::string text = directory.string();
  if (!windows_paths_ || text.empty() || text.front() != '/') return text;
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return "Z:" + text;
}

RunningProgram ProgramRunner::start(const RunOptions& options, const fs::path& scratch) const {
  fs::create_directories(scratch);
  const fs::path input_file = scratch / "stdin";
  std::ofstream(input_file, std::ios::binary) << options.input;

  posix_spawn_file_actions_t actions;
  check(posix_spawn_file_actions_init(&actions), "file actions");
  int pipe_ends[2] = {-1, -1};
  switch (options.source) {
    case StdinSource::file:
      check(posix_spawn_file_actions_addopen(&actions, 0, input_file.c_str(), O_RDONLY, 0),
            "stdin file");
      break;
    case StdinSource::pipe:
      // Close-on-exec, so no other child keeps the pipe open past its end.
      if (pipe(pipe_ends) != 0) throw std::runtime_error("pipe");
      fcntl(pipe_ends[0], F_SETFD, FD_CLOEXEC);
      fcntl(pipe_ends[1], F_SETFD, FD_CLOEXEC);
      check(posix_spawn_file_actions_adddup2(&actions, pipe_ends[0], 0), "stdin pipe");
      break;
    case StdinSource::closed:
      // Opened first, so the close cannot fail whatever the test was given.
      check(posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0), "stdin");
      check(posix_spawn_file_actions_addclose(&actions, 0), "stdin close");
      break;
  }
  const fs::path out = scratch / "stdout";
  const fs::path err = scratch / "stderr";
  check(posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644),
        "stdout");
  check(posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644),
        "stderr");
  if (!options.working_directory.empty()) {
    check(posix_spawn_file_actions_addchdir_np(&actions, options.working_directory.c_str()),
          "chdir");
  }

  // The program starts with the default signal dispositions a host gives it.
  posix_spawnattr_t attributes;
  check(posix_spawnattr_init(&attributes), "attributes");
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  check(posix_spawnattr_setsigdefault(&attributes, &defaults), "signal defaults");
  check(posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF), "flags");

  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with(std::string(variable) + "=")) environment.emplace_back(text);
  }
  if (options.context_dir.has_value()) {
    environment.push_back(std::string(variable) + "=" + *options.context_dir);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = command_;
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // The limit is inherited; the test's own files are all written by now.
  rlimit saved_limit{};
  if (options.file_size_limit.has_value()) {
    rlimit lowered{};
    getrlimit(RLIMIT_FSIZE, &saved_limit);
    lowered = saved_limit;
    lowered.rlim_cur = static_cast<rlim_t>(*options.file_size_limit);
    if (setrlimit(RLIMIT_FSIZE, &lowered) != 0) throw std::runtime_error("setrlimit");
  }
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  if (options.file_size_limit.has_value()) setrlimit(RLIMIT_FSIZE, &saved_limit);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (pipe_ends[0] >= 0) close(pipe_ends[0]);
  if (spawned != 0) {
    if (pipe_ends[1] >= 0) close(pipe_ends[1]);
    check(spawned, "spawn");
  }
  return RunningProgram(pid, pipe_ends[1],
                        options.source == StdinSource::pipe ? options.input : std::string(),
                        scratch);
}

RunningProgram::RunningProgram(RunningProgram&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      pipe_end_(std::exchange(other.pipe_end_, -1)),
      input_(std::move(other.input_)),
      output_dir_(std::move(other.output_dir_)) {}

RunningProgram::~RunningProgram() {
  if (pipe_end_ >= 0) close(pipe_end_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

RunResult RunningProgram::wait() {
  if (pipe_end_ >= 0) {
    // The program may stop reading at its limit: EPIPE ends the feeding.
    std::size_t written = 0;
    while (written < input_.size()) {
      const ssize_t count = write(pipe_end_, input_.data() + written, input_.size() - written);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) break;
      written += static_cast<std::size_t>(count);
    }
    close(pipe_end_);
    pipe_end_ = -1;
  }
  RunResult result;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + run_timeout;
  pid_t reaped = 0;
  while ((reaped = waitpid(pid_, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (reaped == pid_) {
    pid_ = -1;
    result.exited = WIFEXITED(status);
    if (result.exited) result.exit_status = WEXITSTATUS(status);
  }
  result.standard_output = read_file(output_dir_ / "stdout");
  result.standard_error = read_file(output_dir_ / "stderr");
  return result;
}

}  // namespace obrelix::e2e
