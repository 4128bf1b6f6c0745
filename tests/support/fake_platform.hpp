#pragma once

// A recording fake of the seam: an in-memory file system in either path
// grammar, scripted standard input, a fixed environment, clock and process
// identifier. Every call is recorded in order as text, e.g.
// "create_directory C:\a" or "replace_file /c/.a.7.tmp /c/a.json", and any
// call can be made to fail once with a chosen failure.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.hpp"

namespace obrelix::fake {

class FakePlatform final : public platform::Platform {
 public:
  explicit FakePlatform(platform::PathStyle style = platform::PathStyle::posix) : style_(style) {}

  // Standard input, served in order, then end of input. Bytes go out in as
  // many requests as it takes; an outcome answers one request.
  void add_stdin(std::string_view bytes) {
    stdin_.push_back({platform::ReadOutcome::data, std::string(bytes)});
  }
  void add_stdin_outcome(platform::ReadOutcome outcome) { stdin_.push_back({outcome, {}}); }

  void set_environment(platform::EnvRead read) { environment_ = std::move(read); }
  void set_clock(std::int64_t clock) { clock_ = clock; }
  void set_process_id(std::uint32_t pid) { pid_ = pid; }
  // Up to `bytes` of working memory for the run (none by default). Handing
  // it out is not recorded as a call.
  void set_working_memory(std::size_t bytes) { working_memory_.assign(bytes, std::byte{0xA5}); }

  // The file system. A root, and the empty text (the current directory),
  // are directories from the start.
  void add_directory(std::string_view path);
  void add_file(std::string_view path, std::string_view content);
  [[nodiscard]] bool is_directory(std::string_view path) const;
  [[nodiscard]] std::optional<std::string> file(std::string_view path) const;
  // Every entry made so far, with "/" after directories.
  [[nodiscard]] std::vector<std::string> entries() const;

  // The next call recorded exactly as `call` fails with `failure`. A failed
  // write still leaves the file it opened, empty, as a real one would.
  void fail(std::string call, platform::FsFailure failure) {
    failures_.emplace(std::move(call), failure);
  }

  [[nodiscard]] const std::vector<std::string>& calls() const { return calls_; }
  // The recorded calls whose text starts with `operation`.
  [[nodiscard]] std::vector<std::string> calls_of(std::string_view operation) const;
  void clear_calls() { calls_.clear(); }

  platform::PathStyle path_style() const noexcept override { return style_; }
  platform::StdinRead read_stdin(std::span<std::byte> destination) noexcept override;
  platform::EnvRead read_environment(std::string_view name) noexcept override;
  std::int64_t read_clock() noexcept override;
  std::uint32_t process_id() noexcept override;
  platform::Status create_directory(std::string_view path) noexcept override;
  bool is_existing_directory(std::string_view path) noexcept override;
  platform::Status write_temporary_file(std::string_view path,
                                        std::span<const std::byte> bytes) noexcept override;
  platform::Status replace_file(std::string_view from, std::string_view to) noexcept override;
  platform::Status delete_file(std::string_view path) noexcept override;
  std::span<std::byte> working_memory(std::size_t size) noexcept override {
    return std::span(working_memory_).first(std::min(size, working_memory_.size()));
  }

 private:
  struct StdinReply {
    platform::ReadOutcome outcome;
    std::string bytes;
  };
  struct Entry {
    bool directory = false;
    std::string content;
  };

  std::optional<platform::FsFailure> record(std::string call);
  [[nodiscard]] std::string key(std::string_view path) const;
  [[nodiscard]] bool is_root(std::string_view path) const;
  // The failure a real OS gives for an entry whose parent is missing or not
  // a directory; nothing when the parent is a directory.
  [[nodiscard]] std::optional<platform::FsFailure> parent_problem(std::string_view path) const;

  platform::PathStyle style_;
  std::deque<StdinReply> stdin_;
  platform::EnvRead environment_;
  std::int64_t clock_ = 0;
  std::uint32_t pid_ = 1;
  std::map<std::string, Entry> entries_;
  std::multimap<std::string, platform::FsFailure> failures_;
  std::vector<std::string> calls_;
  std::vector<std::byte> working_memory_;
};

// Failures as the portable code sees them.
inline constexpr platform::FsFailure not_found_failure{platform::FailureKind::os_error,
                                                       platform::FailureClass::not_found, 2};
inline constexpr platform::FsFailure exists_failure{platform::FailureKind::os_error,
                                                    platform::FailureClass::already_exists, 17};
inline constexpr platform::FsFailure denied_failure{platform::FailureKind::os_error,
                                                    platform::FailureClass::access_denied, 13};
inline constexpr platform::FsFailure other_failure{platform::FailureKind::os_error,
                                                   platform::FailureClass::other, 5};

}  // namespace obrelix::fake
