#pragma once

// The Windows side of the platform seam, as decisions between Win32 calls:
// which call comes next, with which flags, after which error. Portable: it
// speaks to Windows only through Win32Api, so the same code runs against the
// real functions in the program and against a recording fake in tests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform.hpp"
#include "platform/win32_api.hpp"

namespace obrelix::platform {

// Appends the UTF-8 form of `code`, a Unicode scalar value.
void append_utf8(std::string& text, char32_t code);

// NUL-terminated UTF-16 for one Windows call.
class OsPath {
 public:
  OsPath() noexcept = default;
  // Room for `length` units and a terminator, which is set; no room at all
  // when memory runs out.
  [[nodiscard]] static OsPath with_length(std::size_t length) noexcept;

  [[nodiscard]] bool has_room() const noexcept { return units_ != nullptr; }
  [[nodiscard]] char16_t* data() noexcept { return units_.get(); }
  [[nodiscard]] const char16_t* c_str() const noexcept { return units_.get(); }
  // The units without the terminator.
  [[nodiscard]] std::u16string_view view() const noexcept { return {units_.get(), length_}; }

 private:
  std::unique_ptr<char16_t[]> units_;
  std::size_t length_ = 0;
};

struct OsPathResult {
  OsPath path;                       // meaningful when there is no failure
  std::optional<FsFailure> failure;  // why there is no OS path

  [[nodiscard]] bool ok() const noexcept { return !failure.has_value(); }
};

// The OS path of a UTF-8 path text, built anew for every call: refused when
// the text holds NUL (before any call), handed over as it is when Windows
// takes it as it is, otherwise made absolute with GetFullPathNameW and put
// into verbatim (`\\?\`) form so that no length limit applies.
[[nodiscard]] OsPathResult to_os_path(Win32Api& api, std::string_view path) noexcept;

// A Windows error code as a file-system failure, with the class the portable
// algorithms branch on.
[[nodiscard]] FsFailure windows_failure(std::uint32_t code) noexcept;

// The process-wide standard-input buffer.
inline constexpr std::size_t stdin_buffer_size = 12288;

class WindowsPlatform final : public Platform {
 public:
  explicit WindowsPlatform(Win32Api& api) noexcept : api_(api) {}

  [[nodiscard]] PathStyle path_style() const noexcept override { return PathStyle::windows; }
  [[nodiscard]] StdinRead read_stdin(std::span<std::byte> destination) noexcept override;
  [[nodiscard]] EnvRead read_environment(std::string_view name) noexcept override;
  [[nodiscard]] std::int64_t read_clock() noexcept override;
  [[nodiscard]] std::uint32_t process_id() noexcept override;
  [[nodiscard]] Status create_directory(std::string_view path) noexcept override;
  [[nodiscard]] bool is_existing_directory(std::string_view path) noexcept override;
  [[nodiscard]] Status write_temporary_file(std::string_view path,
                                            std::span<const std::byte> bytes) noexcept override;
  [[nodiscard]] Status replace_file(std::string_view from, std::string_view to) noexcept override;
  [[nodiscard]] Status delete_file(std::string_view path) noexcept override;

 private:
  struct EntryFacts {
    std::uint32_t attributes = 0;
    std::uint32_t reparse_tag = 0;
  };
  enum class ProbeEnd : std::uint8_t { facts, cant_access, unknown };
  struct Probe {
    ProbeEnd end = ProbeEnd::unknown;
    EntryFacts facts;
  };

  StdinRead read_stdin_source(std::span<std::byte> destination) noexcept;
  StdinRead read_stdin_file(Win32Handle input, std::span<std::byte> destination) noexcept;
  StdinRead read_stdin_console(Win32Handle input, std::span<std::byte> destination) noexcept;
  Probe probe_entry(std::string_view path, std::uint32_t extra_flags) noexcept;
  Probe find_entry(std::string_view path) noexcept;
  Status cut_to_zero(Win32Handle file) noexcept;
  Status write_all(Win32Handle file, std::span<const std::byte> bytes) noexcept;
  Status rename_by_handle(std::string_view from, std::string_view to,
                          std::uint32_t first_error) noexcept;

  Win32Api& api_;
  std::array<std::byte, stdin_buffer_size> stdin_buffer_{};
  std::size_t stdin_begin_ = 0;
  std::size_t stdin_end_ = 0;
  // A leading surrogate that ended a console read waits for its partner.
  std::optional<char16_t> held_surrogate_;
};

}  // namespace obrelix::platform
