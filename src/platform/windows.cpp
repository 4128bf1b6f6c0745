// The Windows side of the seam: each Win32Api method calls the Windows
// function of the same name, and nothing else. The decisions between calls
// live in windows_logic.cpp, where tests reach them.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstdint>

#include "platform/platform.hpp"
#include "platform/win32_api.hpp"
#include "platform/windows_logic.hpp"

// ntdll exports these; the SDK headers of the cross compiler declare them only
// for drivers. Signatures as documented.
extern "C" {
NTSYSAPI NTSTATUS NTAPI NtReadFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc_routine,
                                   PVOID apc_context, PIO_STATUS_BLOCK io_status, PVOID buffer,
                                   ULONG length, PLARGE_INTEGER byte_offset, PULONG key);
NTSYSAPI NTSTATUS NTAPI NtWriteFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc_routine,
                                    PVOID apc_context, PIO_STATUS_BLOCK io_status, PVOID buffer,
                                    ULONG length, PLARGE_INTEGER byte_offset, PULONG key);
}

namespace obrelix::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));
static_assert(sizeof(DWORD) == sizeof(std::uint32_t) && sizeof(NTSTATUS) == sizeof(std::int32_t));
static_assert(sizeof(HANDLE) == sizeof(Win32Handle));
// The portable side's status block is the one Windows fills in.
static_assert(sizeof(IoStatusBlock) == sizeof(IO_STATUS_BLOCK));
static_assert(offsetof(IoStatusBlock, information) == offsetof(IO_STATUS_BLOCK, Information));
static_assert(sizeof(ConsoleReadControl) == sizeof(CONSOLE_READCONSOLE_CONTROL));
// The rename record the portable side builds has the layout of FILE_RENAME_INFO.
static_assert(offsetof(FILE_RENAME_INFO, RootDirectory) == 8);
static_assert(offsetof(FILE_RENAME_INFO, FileNameLength) == 16);
static_assert(offsetof(FILE_RENAME_INFO, FileName) == 20);
// FileDispositionInfoEx (21) and FileRenameInfoEx (22) follow FileIdExtdDirectoryRestartInfo;
// the cross headers name them only for a _WIN32_WINNT no release has.
static_assert(win32::file_disposition_info_ex == FileIdExtdDirectoryRestartInfo + 1);
static_assert(win32::file_rename_info_ex == FileIdExtdDirectoryRestartInfo + 2);
static_assert(win32::file_attribute_tag_info == FileAttributeTagInfo);
static_assert(win32::file_allocation_info == FileAllocationInfo);
static_assert(win32::file_end_of_file_info == FileEndOfFileInfo);
static_assert(win32::std_input_handle == STD_INPUT_HANDLE);
static_assert(win32::file_flag_backup_semantics == FILE_FLAG_BACKUP_SEMANTICS);
static_assert(win32::file_flag_open_reparse_point == FILE_FLAG_OPEN_REPARSE_POINT);
static_assert(win32::file_share_all == (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
static_assert(win32::generic_write == GENERIC_WRITE && win32::delete_access == DELETE);
static_assert(win32::find_ex_info_basic == FindExInfoBasic);
static_assert(win32::find_ex_search_name_match == FindExSearchNameMatch);

HANDLE native(Win32Handle handle) noexcept {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle));
}
Win32Handle portable(HANDLE handle) noexcept {
  return Win32Handle{reinterpret_cast<std::uintptr_t>(handle)};
}
const wchar_t* wide(const char16_t* text) noexcept {
  return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* wide(char16_t* text) noexcept {
  return reinterpret_cast<wchar_t*>(text);
}

class NativeWin32 final : public Win32Api {
 public:
  void set_last_error(std::uint32_t code) noexcept override { ::SetLastError(code); }
  std::uint32_t get_last_error() noexcept override { return ::GetLastError(); }

  std::uint32_t get_environment_variable(const char16_t* name, char16_t* buffer,
                                         std::uint32_t size) noexcept override {
    return ::GetEnvironmentVariableW(wide(name), wide(buffer), size);
  }

  FileTime get_system_time_precise_as_file_time() noexcept override {
    FILETIME time{};
    ::GetSystemTimePreciseAsFileTime(&time);
    return {time.dwLowDateTime, time.dwHighDateTime};
  }

  std::uint32_t get_current_process_id() noexcept override { return ::GetCurrentProcessId(); }

  Win32Handle get_std_handle(std::uint32_t which) noexcept override {
    return portable(::GetStdHandle(which));
  }

  bool get_console_mode(Win32Handle console, std::uint32_t* mode) noexcept override {
    DWORD value = 0;
    const bool ok = ::GetConsoleMode(native(console), &value) != FALSE;
    *mode = value;
    return ok;
  }

  std::int32_t nt_read_file(Win32Handle file, IoStatusBlock* io_status, void* buffer,
                            std::uint32_t length) noexcept override {
    return ::NtReadFile(native(file), nullptr, nullptr, nullptr,
                        reinterpret_cast<PIO_STATUS_BLOCK>(io_status), buffer, length, nullptr,
                        nullptr);
  }

  bool read_console(Win32Handle console, char16_t* buffer, std::uint32_t units_to_read,
                    std::uint32_t* units_read, ConsoleReadControl* control) noexcept override {
    CONSOLE_READCONSOLE_CONTROL native_control{control->length, control->initial_chars,
                                               control->ctrl_wakeup_mask,
                                               control->control_key_state};
    DWORD read = 0;
    const bool ok =
        ::ReadConsoleW(native(console), buffer, units_to_read, &read, &native_control) != FALSE;
    *units_read = read;
    control->control_key_state = native_control.dwControlKeyState;
    return ok;
  }

  int wide_char_to_multi_byte(std::uint32_t code_page, std::uint32_t flags, const char16_t* units,
                              int unit_count, char* bytes, int byte_capacity) noexcept override {
    return ::WideCharToMultiByte(code_page, flags, wide(units), unit_count, bytes, byte_capacity,
                                 nullptr, nullptr);
  }

  std::uint32_t wait_for_single_object(Win32Handle object,
                                       std::uint32_t milliseconds) noexcept override {
    return ::WaitForSingleObject(native(object), milliseconds);
  }

  std::uint32_t rtl_nt_status_to_dos_error(std::int32_t status) noexcept override {
    return ::RtlNtStatusToDosError(status);
  }

  std::uint32_t get_full_path_name(const char16_t* path, std::uint32_t buffer_size,
                                   char16_t* buffer) noexcept override {
    return ::GetFullPathNameW(wide(path), buffer_size, wide(buffer), nullptr);
  }

  bool create_directory(const char16_t* path) noexcept override {
    return ::CreateDirectoryW(wide(path), nullptr) != FALSE;
  }

  Win32Handle create_file(const char16_t* path, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t flags) noexcept override {
    return portable(::CreateFileW(wide(path), access, share, nullptr, disposition, flags, nullptr));
  }

  bool get_file_information_by_handle(Win32Handle file,
                                      HandleFileInformation* information) noexcept override {
    BY_HANDLE_FILE_INFORMATION native_information{};
    if (::GetFileInformationByHandle(native(file), &native_information) == FALSE) return false;
    information->attributes = native_information.dwFileAttributes;
    return true;
  }

  bool get_file_information_by_handle_ex(Win32Handle file, std::uint32_t information_class,
                                         void* record, std::uint32_t size) noexcept override {
    return ::GetFileInformationByHandleEx(native(file),
                                          static_cast<FILE_INFO_BY_HANDLE_CLASS>(information_class),
                                          record, size) != FALSE;
  }

  bool set_file_information_by_handle(Win32Handle file, std::uint32_t information_class,
                                      const void* record, std::uint32_t size) noexcept override {
    // Windows only reads the record, though its parameter is not const.
    return ::SetFileInformationByHandle(native(file),
                                        static_cast<FILE_INFO_BY_HANDLE_CLASS>(information_class),
                                        const_cast<void*>(record), size) != FALSE;
  }

  Win32Handle find_first_file_ex(const char16_t* path, std::uint32_t information_level,
                                 FindData* data, std::uint32_t search_operation,
                                 std::uint32_t additional_flags) noexcept override {
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileExW(
        wide(path), static_cast<FINDEX_INFO_LEVELS>(information_level), &found,
        static_cast<FINDEX_SEARCH_OPS>(search_operation), nullptr, additional_flags);
    if (find != INVALID_HANDLE_VALUE) {
      data->attributes = found.dwFileAttributes;
      data->reserved0 = found.dwReserved0;
    }
    return portable(find);
  }

  bool find_close(Win32Handle find) noexcept override { return ::FindClose(native(find)) != FALSE; }

  std::int32_t nt_write_file(Win32Handle file, IoStatusBlock* io_status, const void* buffer,
                             std::uint32_t length) noexcept override {
    return ::NtWriteFile(native(file), nullptr, nullptr, nullptr,
                         reinterpret_cast<PIO_STATUS_BLOCK>(io_status), const_cast<void*>(buffer),
                         length, nullptr, nullptr);
  }

  bool move_file_ex(const char16_t* from, const char16_t* to,
                    std::uint32_t flags) noexcept override {
    return ::MoveFileExW(wide(from), wide(to), flags) != FALSE;
  }

  bool delete_file(const char16_t* path) noexcept override {
    return ::DeleteFileW(wide(path)) != FALSE;
  }

  bool close_handle(Win32Handle object) noexcept override {
    return ::CloseHandle(native(object)) != FALSE;
  }
};

}  // namespace

Platform& native_platform() noexcept {
  static NativeWin32 api;
  static WindowsPlatform platform(api);
  return platform;
}

}  // namespace obrelix::platform
