#pragma once

// The Win32 and ntdll calls the program makes, one method per call, in plain
// types: std::uint32_t for DWORD, std::int32_t for NTSTATUS, char16_t for
// WCHAR. windows.cpp forwards each method to the function of the same name
// (get_full_path_name to GetFullPathNameW, and so on); tests record them. Arguments the program
// always passes as null (security attributes, template files, events, completion routines, byte
// offsets, keys, file-part pointers) are not parameters here: the real side passes null.

#include <cstddef>
#include <cstdint>

namespace obrelix::platform {

// A Windows HANDLE, kept opaque.
enum class Win32Handle : std::uintptr_t {};
inline constexpr Win32Handle null_handle{0};
inline constexpr Win32Handle invalid_handle_value{~std::uintptr_t{0}};

namespace win32 {

// Error codes.
inline constexpr std::uint32_t error_file_not_found = 2;
inline constexpr std::uint32_t error_path_not_found = 3;
inline constexpr std::uint32_t error_access_denied = 5;
inline constexpr std::uint32_t error_invalid_handle = 6;
inline constexpr std::uint32_t error_invalid_drive = 15;
inline constexpr std::uint32_t error_sharing_violation = 32;
inline constexpr std::uint32_t error_bad_netpath = 53;
inline constexpr std::uint32_t error_bad_net_name = 67;
inline constexpr std::uint32_t error_file_exists = 80;
inline constexpr std::uint32_t error_broken_pipe = 109;
inline constexpr std::uint32_t error_insufficient_buffer = 122;
inline constexpr std::uint32_t error_dir_not_empty = 145;
inline constexpr std::uint32_t error_already_exists = 183;
inline constexpr std::uint32_t error_envvar_not_found = 203;
inline constexpr std::uint32_t error_no_data = 232;
inline constexpr std::uint32_t error_operation_aborted = 995;
inline constexpr std::uint32_t error_io_pending = 997;
inline constexpr std::uint32_t error_no_unicode_translation = 1113;
inline constexpr std::uint32_t error_cant_access_file = 1920;
inline constexpr std::uint32_t wsae_shutdown = 10058;

// NTSTATUS values.
inline constexpr std::int32_t status_success = 0;
inline constexpr std::int32_t status_pending = 0x103;
inline constexpr std::int32_t status_end_of_file = static_cast<std::int32_t>(0xC0000011u);

// GetStdHandle.
inline constexpr std::uint32_t std_input_handle = static_cast<std::uint32_t>(-10);

// WaitForSingleObject.
inline constexpr std::uint32_t infinite = 0xFFFFFFFF;

// WideCharToMultiByte.
inline constexpr std::uint32_t cp_utf8 = 65001;
inline constexpr std::uint32_t wc_err_invalid_chars = 0x80;

// CreateFileW.
inline constexpr std::uint32_t delete_access = 0x00010000;
inline constexpr std::uint32_t generic_write = 0x40000000;
inline constexpr std::uint32_t file_share_all = 0x1 | 0x2 | 0x4;  // read, write, delete
inline constexpr std::uint32_t open_existing = 3;
inline constexpr std::uint32_t open_always = 4;
inline constexpr std::uint32_t file_flag_open_reparse_point = 0x00200000;
inline constexpr std::uint32_t file_flag_backup_semantics = 0x02000000;

// File attributes and reparse tags.
inline constexpr std::uint32_t file_attribute_directory = 0x10;
inline constexpr std::uint32_t file_attribute_reparse_point = 0x400;
inline constexpr std::uint32_t reparse_tag_name_surrogate_bit = 0x20000000;

// FindFirstFileExW.
inline constexpr std::uint32_t find_ex_info_basic = 1;
inline constexpr std::uint32_t find_ex_search_name_match = 0;

// FILE_INFO_BY_HANDLE_CLASS values.
inline constexpr std::uint32_t file_allocation_info = 5;
inline constexpr std::uint32_t file_end_of_file_info = 6;
inline constexpr std::uint32_t file_attribute_tag_info = 9;
inline constexpr std::uint32_t file_disposition_info_ex = 21;
inline constexpr std::uint32_t file_rename_info_ex = 22;

// MoveFileExW.
inline constexpr std::uint32_t movefile_replace_existing = 1;

// Record flags.
inline constexpr std::uint32_t file_rename_flag_replace_if_exists = 0x1;
inline constexpr std::uint32_t file_rename_flag_posix_semantics = 0x2;
inline constexpr std::uint32_t file_disposition_flag_delete = 0x1;
inline constexpr std::uint32_t file_disposition_flag_posix_semantics = 0x2;
inline constexpr std::uint32_t file_disposition_flag_ignore_readonly_attribute = 0x10;

// CONSOLE_READCONSOLE_CONTROL.
inline constexpr std::uint32_t ctrl_z_wakeup_mask = std::uint32_t{1} << 0x1A;

}  // namespace win32

// IO_STATUS_BLOCK, laid out as Windows has it: an in-flight read or write
// fills it in after the call returns STATUS_PENDING.
struct IoStatusBlock {
  union {
    std::int32_t status;
    void* pointer;
  };
  std::uintptr_t information;
};

struct ConsoleReadControl {  // CONSOLE_READCONSOLE_CONTROL
  std::uint32_t length = sizeof(std::uint32_t) * 4;
  std::uint32_t initial_chars = 0;
  std::uint32_t ctrl_wakeup_mask = 0;
  std::uint32_t control_key_state = 0;
};

struct FileTime {  // FILETIME
  std::uint32_t low = 0;
  std::uint32_t high = 0;
};

// The part of BY_HANDLE_FILE_INFORMATION that the program reads.
struct HandleFileInformation {
  std::uint32_t attributes = 0;
};

// The part of WIN32_FIND_DATAW that the program reads.
struct FindData {
  std::uint32_t attributes = 0;
  std::uint32_t reserved0 = 0;  // the reparse tag of a reparse point
};

// Results follow the Windows functions: BOOL as bool, counts as returned,
// handles as returned (invalid_handle_value on failure).
class Win32Api {
 public:
  Win32Api() = default;
  Win32Api(const Win32Api&) = delete;
  Win32Api& operator=(const Win32Api&) = delete;
  virtual ~Win32Api() = default;

  virtual void set_last_error(std::uint32_t code) noexcept = 0;
  [[nodiscard]] virtual std::uint32_t get_last_error() noexcept = 0;

  [[nodiscard]] virtual std::uint32_t get_environment_variable(const char16_t* name,
                                                               char16_t* buffer,
                                                               std::uint32_t size) noexcept = 0;
  [[nodiscard]] virtual FileTime get_system_time_precise_as_file_time() noexcept = 0;
  [[nodiscard]] virtual std::uint32_t get_current_process_id() noexcept = 0;

  [[nodiscard]] virtual Win32Handle get_std_handle(std::uint32_t which) noexcept = 0;
  [[nodiscard]] virtual bool get_console_mode(Win32Handle console,
                                              std::uint32_t* mode) noexcept = 0;
  [[nodiscard]] virtual std::int32_t nt_read_file(Win32Handle file, IoStatusBlock* io_status,
                                                  void* buffer, std::uint32_t length) noexcept = 0;
  [[nodiscard]] virtual bool read_console(Win32Handle console, char16_t* buffer,
                                          std::uint32_t units_to_read, std::uint32_t* units_read,
                                          ConsoleReadControl* control) noexcept = 0;
  [[nodiscard]] virtual int wide_char_to_multi_byte(std::uint32_t code_page, std::uint32_t flags,
                                                    const char16_t* units, int unit_count,
                                                    char* bytes, int byte_capacity) noexcept = 0;

  [[nodiscard]] virtual std::uint32_t wait_for_single_object(
      Win32Handle object, std::uint32_t milliseconds) noexcept = 0;
  [[nodiscard]] virtual std::uint32_t rtl_nt_status_to_dos_error(std::int32_t status) noexcept = 0;

  [[nodiscard]] virtual std::uint32_t get_full_path_name(const char16_t* path,
                                                         std::uint32_t buffer_size,
                                                         char16_t* buffer) noexcept = 0;
  [[nodiscard]] virtual bool create_directory(const char16_t* path) noexcept = 0;
  [[nodiscard]] virtual Win32Handle create_file(const char16_t* path, std::uint32_t access,
                                                std::uint32_t share, std::uint32_t disposition,
                                                std::uint32_t flags) noexcept = 0;
  [[nodiscard]] virtual bool get_file_information_by_handle(
      Win32Handle file, HandleFileInformation* information) noexcept = 0;
  [[nodiscard]] virtual bool get_file_information_by_handle_ex(Win32Handle file,
                                                               std::uint32_t information_class,
                                                               void* record,
                                                               std::uint32_t size) noexcept = 0;
  [[nodiscard]] virtual bool set_file_information_by_handle(Win32Handle file,
                                                            std::uint32_t information_class,
                                                            const void* record,
                                                            std::uint32_t size) noexcept = 0;
  [[nodiscard]] virtual Win32Handle find_first_file_ex(const char16_t* path,
                                                       std::uint32_t information_level,
                                                       FindData* data,
                                                       std::uint32_t search_operation,
                                                       std::uint32_t additional_flags) noexcept = 0;
  virtual bool find_close(Win32Handle find) noexcept = 0;
  [[nodiscard]] virtual std::int32_t nt_write_file(Win32Handle file, IoStatusBlock* io_status,
                                                   const void* buffer,
                                                   std::uint32_t length) noexcept = 0;
  [[nodiscard]] virtual bool move_file_ex(const char16_t* from, const char16_t* to,
                                          std::uint32_t flags) noexcept = 0;
  [[nodiscard]] virtual bool delete_file(const char16_t* path) noexcept = 0;
  virtual bool close_handle(Win32Handle object) noexcept = 0;
};

}  // namespace obrelix::platform
