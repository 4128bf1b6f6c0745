#pragma once

// The seam between the portable program and the operating system. Plain types
// only: no OS header, no #ifdef. posix.cpp and windows.cpp implement it; tests
// implement it with a recording fake.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace obrelix::platform {

enum class FailureKind : std::uint8_t {
  os_error,         // `code` holds errno or the Windows error, as the OS gave it
  path_has_nul,     // a path held a NUL character; no OS call was made
  zero_byte_write,  // a write reported 0 bytes written
  out_of_memory,    // memory for a rename record could not be had
};

// The only distinctions the portable algorithms branch on. The platform side
// maps its own codes onto them.
enum class FailureClass : std::uint8_t { other, not_found, already_exists, access_denied };

struct FsFailure {
  FailureKind kind = FailureKind::os_error;
  FailureClass failure_class = FailureClass::other;
  std::uint32_t code = 0;

  friend bool operator==(const FsFailure&, const FsFailure&) = default;
};

// Success, or the failure of a file-system step.
class [[nodiscard]] Status {
 public:
  static Status success() noexcept { return Status{}; }
  Status(FsFailure failure) noexcept : failure_(failure), ok_(false) {}  // NOLINT: implicit

  [[nodiscard]] bool ok() const noexcept { return ok_; }
  [[nodiscard]] const FsFailure& failure() const noexcept { return failure_; }

 private:
  Status() noexcept = default;
  FsFailure failure_{};
  bool ok_ = true;
};

enum class ReadOutcome : std::uint8_t {
  data,          // `count` bytes, 1 or more, were delivered
  end_of_input,  // the source has ended, or there is none
  interrupted,   // nothing was delivered; the same request may be made again
  failed,        // any other failure; reading should stop
};

struct StdinRead {
  ReadOutcome outcome = ReadOutcome::end_of_input;
  std::size_t count = 0;
};

enum class EnvOutcome : std::uint8_t { text, absent, not_unicode };

struct EnvRead {
  EnvOutcome outcome = EnvOutcome::absent;
  std::string text;  // UTF-8; only meaningful for EnvOutcome::text
};

// Which path grammar the file-system calls expect.
enum class PathStyle : std::uint8_t { posix, windows };

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  [[nodiscard]] virtual PathStyle path_style() const noexcept = 0;

  // One request on standard input for up to `destination.size()` (at least 1) bytes.
  [[nodiscard]] virtual StdinRead read_stdin(std::span<std::byte> destination) noexcept = 0;

  // The value of an environment variable, as UTF-8.
  [[nodiscard]] virtual EnvRead read_environment(std::string_view name) noexcept = 0;

  // The system clock: 100-nanosecond units since 1601-01-01T00:00:00Z, signed.
  [[nodiscard]] virtual std::int64_t read_clock() noexcept = 0;

  [[nodiscard]] virtual std::uint32_t process_id() noexcept = 0;

  // Every path below is UTF-8 path text in this platform's grammar; a NUL in
  // it fails with FailureKind::path_has_nul before any OS call.

  // Creates one directory. Classes: not_found when a parent is missing,
  // already_exists when the name is taken (by anything).
  [[nodiscard]] virtual Status create_directory(std::string_view path) noexcept = 0;

  // Whether `path` names an existing directory. Every obstacle answers false.
  [[nodiscard]] virtual bool is_existing_directory(std::string_view path) noexcept = 0;

  // Creates or reuses the file at `path` and makes `bytes` its whole content.
  // Closes what it opened on every path; never flushes to stable storage.
  [[nodiscard]] virtual Status write_temporary_file(std::string_view path,
                                                    std::span<const std::byte> bytes) noexcept = 0;

  // Renames `from` onto `to`, replacing a file there in one step.
  [[nodiscard]] virtual Status replace_file(std::string_view from,
                                            std::string_view to) noexcept = 0;

  [[nodiscard]] virtual Status delete_file(std::string_view path) noexcept = 0;

  // Memory for the run's values, about `size` bytes, fresh and writable, that
  // stays until the process ends; a platform may give less or none, and the
  // run then takes memory from the heap. Obtaining it is never a failure.
  [[nodiscard]] virtual std::span<std::byte> working_memory(std::size_t size) noexcept {
    static_cast<void>(size);
    return {};
  }

  // A hint that the run is about to fill `part` of its working memory: a
  // platform may map those pages now, in one step, rather than one at a time
  // as they are first written. The memory works the same without it.
  virtual void prepare_working_memory(std::span<std::byte> part) noexcept {
    static_cast<void>(part);
  }
};

// The platform of the running process.
[[nodiscard]] Platform& native_platform() noexcept;

}  // namespace obrelix::platform
