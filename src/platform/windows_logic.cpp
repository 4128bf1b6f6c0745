#include "platform/windows_logic.hpp"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "files/windows_paths.hpp"

namespace obrelix::platform {
namespace {

constexpr std::uint32_t max_dword = std::numeric_limits<std::uint32_t>::max();

// Console reads ask for at most this many units, and a held leading
// surrogate rides in front of them.
constexpr std::size_t console_units_per_read = 4096;
constexpr char16_t ctrl_z = 0x1A;

bool is_leading_surrogate(char16_t unit) noexcept {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_trailing_surrogate(char16_t unit) noexcept {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}
bool is_separator(char16_t unit) noexcept {
  return unit == u'\\' || unit == u'/';
}

FsFailure failure_of(FailureKind kind) noexcept {
  return FsFailure{kind, FailureClass::other, 0};
}

// Decodes well-formed UTF-8 into `out` (which may be null, to count only).
// The number of UTF-16 units, or nothing when the text is not UTF-8.
std::optional<std::size_t> utf8_to_utf16(std::string_view text, char16_t* out) noexcept {
  std::size_t count = 0;
  const auto emit = [&](char16_t unit) {
    if (out != nullptr) out[count] = unit;
    ++count;
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      emit(lead);
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07u, least = 0x10000;
    } else {
      return std::nullopt;
    }
    if (text.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0u) != 0x80u) return std::nullopt;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    if (code >= 0x10000) {
      code -= 0x10000;
      emit(static_cast<char16_t>(0xD800 + (code >> 10)));
      emit(static_cast<char16_t>(0xDC00 + (code & 0x3FFu)));
    } else {
      emit(static_cast<char16_t>(code));
    }
    i += length;
  }
  return count;
}

// UTF-8 of UTF-16 units; nothing when a surrogate has no partner.
std::optional<std::string> utf16_to_utf8(std::u16string_view units) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t code = units[i];
    if (is_trailing_surrogate(units[i])) return std::nullopt;
    if (is_leading_surrogate(units[i])) {
      if (i + 1 == units.size() || !is_trailing_surrogate(units[i + 1])) return std::nullopt;
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
      ++i;
    }
    append_utf8(text, code);
  }
  return text;
}

bool starts_with(std::u16string_view units, std::u16string_view prefix) noexcept {
  return units.substr(0, prefix.size()) == prefix;
}

// Texts Windows takes as they are: verbatim and NT-namespace forms, the
// empty text, and classic-length absolute paths with a drive or two leading
// separators. `units` is without the terminator.
bool passes_unchanged(std::u16string_view units) noexcept {
  if (starts_with(units, uR"(\\?\)") || starts_with(units, uR"(\??\)")) return true;
  if (units.empty()) return true;
  if (units.size() + 1 >= 248 || units.size() < 2) return false;
  const bool drive =
      !is_separator(units[0]) && units[1] == u':' && (units.size() == 2 || is_separator(units[2]));
  return drive || (is_separator(units[0]) && is_separator(units[1]));
}

// Growing the GetFullPathNameW buffer; nothing when it cannot grow.
std::optional<std::uint32_t> next_full_path_size(std::uint32_t size,
                                                 std::uint32_t result) noexcept {
  if (result > size) return result;
  // A result equal to the size means the buffer was too small, without
  // saying how small: double it.
  if (size == max_dword) return std::nullopt;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{size} * 2, max_dword));
}

// The verbatim form of an absolute path from GetFullPathNameW, terminated.
OsPathResult verbatim_form(std::u16string_view absolute) noexcept {
  std::u16string_view prefix;
  std::size_t skip = 0;
  if (absolute.size() >= 3 && absolute[1] == u':' && absolute[2] == u'\\') {
    prefix = uR"(\\?\)";
  } else if (starts_with(absolute, uR"(\\.\)")) {
    prefix = uR"(\\?\)";
    skip = 4;
  } else if (starts_with(absolute, uR"(\\?\)") || starts_with(absolute, uR"(\?)")) {
    // Already verbatim, or in the NT namespace.
  } else if (starts_with(absolute, uR"(\\)")) {
    prefix = uR"(\\?\UNC\)";
    skip = 2;
  }
  const std::u16string_view rest = absolute.substr(skip);
  OsPathResult result{OsPath::with_length(prefix.size() + rest.size()), std::nullopt};
  if (!result.path.has_room()) {
    result.failure = failure_of(FailureKind::out_of_memory);
    return result;
  }
  std::copy(prefix.begin(), prefix.end(), result.path.data());
  std::copy(rest.begin(), rest.end(), result.path.data() + prefix.size());
  return result;
}

OsPathResult failed_path(FsFailure failure) noexcept {
  return OsPathResult{{}, failure};
}

// UTF-16 of UTF-8 text, terminated. Texts come from the environment and from
// fixed names, so they are UTF-8; anything else is refused as Windows refuses
// untranslatable text.
OsPathResult widen(std::string_view text) noexcept {
  const std::optional<std::size_t> count = utf8_to_utf16(text, nullptr);
  if (!count) return failed_path(windows_failure(win32::error_no_unicode_translation));
  OsPathResult wide{OsPath::with_length(*count), std::nullopt};
  if (!wide.path.has_room()) return failed_path(failure_of(FailureKind::out_of_memory));
  static_cast<void>(utf8_to_utf16(text, wide.path.data()));
  return wide;
}

class HandleCloser {
 public:
  HandleCloser(Win32Api& api, Win32Handle handle) noexcept : api_(api), handle_(handle) {}
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;
  ~HandleCloser() { api_.close_handle(handle_); }

 private:
  Win32Api& api_;
  Win32Handle handle_;
};

// Verbatim directories are created and tested as the directory join_path
// puts the files in: Windows refuses the empty names of repeated `\`.
template <class Use>
auto with_directory_text(std::string_view path, Use use) {
  if (!path.starts_with(R"(\\?\)")) return use(path);
  const std::string collapsed = files::windows_collapse_verbatim(path);
  return use(std::string_view(collapsed));
}

bool is_link(std::uint32_t attributes, std::uint32_t reparse_tag) noexcept {
  return (attributes & win32::file_attribute_reparse_point) != 0 &&
         (reparse_tag & win32::reparse_tag_name_surrogate_bit) != 0;
}

}  // namespace

OsPath OsPath::with_length(std::size_t length) noexcept {
  OsPath path;
  if (length >= std::numeric_limits<std::size_t>::max() / sizeof(char16_t) - 1) return path;
  path.units_.reset(new (std::nothrow) char16_t[length + 1]);
  if (path.units_ == nullptr) return path;
  path.units_[length] = 0;
  path.length_ = length;
  return path;
}

FsFailure windows_failure(std::uint32_t code) noexcept {
  FailureClass failure_class = FailureClass::other;
  switch (code) {
    case win32::error_file_not_found:
    case win32::error_path_not_found:
    case win32::error_invalid_drive:
    case win32::error_bad_netpath:
    case win32::error_bad_net_name:
      failure_class = FailureClass::not_found;
      break;
    case win32::error_file_exists:
    case win32::error_already_exists:
      failure_class = FailureClass::already_exists;
      break;
    case win32::error_access_denied:
      failure_class = FailureClass::access_denied;
      break;
    default:
      break;
  }
  return FsFailure{FailureKind::os_error, failure_class, code};
}

OsPathResult to_os_path(Win32Api& api, std::string_view path) noexcept {
  if (path.find('\0') != std::string_view::npos) {
    return failed_path(failure_of(FailureKind::path_has_nul));
  }
  OsPathResult given = widen(path);
  if (!given.ok() || passes_unchanged(given.path.view())) return given;

  std::uint32_t size = 512;
  OsPath absolute = OsPath::with_length(size);
  for (;;) {
    if (!absolute.has_room()) return failed_path(failure_of(FailureKind::out_of_memory));
    api.set_last_error(0);
    const std::uint32_t result = api.get_full_path_name(given.path.c_str(), size, absolute.data());
    if (result == 0) {
      const std::uint32_t error = api.get_last_error();
      if (error != 0) return failed_path(windows_failure(error));
    }
    if (result < size) return verbatim_form(absolute.view().substr(0, result));
    const std::optional<std::uint32_t> grown = next_full_path_size(size, result);
    if (!grown) return failed_path(windows_failure(win32::error_insufficient_buffer));
    size = *grown;
    absolute = OsPath::with_length(size);
  }
}

// --- Standard input

StdinRead WindowsPlatform::read_stdin(std::span<std::byte> destination) noexcept {
  if (destination.empty()) return {ReadOutcome::failed, 0};
  if (stdin_begin_ == stdin_end_) {
    // Large requests skip the buffer; small ones refill it with one read.
    if (destination.size() >= stdin_buffer_size) return read_stdin_source(destination);
    const StdinRead fill = read_stdin_source(stdin_buffer_);
    if (fill.outcome != ReadOutcome::data) return fill;
    stdin_begin_ = 0;
    stdin_end_ = fill.count;
  }
  const std::size_t count = std::min(destination.size(), stdin_end_ - stdin_begin_);
  std::memcpy(destination.data(), stdin_buffer_.data() + stdin_begin_, count);
  stdin_begin_ += count;
  return {ReadOutcome::data, count};
}

StdinRead WindowsPlatform::read_stdin_source(std::span<std::byte> destination) noexcept {
  const Win32Handle input = api_.get_std_handle(win32::std_input_handle);
  // A process started without standard input has a null handle: no input.
  if (input == null_handle) return {ReadOutcome::end_of_input, 0};
  if (input == invalid_handle_value) {
    const bool ended = api_.get_last_error() == win32::error_invalid_handle;
    return {ended ? ReadOutcome::end_of_input : ReadOutcome::failed, 0};
  }
  std::uint32_t mode = 0;
  if (api_.get_console_mode(input, &mode)) return read_stdin_console(input, destination);
  return read_stdin_file(input, destination);
}

StdinRead WindowsPlatform::read_stdin_file(Win32Handle input,
                                           std::span<std::byte> destination) noexcept {
  const auto length =
      static_cast<std::uint32_t>(std::min<std::size_t>(destination.size(), max_dword));
  IoStatusBlock io_status{};
  io_status.status = win32::status_pending;
  io_status.information = 0;
  std::int32_t status = api_.nt_read_file(input, &io_status, destination.data(), length);
  if (status == win32::status_pending) {
    // Standard input may be an overlapped handle; the read ends when the
    // handle is signalled and the status block is filled in.
    static_cast<void>(api_.wait_for_single_object(input, win32::infinite));
    status = io_status.status;
    if (status == win32::status_pending) return {ReadOutcome::failed, 0};
  }
  if (status == win32::status_end_of_file) return {ReadOutcome::end_of_input, 0};
  if (status < 0) {
    switch (api_.rtl_nt_status_to_dos_error(status)) {
      case win32::error_invalid_handle:
      case win32::error_broken_pipe:
      case win32::error_no_data:
      case win32::wsae_shutdown:
        return {ReadOutcome::end_of_input, 0};
      default:
        return {ReadOutcome::failed, 0};
    }
  }
  const std::size_t count = std::min<std::uintptr_t>(io_status.information, length);
  if (count == 0) return {ReadOutcome::end_of_input, 0};
  return {ReadOutcome::data, count};
}

StdinRead WindowsPlatform::read_stdin_console(Win32Handle input,
                                              std::span<std::byte> destination) noexcept {
  // Every unit becomes at most three bytes (a pair becomes four), so a third
  // of the request in units always fits once converted.
  const std::size_t allowed = std::min(destination.size() / 3, console_units_per_read);
  std::array<char16_t, console_units_per_read + 1> units{};
  for (;;) {
    std::size_t held = 0;
    if (held_surrogate_) {
      units[0] = *held_surrogate_;
      held_surrogate_.reset();
      held = 1;
    }
    const auto asked = static_cast<std::uint32_t>(allowed > held ? allowed - held : 1);
    ConsoleReadControl control;
    control.length = sizeof(ConsoleReadControl);
    control.initial_chars = 0;
    control.ctrl_wakeup_mask = win32::ctrl_z_wakeup_mask;
    control.control_key_state = 0;
    std::uint32_t read = 0;
    bool ok = false;
    for (;;) {
      api_.set_last_error(0);
      read = 0;
      ok = api_.read_console(input, units.data() + held, asked, &read, &control);
      // Ctrl-C aborts a console read without ending the input.
      if (read == 0 && api_.get_last_error() == win32::error_operation_aborted) continue;
      break;
    }
    if (!ok) {
      const bool ended = api_.get_last_error() == win32::error_invalid_handle;
      return {ended ? ReadOutcome::end_of_input : ReadOutcome::failed, 0};
    }
    std::size_t count = held + std::min<std::size_t>(read, asked);
    // Ctrl-Z wakes the read; as its last unit it marks the end of input.
    const bool ends_with_ctrl_z = count > 0 && units[count - 1] == ctrl_z;
    if (ends_with_ctrl_z) --count;
    if (count > 0 && is_leading_surrogate(units[count - 1])) {
      held_surrogate_ = units[count - 1];
      --count;
    }
    if (count == 0) {
      // A read that brought only a held-back leading surrogate has not ended
      // the input: its partner comes with the next read.
      if (read > 0 && !ends_with_ctrl_z && held_surrogate_) continue;
      return {ReadOutcome::end_of_input, 0};
    }
    const int capacity = static_cast<int>(std::min<std::size_t>(destination.size(), INT_MAX));
    const int bytes = api_.wide_char_to_multi_byte(
        win32::cp_utf8, win32::wc_err_invalid_chars, units.data(), static_cast<int>(count),
        reinterpret_cast<char*>(destination.data()), capacity);
    // Zero: an unpaired surrogate has no UTF-8 form, and console input is
    // taken only as UTF-16.
    if (bytes <= 0) return {ReadOutcome::failed, 0};
    return {ReadOutcome::data, static_cast<std::size_t>(bytes)};
  }
}

// --- Environment, clock, process

EnvRead WindowsPlatform::read_environment(std::string_view name) noexcept {
  // No variable has a name that is not text, or that holds NUL.
  if (name.find('\0') != std::string_view::npos) return {EnvOutcome::absent, {}};
  const OsPathResult wide_name = widen(name);
  if (!wide_name.ok()) return {EnvOutcome::absent, {}};

  std::uint32_t size = 512;
  for (;;) {
    const std::unique_ptr<char16_t[]> buffer(new (std::nothrow) char16_t[size]);
    if (buffer == nullptr) return {EnvOutcome::absent, {}};
    api_.set_last_error(0);
    const std::uint32_t result =
        api_.get_environment_variable(wide_name.path.c_str(), buffer.get(), size);
    if (result == 0) {
      // Zero is the length of an empty value unless an error was set.
      if (api_.get_last_error() != 0) return {EnvOutcome::absent, {}};
      return {EnvOutcome::text, {}};
    }
    if (result < size) {
      std::optional<std::string> text = utf16_to_utf8({buffer.get(), result});
      if (!text) return {EnvOutcome::not_unicode, {}};
      return {EnvOutcome::text, std::move(*text)};
    }
    // Too small: the result is the size needed, terminator included.
    if (result > size) {
      size = result;
    } else if (size == max_dword) {
      return {EnvOutcome::absent, {}};
    } else {
      size =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{size} * 2, max_dword));
    }
  }
}

std::int64_t WindowsPlatform::read_clock() noexcept {
  const FileTime time = api_.get_system_time_precise_as_file_time();
  const std::uint64_t joined = (std::uint64_t{time.high} << 32) | time.low;
  return std::bit_cast<std::int64_t>(joined);
}

std::uint32_t WindowsPlatform::process_id() noexcept {
  return api_.get_current_process_id();
}

// --- Directories

Status WindowsPlatform::create_directory(std::string_view path) noexcept {
  return with_directory_text(path, [&](std::string_view directory) -> Status {
    const OsPathResult os_path = to_os_path(api_, directory);
    if (!os_path.ok()) return *os_path.failure;
    if (api_.create_directory(os_path.path.c_str())) return Status::success();
    return windows_failure(api_.get_last_error());
  });
}

bool WindowsPlatform::is_existing_directory(std::string_view path) noexcept {
  return with_directory_text(path, [&](std::string_view directory) {
    Probe probe = probe_entry(directory, 0);
    // The entry cannot be opened as what it points to; look at the entry itself.
    if (probe.end == ProbeEnd::cant_access) {
      probe = probe_entry(directory, win32::file_flag_open_reparse_point);
    }
    if (probe.end != ProbeEnd::facts) return false;
    return (probe.facts.attributes & win32::file_attribute_directory) != 0 &&
           !is_link(probe.facts.attributes, probe.facts.reparse_tag);
  });
}

WindowsPlatform::Probe WindowsPlatform::probe_entry(std::string_view path,
                                                    std::uint32_t extra_flags) noexcept {
  Win32Handle entry = invalid_handle_value;
  {
    const OsPathResult os_path = to_os_path(api_, path);
    if (!os_path.ok()) return {};
    entry = api_.create_file(os_path.path.c_str(), 0, win32::file_share_all, win32::open_existing,
                             win32::file_flag_backup_semantics | extra_flags);
  }
  if (entry == invalid_handle_value) {
    switch (api_.get_last_error()) {
      // Entries that cannot be opened may still be listed in their directory.
      case win32::error_access_denied:
      case win32::error_sharing_violation:
        return find_entry(path);
      case win32::error_cant_access_file:
        return {ProbeEnd::cant_access, {}};
      default:
        return {};
    }
  }
  const HandleCloser closer(api_, entry);
  HandleFileInformation information;
  if (!api_.get_file_information_by_handle(entry, &information)) return {};
  Probe probe{ProbeEnd::facts, {information.attributes, 0}};
  if ((information.attributes & win32::file_attribute_reparse_point) != 0) {
    std::array<std::uint32_t, 2> attribute_tag{};  // FILE_ATTRIBUTE_TAG_INFO
    if (!api_.get_file_information_by_handle_ex(entry, win32::file_attribute_tag_info,
                                                attribute_tag.data(), sizeof(attribute_tag))) {
      return {};
    }
    if ((attribute_tag[0] & win32::file_attribute_reparse_point) != 0) {
      probe.facts.reparse_tag = attribute_tag[1];
    }
  }
  return probe;
}

WindowsPlatform::Probe WindowsPlatform::find_entry(std::string_view path) noexcept {
  const OsPathResult os_path = to_os_path(api_, path);
  if (!os_path.ok()) return {};
  FindData data;
  const Win32Handle find = api_.find_first_file_ex(os_path.path.c_str(), win32::find_ex_info_basic,
                                                   &data, win32::find_ex_search_name_match, 0);
  if (find == invalid_handle_value) return {};
  api_.find_close(find);
  return {ProbeEnd::facts, {data.attributes, data.reserved0}};
}

// --- Files

Status WindowsPlatform::write_temporary_file(std::string_view path,
                                             std::span<const std::byte> bytes) noexcept {
  const OsPathResult os_path = to_os_path(api_, path);
  if (!os_path.ok()) return *os_path.failure;
  // OPEN_ALWAYS, not CREATE_ALWAYS: a leftover file keeps its attributes and
  // creation time, and only its content is replaced.
  const Win32Handle file = api_.create_file(os_path.path.c_str(), win32::generic_write,
                                            win32::file_share_all, win32::open_always, 0);
  if (file == invalid_handle_value) return windows_failure(api_.get_last_error());
  const bool existed = api_.get_last_error() == win32::error_already_exists;
  const HandleCloser closer(api_, file);
  if (existed) {
    const Status cut = cut_to_zero(file);
    if (!cut.ok()) return cut;
  }
  return write_all(file, bytes);
}

Status WindowsPlatform::cut_to_zero(Win32Handle file) noexcept {
  const std::uint64_t zero = 0;  // FILE_ALLOCATION_INFO and FILE_END_OF_FILE_INFO alike
  if (api_.set_file_information_by_handle(file, win32::file_allocation_info, &zero, sizeof zero)) {
    return Status::success();
  }
  if (api_.set_file_information_by_handle(file, win32::file_end_of_file_info, &zero, sizeof zero)) {
    return Status::success();
  }
  return windows_failure(api_.get_last_error());
}

Status WindowsPlatform::write_all(Win32Handle file, std::span<const std::byte> bytes) noexcept {
  while (!bytes.empty()) {
    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), max_dword));
    IoStatusBlock io_status{};
    io_status.status = win32::status_pending;
    io_status.information = 0;
    std::int32_t status = api_.nt_write_file(file, &io_status, bytes.data(), length);
    if (status == win32::status_pending) {
      static_cast<void>(api_.wait_for_single_object(file, win32::infinite));
      status = io_status.status;
      if (status == win32::status_pending) return windows_failure(win32::error_io_pending);
    }
    if (status < 0) return windows_failure(api_.rtl_nt_status_to_dos_error(status));
    const std::size_t written = std::min<std::uintptr_t>(io_status.information, length);
    if (written == 0) return failure_of(FailureKind::zero_byte_write);
    bytes = bytes.subspan(written);
  }
  return Status::success();
}

Status WindowsPlatform::replace_file(std::string_view from, std::string_view to) noexcept {
  std::uint32_t first_error = 0;
  {
    const OsPathResult os_from = to_os_path(api_, from);
    if (!os_from.ok()) return *os_from.failure;
    const OsPathResult os_to = to_os_path(api_, to);
    if (!os_to.ok()) return *os_to.failure;
    if (api_.move_file_ex(os_from.path.c_str(), os_to.path.c_str(),
                          win32::movefile_replace_existing)) {
      return Status::success();
    }
    first_error = api_.get_last_error();
  }
  if (first_error != win32::error_access_denied) return windows_failure(first_error);
  return rename_by_handle(from, to, first_error);
}

// The rename through a handle, with POSIX semantics: it succeeds where the
// target is open without delete sharing, which refuses MoveFileExW.
Status WindowsPlatform::rename_by_handle(std::string_view from, std::string_view to,
                                         std::uint32_t first_error) noexcept {
  const Win32Handle file = [&] {
    const OsPathResult os_from = to_os_path(api_, from);
    if (!os_from.ok()) return invalid_handle_value;
    return api_.create_file(
        os_from.path.c_str(), win32::delete_access, win32::file_share_all, win32::open_existing,
        win32::file_flag_open_reparse_point | win32::file_flag_backup_semantics);
  }();
  if (file == invalid_handle_value) return windows_failure(first_error);
  const HandleCloser closer(api_, file);

  const OsPathResult os_to = to_os_path(api_, to);
  if (!os_to.ok()) return windows_failure(first_error);
  // FILE_RENAME_INFO on x64: Flags at 0, RootDirectory at 8, FileNameLength
  // at 16, FileName at 20, then the terminator.
  constexpr std::size_t name_offset = 20;
  const std::uint64_t name_bytes = std::uint64_t{os_to.path.view().size()} * sizeof(char16_t);
  if (name_bytes > max_dword - name_offset - sizeof(char16_t)) {
    return windows_failure(first_error);
  }
  const auto name_length = static_cast<std::uint32_t>(name_bytes);
  const std::uint32_t record_size =
      static_cast<std::uint32_t>(name_offset) + name_length + std::uint32_t{sizeof(char16_t)};
  // Whole 64-bit words: the record is 8-byte aligned, as the pointer in it asks.
  const std::unique_ptr<std::uint64_t[]> record(
      new (std::nothrow) std::uint64_t[(std::size_t{record_size} + 7) / 8]());
  if (record == nullptr) return failure_of(FailureKind::out_of_memory);
  auto* const bytes = reinterpret_cast<unsigned char*>(record.get());
  const std::uint32_t flags =
      win32::file_rename_flag_replace_if_exists | win32::file_rename_flag_posix_semantics;
  std::memcpy(bytes, &flags, sizeof flags);
  std::memcpy(bytes + 16, &name_length, sizeof name_length);
  std::memcpy(bytes + name_offset, os_to.path.c_str(), name_bytes + sizeof(char16_t));

  if (api_.set_file_information_by_handle(file, win32::file_rename_info_ex, record.get(),
                                          record_size)) {
    return Status::success();
  }
  if (api_.get_last_error() == win32::error_dir_not_empty) {
    return windows_failure(win32::error_dir_not_empty);
  }
  return windows_failure(first_error);
}

Status WindowsPlatform::delete_file(std::string_view path) noexcept {
  std::uint32_t first_error = 0;
  {
    const OsPathResult os_path = to_os_path(api_, path);
    if (!os_path.ok()) return *os_path.failure;
    if (api_.delete_file(os_path.path.c_str())) return Status::success();
    first_error = api_.get_last_error();
  }
  if (first_error != win32::error_access_denied) return windows_failure(first_error);

  // Through a handle, as the entry itself and with the read-only attribute
  // ignored, so a read-only leftover is removed too.
  const Win32Handle file = [&] {
    const OsPathResult os_path = to_os_path(api_, path);
    if (!os_path.ok()) return invalid_handle_value;
    return api_.create_file(os_path.path.c_str(), win32::delete_access, win32::file_share_all,
                            win32::open_existing, win32::file_flag_open_reparse_point);
  }();
  if (file == invalid_handle_value) return windows_failure(first_error);
  const HandleCloser closer(api_, file);
  const std::uint32_t disposition = win32::file_disposition_flag_delete |
                                    win32::file_disposition_flag_posix_semantics |
                                    win32::file_disposition_flag_ignore_readonly_attribute;
  if (api_.set_file_information_by_handle(file, win32::file_disposition_info_ex, &disposition,
                                          sizeof disposition)) {
    return Status::success();
  }
  return windows_failure(first_error);
}

void append_utf8(std::string& text, char32_t code) {
  if (code < 0x80) {
    text.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    text.push_back(static_cast<char>(0xC0 | (code >> 6)));
    text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    text.push_back(static_cast<char>(0xE0 | (code >> 12)));
    text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    text.push_back(static_cast<char>(0xF0 | (code >> 18)));
    text.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace obrelix::platform
