// Runs of the built program that overlap: writers publish snapshots of one
// session over and over while readers parse every read with the program's own
// reader. A reader must only ever see a whole snapshot. An in-place writer,
// the fault this guards against, shows the readers would notice.
// OBRELIX_OVERLAP_RUNS sets the runs per writer: 500 by default, fewer in a
// sanitized build or when a loader such as Wine starts the program.

#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/inotify.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "e2e/runner.hpp"
#include "json/reader.hpp"
#include "json/value.hpp"

namespace obrelix::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int writer_count = 4;
constexpr int reader_count = 2;
// One size per writer, from a few bytes to several pages, so that a read
// mixing two snapshots cannot pass for one.
constexpr std::size_t pad_sizes[writer_count] = {8, 3000, 40000, 200000};

// A sanitized build of the program takes some 15 times as long to start, and
// a run under a loader longer still, so those do fewer runs by default.
#if defined(__SANITIZE_ADDRESS__)
constexpr int default_runs_per_writer = 40;
#else
constexpr int default_runs_per_writer = 500;
#endif
constexpr int default_wrapped_runs_per_writer = 40;

int runs_per_writer(bool wrapped) {
  const char* text = std::getenv("OBRELIX_OVERLAP_RUNS");
  const int runs = text != nullptr ? std::atoi(text) : 0;
  if (runs > 0) return runs;
  return wrapped ? default_wrapped_runs_per_writer : default_runs_per_writer;
}

// The input of writer `w`: its pad, made of its own letter.
std::string input_of(int w, std::string_view session) {
  std::string input = R"({"pad":")";
  input.append(pad_sizes[w], static_cast<char>('a' + w));
  input.append(R"(","session_id":")").append(session).append(R"("})");
  return input;
}

std::vector<std::string> listing(const fs::path& directory) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return {names.begin(), names.end()};
}

// Reads the whole file as a reader of context files does: open, read to the
// end, close. Nothing when it cannot be opened or read.
std::optional<std::string> read_whole(const fs::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char block[65536];
  for (;;) {
    const ssize_t count = read(fd, block, sizeof block);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      close(fd);
      return std::nullopt;
    }
    if (count == 0) break;
    content.append(block, static_cast<std::size_t>(count));
  }
  close(fd);
  return content;
}

// Empty when `text` is one whole snapshot of a writer for `session`, else why not.
std::string fault_in(const std::optional<std::string>& text, std::string_view session) {
  if (!text.has_value()) return "unreadable";
  json::ParseResult parsed = json::parse_json(*text);
  if (!parsed.ok()) return "not one JSON document, " + std::to_string(text->size()) + " bytes";
  const json::JsonValue& root = parsed.document().root();
  const json::JsonValue* id = root.find_member("session_id");
  const json::JsonValue* time = root.find_member("timestamp");
  const json::JsonValue* pad = root.find_member("pad");
  if (id == nullptr || id->kind() != json::JsonKind::string || id->string_text() != session ||
      time == nullptr || time->kind() != json::JsonKind::string || pad == nullptr ||
      pad->kind() != json::JsonKind::string || pad->string_text().empty()) {
    return "members missing";
  }
  const std::string_view letters = pad->string_text();
  const int w = letters.front() - 'a';
  if (w < 0 || w >= writer_count || letters.size() != pad_sizes[w] ||
      letters.find_first_not_of(letters.front()) != std::string_view::npos) {
    return "a pad of mixed writers";
  }
  return {};
}

#if defined(__linux__)
constexpr bool renames_countable = true;
#else
constexpr bool renames_countable = false;
#endif

// Counts the renames onto one name in a directory: a run whose rename failed
// says nothing, so this is how a lost publication shows. Linux only.
class RenameCounter {
 public:
  RenameCounter(const fs::path& directory, std::string name) : name_(std::move(name)) {
#if defined(__linux__)
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The kernel merges an event into an unread one just like it, so the
    // rename's other half is watched too, keeping every two of ours apart.
    if (fd_ >= 0 && inotify_add_watch(fd_, directory.c_str(), IN_MOVED_FROM | IN_MOVED_TO) < 0) {
      close(fd_);
      fd_ = -1;
    }
#else
    static_cast<void>(directory);
#endif
  }
  RenameCounter(const RenameCounter&) = delete;
  RenameCounter& operator=(const RenameCounter&) = delete;
  ~RenameCounter() {
    if (fd_ >= 0) close(fd_);
  }

  // Takes in the events so far. Called after every run, so the kernel's
  // queue of events never fills up whatever the number of runs.
  void drain() {
#if defined(__linux__)
    const std::lock_guard lock(mutex_);
    alignas(inotify_event) char events[4096];
    while (fd_ >= 0) {
      const ssize_t size = read(fd_, events, sizeof events);
      if (size < 0 && errno == EINTR) continue;
      if (size <= 0) break;  // EAGAIN: nothing more for now
      for (ssize_t at = 0; at < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        if ((event->mask & IN_Q_OVERFLOW) != 0) overflowed_ = true;
        if ((event->mask & IN_MOVED_TO) != 0 && event->len > 0 &&
            std::string_view(event->name) == name_) {
          ++count_;
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
#endif
  }

  // The renames seen, or nothing when they could not all be counted.
  [[nodiscard]] std::optional<long> count() {
    drain();
    const std::lock_guard lock(mutex_);
    if (fd_ < 0 || overflowed_) return std::nullopt;
    return count_;
  }

 private:
  std::string name_;
  int fd_ = -1;
  std::mutex mutex_;
  long count_ = 0;
  bool overflowed_ = false;
};

// Readers that read the file in a loop until stopped and judge every read.
class Readers {
 public:
  Readers(fs::path file, std::string session)
      : file_(std::move(file)), session_(std::move(session)) {
    for (int r = 0; r < reader_count; ++r) threads_.emplace_back([this] { loop(); });
  }
  Readers(const Readers&) = delete;
  Readers& operator=(const Readers&) = delete;
  ~Readers() { stop(); }

  void stop() {
    stopping_ = true;
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }

  [[nodiscard]] long whole() const { return whole_; }
  [[nodiscard]] long torn() const { return torn_; }
  [[nodiscard]] std::string first_fault() {
    const std::lock_guard lock(mutex_);
    return first_fault_;
  }

 private:
  void loop() {
    while (!stopping_) {
      const std::string fault = fault_in(read_whole(file_), session_);
      if (fault.empty()) {
        ++whole_;
        continue;
      }
      if (torn_++ == 0) {
        const std::lock_guard lock(mutex_);
        first_fault_ = fault;
      }
    }
  }

  fs::path file_;
  std::string session_;
  std::atomic<bool> stopping_{false};
  std::atomic<long> whole_{0};
  std::atomic<long> torn_{0};
  std::mutex mutex_;
  std::string first_fault_;
  std::vector<std::thread> threads_;
};

class OverlappingRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "obrelix-overlap-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    if (!root_.empty()) fs::remove_all(root_);
  }

  RunOptions options(std::string input, const fs::path& directory) const {
    RunOptions o;
    o.input = std::move(input);
    o.context_dir = runner_.context_dir(directory);
    o.working_directory = root_;
    return o;
  }

  // Exit status 0 and no output, or false.
  static bool quiet(const RunResult& result) {
    return result.exited && result.exit_status == 0 && result.standard_output.empty() &&
           result.standard_error.empty();
  }

  ProgramRunner runner_;
  fs::path root_;
};

TEST_F(OverlappingRuns, ReadersOnlyEverSeeWholeSnapshots) {
  const fs::path ctx = root_ / "ctx";
  const fs::path file = ctx / "abc.json";
  // The file exists from the start, so failing to open it is a fault too.
  ASSERT_TRUE(quiet(runner_.run(options(input_of(0, "abc"), ctx), root_ / "scratch")));
  ASSERT_EQ(fault_in(read_whole(file), "abc"), "");

  const int runs = runs_per_writer(runner_.wrapped());
  std::atomic<int> loud_runs{0};
  const auto started = std::chrono::steady_clock::now();
  RenameCounter renames(ctx, "abc.json");
  Readers readers(file, "abc");
  std::vector<std::thread> writers;
  for (int w = 0; w < writer_count; ++w) {
    writers.emplace_back([&, w] {
      const RunOptions o = options(input_of(w, "abc"), ctx);
      const fs::path scratch = root_ / ("scratch" + std::to_string(w));
      for (int run = 0; run < runs; ++run) {
        if (!quiet(runner_.run(o, scratch))) ++loud_runs;
        renames.drain();
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  readers.stop();
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started);
  const std::optional<long> published = renames.count();

  RecordProperty("runs", writer_count * runs);
  RecordProperty("reads", static_cast<int>(readers.whole()));
  RecordProperty("milliseconds", static_cast<int>(seconds.count() * 1000));
  EXPECT_EQ(loud_runs, 0);
  if (renames_countable) {
    EXPECT_TRUE(published.has_value()) << "renames not all counted";
  }
  if (published.has_value()) {
    const long lost = writer_count * runs - *published;
    RecordProperty("lost_publications", static_cast<int>(lost));
    // A Windows program may find its rename refused while another run holds
    // the file it would replace; it then drops its snapshot, a whole one.
    if (runner_.windows_paths()) {
      EXPECT_LT(lost, writer_count * runs);
    } else {
      EXPECT_EQ(lost, 0);
    }
  }
  EXPECT_GT(readers.whole(), 0);
  EXPECT_EQ(readers.torn(), 0) << readers.first_fault();
  EXPECT_EQ(fault_in(read_whole(file), "abc"), "");
  EXPECT_EQ(listing(ctx), std::vector<std::string>{"abc.json"});
}

// The check above, against a writer that cuts the file and writes it again
// in place, in two halves: the readers must catch it.
TEST_F(OverlappingRuns, ReadersCatchAWriterThatWritesInPlace) {
  if (runner_.wrapped()) GTEST_SKIP() << "runs no program: the native run covers it";
  const fs::path file = root_ / "abc.json";
  const auto write_in_place = [&](std::string_view text) {
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    const std::size_t half = text.size() / 2;
    ASSERT_EQ(write(fd, text.data(), half), static_cast<ssize_t>(half));
    std::this_thread::sleep_for(100us);  // a writer that is slow
    ASSERT_EQ(write(fd, text.data() + half, text.size() - half),
              static_cast<ssize_t>(text.size() - half));
    close(fd);
  };
  std::string snapshots[writer_count];
  for (int w = 0; w < writer_count; ++w) {
    snapshots[w] = input_of(w, "abc");
    snapshots[w].insert(snapshots[w].size() - 1, R"(,"timestamp":"2000-02-29T00:00:00Z")");
    ASSERT_EQ(fault_in(snapshots[w], "abc"), "");
  }
  write_in_place(snapshots[0]);

  Readers readers(file, "abc");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  for (int round = 0; readers.torn() == 0 && std::chrono::steady_clock::now() < deadline; ++round) {
    write_in_place(snapshots[round % writer_count]);
  }
  readers.stop();
  EXPECT_GT(readers.torn(), 0);
}

std::string session_name(int i) {
  std::string name(1, 's');
  name += std::to_string(i);
  return name;
}

// Runs that all find the same directory tree missing race to make it; every
// one must still publish.
TEST_F(OverlappingRuns, RunsCreatingTheSameTreeAllPublish) {
  constexpr int run_count = 16;
  constexpr int rounds = 3;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(round);
    const fs::path ctx = root_ / ("round" + std::to_string(round)) / "a" / "b" / "c" / "d";
    fs::create_directory(root_ / ("round" + std::to_string(round)));
    std::vector<RunningProgram> running;
    std::vector<std::string> expected;
    for (int i = 0; i < run_count; ++i) {
      const std::string session = session_name(i);
      running.push_back(runner_.start(options(input_of(i % writer_count, session), ctx),
                                      root_ / ("scratch" + std::to_string(i))));
      expected.push_back(session + ".json");
    }
    for (RunningProgram& program : running) {
      const RunResult result = program.wait();
      EXPECT_TRUE(quiet(result)) << "exited " << result.exited << ", status " << result.exit_status
                                 << ", stderr: " << result.standard_error;
    }
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(listing(ctx), expected);
    for (int i = 0; i < run_count; ++i) {
      const std::string session = session_name(i);
      EXPECT_EQ(fault_in(read_whole(ctx / (session + ".json")), session), "") << session;
    }
  }
}

}  // namespace
}  // namespace obrelix::e2e
