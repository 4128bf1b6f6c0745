// The POSIX side of the seam: thin wrappers over the system calls. Every
// decision that is not about the OS lives in the portable code.

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "platform/platform.hpp"

namespace obrelix::platform {
namespace {

FsFailure os_failure(int error) noexcept {
  FailureClass failure_class = FailureClass::other;
  switch (error) {
    case ENOENT:
      failure_class = FailureClass::not_found;
      break;
    case EEXIST:
      failure_class = FailureClass::already_exists;
      break;
    case EACCES:
    case EPERM:
      failure_class = FailureClass::access_denied;
      break;
    default:
      // ENOTDIR among them: a parent that is not a directory cannot be made
      // one by creating it, so directory creation ends there.
      break;
  }
  return {FailureKind::os_error, failure_class, static_cast<std::uint32_t>(error)};
}

Status last_failure() noexcept {
  return os_failure(errno);
}

// Path text as the NUL-terminated string a system call takes. Most paths fit
// the inline area; longer ones get storage that cannot throw.
class OsPath {
 public:
  explicit OsPath(std::string_view path) noexcept {
    if (std::memchr(path.data(), '\0', path.size()) != nullptr) {
      failure_ = FsFailure{FailureKind::path_has_nul, FailureClass::other, 0};
      return;
    }
    char* text = inline_;
    if (path.size() >= sizeof inline_) {
      heap_.reset(new (std::nothrow) char[path.size() + 1]);
      if (heap_ == nullptr) {
        failure_ = FsFailure{FailureKind::out_of_memory, FailureClass::other, 0};
        return;
      }
      text = heap_.get();
    }
    if (!path.empty()) std::memcpy(text, path.data(), path.size());
    text[path.size()] = '\0';
    text_ = text;
  }
  OsPath(const OsPath&) = delete;
  OsPath& operator=(const OsPath&) = delete;

  [[nodiscard]] bool ok() const noexcept { return text_ != nullptr; }
  [[nodiscard]] const FsFailure& failure() const noexcept { return failure_; }
  [[nodiscard]] const char* c_str() const noexcept { return text_; }

 private:
  char inline_[256];
  std::unique_ptr<char[]> heap_;
  const char* text_ = nullptr;
  FsFailure failure_{};
};

// Closes on every path out; `close()` gives the result where it matters.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }

  [[nodiscard]] int get() const noexcept { return fd_; }
  [[nodiscard]] Status close() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? Status::success() : last_failure();
  }

 private:
  int fd_;
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_utf8(std::string_view text) noexcept {
  const auto* byte = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = byte + text.size();
  while (byte != end) {
    const unsigned lead = *byte++;
    if (lead < 0x80) continue;
    std::size_t follow = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      follow = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      follow = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      follow = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - byte) < follow) return false;
    for (std::size_t i = 0; i < follow; ++i, ++byte, low = 0x80, high = 0xBF) {
      if (*byte < low || *byte > high) return false;
    }
  }
  return true;
}

constexpr std::size_t large_page = std::size_t{2} << 20;
// Below this the heap serves as well: a large page would only add to the
// resident size.
constexpr std::size_t large_request = std::size_t{1} << 20;

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() noexcept {
    // A write past the file-size limit must fail with EFBIG and leave the old
    // context file in place, not kill the process halfway through.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
  }

  PathStyle path_style() const noexcept override { return PathStyle::posix; }

  StdinRead read_stdin(std::span<std::byte> destination) noexcept override {
    const std::size_t size =
        std::min(destination.size(), static_cast<std::size_t>(std::numeric_limits<ssize_t>::max()));
    const ssize_t count = ::read(STDIN_FILENO, destination.data(), size);
    if (count > 0) return {ReadOutcome::data, static_cast<std::size_t>(count)};
    if (count == 0) return {ReadOutcome::end_of_input, 0};
    if (errno == EINTR) return {ReadOutcome::interrupted, 0};
    // EBADF: the process was started without a standard input at all.
    if (errno == EBADF) return {ReadOutcome::end_of_input, 0};
    return {ReadOutcome::failed, 0};
  }

  EnvRead read_environment(std::string_view name) noexcept override {
    const OsPath os_name(name);
    const char* value = os_name.ok() ? std::getenv(os_name.c_str()) : nullptr;
    if (value == nullptr) return {};
    const std::string_view text(value);
    if (!is_utf8(text)) return {EnvOutcome::not_unicode, {}};
    try {
      return {EnvOutcome::text, std::string(text)};
    } catch (const std::bad_alloc&) {
      // The seam does not throw; without memory the run could not go on anyway.
      return {};
    }
  }

  std::int64_t read_clock() noexcept override {
    constexpr std::int64_t unix_epoch = 116'444'736'000'000'000;
    constexpr std::int64_t units_per_second = 10'000'000;
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t seconds = static_cast<std::int64_t>(now.tv_sec);
    // Saturate instead of wrapping for clocks the unit cannot hold.
    if (seconds > (max - unix_epoch) / units_per_second - 1) return max;
    if (seconds < (min + unix_epoch) / units_per_second + 1) return min;
    return unix_epoch + seconds * units_per_second + static_cast<std::int64_t>(now.tv_nsec / 100);
  }

  std::uint32_t process_id() noexcept override { return static_cast<std::uint32_t>(::getpid()); }

  Status create_directory(std::string_view path) noexcept override {
    const OsPath os_path(path);
    if (!os_path.ok()) return os_path.failure();
    return ::mkdir(os_path.c_str(), 0777) == 0 ? Status::success() : last_failure();
  }

  bool is_existing_directory(std::string_view path) noexcept override {
    const OsPath os_path(path);
    struct stat facts {};
    return os_path.ok() && ::stat(os_path.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
  }

  Status write_temporary_file(std::string_view path,
                              std::span<const std::byte> bytes) noexcept override {
    const OsPath os_path(path);
    if (!os_path.ok()) return os_path.failure();
    // The name is predictable, so anyone who can write to the directory can
    // plant something there first. O_NOFOLLOW refuses a symbolic link,
    // O_NONBLOCK keeps a FIFO from holding the run forever, and nothing is
    // cut before fstat shows a regular file of our own: a hard link to
    // another file would otherwise have that file overwritten.
    FileDescriptor file(
        ::open(os_path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666));
    if (file.get() < 0) return last_failure();
    struct stat facts {};
    if (::fstat(file.get(), &facts) != 0) return last_failure();
    if (!S_ISREG(facts.st_mode)) return os_failure(EINVAL);
    if (facts.st_nlink != 1) return os_failure(EMLINK);
    // A file someone else planted stays theirs: published, it would be a
    // context file its planter could rewrite at will. Root passes the open
    // whatever the file's mode, so only the owner tells.
    if (facts.st_uid != ::geteuid()) return os_failure(EPERM);
    // Only a leftover file has content to cut; a fresh one saves the call.
    if (facts.st_size != 0 && ::ftruncate(file.get(), 0) != 0) return last_failure();

    const std::byte* next = bytes.data();
    std::size_t remaining = bytes.size();
    while (remaining != 0) {
      const std::size_t size =
          std::min(remaining, static_cast<std::size_t>(std::numeric_limits<ssize_t>::max()));
      const ssize_t written = ::write(file.get(), next, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        return last_failure();
      }
      if (written == 0) return FsFailure{FailureKind::zero_byte_write, FailureClass::other, 0};
      next += written;
      remaining -= static_cast<std::size_t>(written);
    }
    return file.close();
  }

  Status replace_file(std::string_view from, std::string_view to) noexcept override {
    const OsPath os_from(from);
    if (!os_from.ok()) return os_from.failure();
    const OsPath os_to(to);
    if (!os_to.ok()) return os_to.failure();
    return ::rename(os_from.c_str(), os_to.c_str()) == 0 ? Status::success() : last_failure();
  }

  Status delete_file(std::string_view path) noexcept override {
    const OsPath os_path(path);
    if (!os_path.ok()) return os_path.failure();
    return ::unlink(os_path.c_str()) == 0 ? Status::success() : last_failure();
  }

  // Fresh anonymous pages. A large request gets its first 2 MiB as one large
  // page, mapped up front: a run that parses, copies and writes a document of
  // a megabyte touches a few megabytes, and on some machines (virtual ones in
  // particular) mapping each small page costs more than the parsing. The
  // rest stays small pages, mapped only when touched, so the resident size
  // grows with the document and not by whole large pages. Where the system
  // has no such advice, the pages are simply small.
  std::span<std::byte> working_memory(std::size_t size) noexcept override {
    if (size < large_request) return {};
    const std::size_t mapped = size + large_page;
    void* start =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED) return {};
    auto* bytes = static_cast<std::byte*>(start);
    const auto address = reinterpret_cast<std::uintptr_t>(start);
    const std::size_t skip =
        ((address + large_page - 1) & ~std::uintptr_t{large_page - 1}) - address;
#if defined(MADV_HUGEPAGE)
    if (::madvise(bytes + skip, large_page, MADV_HUGEPAGE) == 0) {
#if defined(MADV_POPULATE_WRITE)
      static_cast<void>(::madvise(bytes + skip, large_page, MADV_POPULATE_WRITE));
#endif
    }
#endif
    return {bytes + skip, size};
  }

  void prepare_working_memory(std::span<std::byte> part) noexcept override {
#if defined(MADV_POPULATE_WRITE)
    if (part.empty()) return;
    // Whole pages around the part; they all lie inside the mapping, which
    // starts on a page and runs a large page past the memory handed out.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(part.data()) & ~(page - 1);
    const auto end =
        (reinterpret_cast<std::uintptr_t>(part.data()) + part.size() + page - 1) & ~(page - 1);
    static_cast<void>(::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE));
#else
    static_cast<void>(part);
#endif
  }
};

}  // namespace

Platform& native_platform() noexcept {
  static PosixPlatform platform;
  return platform;
}

}  // namespace obrelix::platform
