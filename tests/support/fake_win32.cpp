#include "support/fake_win32.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "platform/windows_logic.hpp"

namespace obrelix::testing {
namespace {

namespace win32 = platform::win32;

std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string handle_text(Win32Handle handle) {
  std::string text = "h";
  text += std::to_string(static_cast<std::uintptr_t>(handle));
  return text;
}

std::string path_text(const char16_t* path) {
  return narrow_for_log(std::u16string_view(path));
}

template <class T>
T take(std::deque<T>& queue, T fallback = T{}) {
  if (queue.empty()) return fallback;
  T front = std::move(queue.front());
  queue.pop_front();
  return front;
}

bool is_leading(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_trailing(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string narrow_for_log(std::u16string_view units) {
  std::string text;
  for (const char16_t unit : units) {
    if (unit < 0x80) {
      text.push_back(static_cast<char>(unit));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
      text += escaped;
    }
  }
  return text;
}

std::vector<std::string> FakeWin32::calls_without_set_last_error() const {
  std::vector<std::string> kept;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(kept),
               [](const std::string& call) { return !call.starts_with("SetLastError("); });
  return kept;
}

template <class... Parts>
void FakeWin32::log(const Parts&... parts) {
  std::string line;
  ((line += parts), ...);
  calls.push_back(std::move(line));
}

Win32Handle FakeWin32::open_handle() {
  const Win32Handle handle{next_handle_++};
  open_handles.insert(handle);
  return handle;
}

bool FakeWin32::finish(const CallOutcome& outcome) {
  if (!outcome.ok || outcome.error != 0) last_error_ = outcome.error;
  return outcome.ok;
}

void FakeWin32::set_last_error(std::uint32_t code) noexcept {
  log("SetLastError(", std::to_string(code), ")");
  last_error_ = code;
}

std::uint32_t FakeWin32::get_environment_variable(const char16_t* name, char16_t* buffer,
                                                  std::uint32_t size) noexcept {
  log("GetEnvironmentVariableW(", path_text(name), ", ", std::to_string(size), ")");
  const auto found = environment.find(name);
  if (found == environment.end()) {
    last_error_ = win32::error_envvar_not_found;
    return 0;
  }
  const std::u16string& value = found->second;
  if (value.size() + 1 > size) return static_cast<std::uint32_t>(value.size() + 1);
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = 0;
  return static_cast<std::uint32_t>(value.size());
}

platform::FileTime FakeWin32::get_system_time_precise_as_file_time() noexcept {
  log("GetSystemTimePreciseAsFileTime()");
  return clock;
}

std::uint32_t FakeWin32::get_current_process_id() noexcept {
  log("GetCurrentProcessId()");
  return process;
}

Win32Handle FakeWin32::get_std_handle(std::uint32_t which) noexcept {
  log("GetStdHandle(", hex(which), ")");
  if (std_input == platform::invalid_handle_value) last_error_ = std_input_error;
  return std_input;
}

bool FakeWin32::get_console_mode(Win32Handle console_handle, std::uint32_t* mode) noexcept {
  log("GetConsoleMode(", handle_text(console_handle), ")");
  if (!console) {
    last_error_ = win32::error_invalid_handle;
    return false;
  }
  *mode = 0x1F7;
  return true;
}

std::int32_t FakeWin32::nt_read_file(Win32Handle file, platform::IoStatusBlock* io_status,
                                     void* buffer, std::uint32_t length) noexcept {
  log("NtReadFile(", handle_text(file), ", ", std::to_string(length), ")");
  FileReadOutcome outcome = take(file_reads, FileReadOutcome{win32::status_end_of_file, {}, 0});
  const bool delivers =
      outcome.status >= 0 && (outcome.status != win32::status_pending || outcome.completed >= 0);
  const std::size_t count = delivers ? std::min<std::size_t>(outcome.bytes.size(), length) : 0;
  std::memcpy(buffer, outcome.bytes.data(), count);
  if (delivers && count < outcome.bytes.size()) {
    file_reads.push_front({0, outcome.bytes.substr(count), 0});
  }
  if (outcome.status == win32::status_pending) {
    pending_[file] = Pending{io_status, outcome.completed, count};
    return outcome.status;
  }
  io_status->status = outcome.status;
  io_status->information = count;
  return outcome.status;
}

bool FakeWin32::read_console(Win32Handle console_handle, char16_t* buffer,
                             std::uint32_t units_to_read, std::uint32_t* units_read,
                             platform::ConsoleReadControl* control) noexcept {
  log("ReadConsoleW(", handle_text(console_handle), ", ", std::to_string(units_to_read), ", {",
      std::to_string(control->length), ", ", std::to_string(control->initial_chars), ", ",
      hex(control->ctrl_wakeup_mask), ", ", std::to_string(control->control_key_state), "})");
  ConsoleReadOutcome outcome = take(console_reads);
  const std::size_t count = std::min<std::size_t>(outcome.units.size(), units_to_read);
  std::copy_n(outcome.units.begin(), count, buffer);
  if (count < outcome.units.size())
    console_reads.push_front({true, outcome.units.substr(count), 0});
  *units_read = static_cast<std::uint32_t>(count);
  return finish({outcome.ok, outcome.error});
}

int FakeWin32::wide_char_to_multi_byte(std::uint32_t code_page, std::uint32_t flags,
                                       const char16_t* units, int unit_count, char* bytes,
                                       int byte_capacity) noexcept {
  log("WideCharToMultiByte(", std::to_string(code_page), ", ", hex(flags), ", ",
      std::to_string(unit_count), ", ", std::to_string(byte_capacity), ")");
  std::string text;
  for (int i = 0; i < unit_count; ++i) {
    char32_t code = units[i];
    if (is_leading(units[i]) && i + 1 < unit_count && is_trailing(units[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
      ++i;
    } else if (is_leading(units[i]) || is_trailing(units[i])) {
      if ((flags & win32::wc_err_invalid_chars) != 0) {
        last_error_ = win32::error_no_unicode_translation;
        return 0;
      }
      code = 0xFFFD;
    }
    platform::append_utf8(text, code);
  }
  if (code_page != win32::cp_utf8 || text.size() > static_cast<std::size_t>(byte_capacity)) {
    last_error_ = win32::error_insufficient_buffer;
    return 0;
  }
  std::memcpy(bytes, text.data(), text.size());
  return static_cast<int>(text.size());
}

std::uint32_t FakeWin32::wait_for_single_object(Win32Handle object,
                                                std::uint32_t milliseconds) noexcept {
  log("WaitForSingleObject(", handle_text(object), ", ", hex(milliseconds), ")");
  const auto found = pending_.find(object);
  if (found != pending_.end()) {
    found->second.io_status->status = found->second.status;
    found->second.io_status->information = found->second.information;
    pending_.erase(found);
  }
  return 0;  // WAIT_OBJECT_0
}

std::uint32_t FakeWin32::rtl_nt_status_to_dos_error(std::int32_t status) noexcept {
  log("RtlNtStatusToDosError(", hex(static_cast<std::uint32_t>(status)), ")");
  const auto found = dos_errors.find(status);
  return found == dos_errors.end() ? 317 : found->second;
}

std::uint32_t FakeWin32::get_full_path_name(const char16_t* path, std::uint32_t buffer_size,
                                            char16_t* buffer) noexcept {
  log("GetFullPathNameW(", path_text(path), ", ", std::to_string(buffer_size), ")");
  if (!full_path_results.empty()) {
    const ForcedResult forced = take(full_path_results);
    if (forced.error != 0) last_error_ = forced.error;
    return forced.result;
  }
  std::u16string absolute;
  const auto found = full_paths.find(path);
  if (found != full_paths.end()) {
    absolute = found->second;
  } else {
    absolute = current_directory + u"\\" + std::u16string(path);
    std::replace(absolute.begin(), absolute.end(), u'/', u'\\');
  }
  if (absolute.size() + 1 > buffer_size) return static_cast<std::uint32_t>(absolute.size() + 1);
  std::copy(absolute.begin(), absolute.end(), buffer);
  buffer[absolute.size()] = 0;
  return static_cast<std::uint32_t>(absolute.size());
}

bool FakeWin32::create_directory(const char16_t* path) noexcept {
  log("CreateDirectoryW(", path_text(path), ")");
  return finish(take(create_directory_outcomes));
}

Win32Handle FakeWin32::create_file(const char16_t* path, std::uint32_t access, std::uint32_t share,
                                   std::uint32_t disposition, std::uint32_t flags) noexcept {
  log("CreateFileW(", path_text(path), ", ", hex(access), ", ", std::to_string(share), ", ",
      std::to_string(disposition), ", ", hex(flags), ")");
  const CallOutcome outcome = take(create_file_outcomes);
  last_error_ = outcome.error;
  return outcome.ok ? open_handle() : platform::invalid_handle_value;
}

bool FakeWin32::get_file_information_by_handle(
    Win32Handle file, platform::HandleFileInformation* information) noexcept {
  log("GetFileInformationByHandle(", handle_text(file), ")");
  const InformationOutcome outcome = take(information_outcomes);
  if (outcome.ok) information->attributes = outcome.attributes;
  return finish({outcome.ok, outcome.error});
}

bool FakeWin32::get_file_information_by_handle_ex(Win32Handle file, std::uint32_t information_class,
                                                  void* record, std::uint32_t size) noexcept {
  log("GetFileInformationByHandleEx(", handle_text(file), ", ", std::to_string(information_class),
      ", ", std::to_string(size), ")");
  const TagOutcome outcome = take(tag_outcomes);
  if (outcome.ok && size >= 8) {
    std::memcpy(record, &outcome.attributes, 4);
    std::memcpy(static_cast<unsigned char*>(record) + 4, &outcome.tag, 4);
  }
  return finish({outcome.ok, outcome.error});
}

bool FakeWin32::set_file_information_by_handle(Win32Handle file, std::uint32_t information_class,
                                               const void* record, std::uint32_t size) noexcept {
  log("SetFileInformationByHandle(", handle_text(file), ", ", std::to_string(information_class),
      ", ", std::to_string(size), ")");
  const auto* bytes = static_cast<const unsigned char*>(record);
  records.push_back({information_class, std::vector<unsigned char>(bytes, bytes + size)});
  // The rename record holds a pointer; its alignment is part of the contract.
  if (reinterpret_cast<std::uintptr_t>(record) % 8 != 0) log("(misaligned record)");
  return finish(take(set_information_outcomes));
}

Win32Handle FakeWin32::find_first_file_ex(const char16_t* path, std::uint32_t information_level,
                                          platform::FindData* data, std::uint32_t search_operation,
                                          std::uint32_t additional_flags) noexcept {
  log("FindFirstFileExW(", path_text(path), ", ", std::to_string(information_level), ", ",
      std::to_string(search_operation), ", ", hex(additional_flags), ")");
  const FindOutcome outcome = take(find_outcomes, FindOutcome{false, 2, 0, 0});
  if (!outcome.ok) {
    last_error_ = outcome.error;
    return platform::invalid_handle_value;
  }
  data->attributes = outcome.attributes;
  data->reserved0 = outcome.reserved0;
  return open_handle();
}

bool FakeWin32::find_close(Win32Handle find) noexcept {
  log("FindClose(", handle_text(find), ")");
  if (open_handles.erase(find) == 0) unknown_closes.push_back(find);
  last_error_ = close_poison;
  return true;
}

std::int32_t FakeWin32::nt_write_file(Win32Handle file, platform::IoStatusBlock* io_status,
                                      const void* buffer, std::uint32_t length) noexcept {
  log("NtWriteFile(", handle_text(file), ", ", std::to_string(length), ")");
  const WriteOutcome outcome = take(write_outcomes);
  const bool succeeds =
      outcome.status >= 0 && (outcome.status != win32::status_pending || outcome.completed >= 0);
  const std::size_t count = succeeds ? std::min<std::size_t>(length, outcome.limit) : 0;
  written.append(static_cast<const char*>(buffer), count);
  if (outcome.status == win32::status_pending) {
    pending_[file] = Pending{io_status, outcome.completed, count};
    return outcome.status;
  }
  io_status->status = outcome.status;
  io_status->information = count;
  return outcome.status;
}

bool FakeWin32::move_file_ex(const char16_t* from, const char16_t* to,
                             std::uint32_t flags) noexcept {
  log("MoveFileExW(", path_text(from), ", ", path_text(to), ", ", std::to_string(flags), ")");
  return finish(take(move_outcomes));
}

bool FakeWin32::delete_file(const char16_t* path) noexcept {
  log("DeleteFileW(", path_text(path), ")");
  return finish(take(delete_outcomes));
}

bool FakeWin32::close_handle(Win32Handle object) noexcept {
  log("CloseHandle(", handle_text(object), ")");
  if (open_handles.erase(object) == 0) unknown_closes.push_back(object);
  // Real closes keep the last error; this one spoils it, so that reading it
  // after a close shows up.
  last_error_ = close_poison;
  return true;
}

}  // namespace obrelix::testing
