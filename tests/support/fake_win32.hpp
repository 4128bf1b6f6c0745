#pragma once

// A recording fake of the Win32 calls. Every call is logged as a line of text
// with its arguments ("CreateFileW(C:\x, 0x40000000, 7, 4, 0x0)"), so tests
// assert the exact sequence. Outcomes are scripted per function in queues,
// consumed in order; an empty queue gives the ordinary success. Handles it
// hands out are tracked until closed.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/win32_api.hpp"

namespace obrelix::testing {

using platform::Win32Handle;

// A call that succeeds or fails; `error` is the last error it leaves (on
// success too, where it is not 0).
struct CallOutcome {
  bool ok = true;
  std::uint32_t error = 0;
};

struct FileReadOutcome {
  std::int32_t status = 0;     // what NtReadFile returns
  std::string bytes;           // delivered on success; beyond the length asked, kept for later
  std::int32_t completed = 0;  // the final status when `status` is STATUS_PENDING
};

struct ConsoleReadOutcome {
  bool ok = true;
  std::u16string units;  // beyond the count asked, kept for the next call
  std::uint32_t error = 0;
};

struct WriteOutcome {
  std::int32_t status = 0;
  std::size_t limit = static_cast<std::size_t>(-1);  // most bytes taken by the call
  std::int32_t completed = 0;                        // final status after STATUS_PENDING
};

struct InformationOutcome {
  bool ok = true;
  std::uint32_t error = 0;
  std::uint32_t attributes = 0x10;  // a directory
};

struct TagOutcome {
  bool ok = true;
  std::uint32_t error = 0;
  std::uint32_t attributes = 0;
  std::uint32_t tag = 0;
};

struct FindOutcome {
  bool ok = true;
  std::uint32_t error = 0;
  std::uint32_t attributes = 0x10;
  std::uint32_t reserved0 = 0;
};

struct ForcedResult {
  std::uint32_t result = 0;
  std::uint32_t error = 0;
};

struct InformationRecord {
  std::uint32_t information_class = 0;
  std::vector<unsigned char> bytes;
};

class FakeWin32 final : public platform::Win32Api {
 public:
  static constexpr std::uint32_t close_poison = 0xDEAD;  // last error after a close

  std::vector<std::string> calls;

  // The environment and the clock.
  std::map<std::u16string, std::u16string> environment;
  platform::FileTime clock{};
  std::uint32_t process = 4242;

  // Standard input.
  Win32Handle std_input{3};
  std::uint32_t std_input_error = 0;  // left as last error when std_input is invalid
  bool console = false;
  std::deque<FileReadOutcome> file_reads;            // empty: STATUS_END_OF_FILE
  std::deque<ConsoleReadOutcome> console_reads;      // empty: 0 units
  std::map<std::int32_t, std::uint32_t> dos_errors;  // RtlNtStatusToDosError; else 317

  // GetFullPathNameW: an absolute path from `full_paths`, or the current
  // directory, `\` and the text with `/` as `\`. A forced result, when queued,
  // is returned instead, with nothing written.
  std::map<std::u16string, std::u16string> full_paths;
  std::u16string current_directory = u"C:\\cwd";
  std::deque<ForcedResult> full_path_results;

  // The file system.
  std::deque<CallOutcome> create_directory_outcomes;
  std::deque<CallOutcome> create_file_outcomes;
  std::deque<InformationOutcome> information_outcomes;
  std::deque<TagOutcome> tag_outcomes;
  std::deque<FindOutcome> find_outcomes;  // empty: not found
  std::deque<CallOutcome> set_information_outcomes;
  std::deque<WriteOutcome> write_outcomes;
  std::deque<CallOutcome> move_outcomes;
  std::deque<CallOutcome> delete_outcomes;

  std::string written;                     // every byte NtWriteFile took
  std::vector<InformationRecord> records;  // what SetFileInformationByHandle was given
  std::set<Win32Handle> open_handles;
  std::vector<Win32Handle> unknown_closes;  // closes of handles never handed out, or twice

  void set_last_error(std::uint32_t code) noexcept override;
  std::uint32_t get_last_error() noexcept override { return last_error_; }
  std::uint32_t get_environment_variable(const char16_t* name, char16_t* buffer,
                                         std::uint32_t size) noexcept override;
  platform::FileTime get_system_time_precise_as_file_time() noexcept override;
  std::uint32_t get_current_process_id() noexcept override;
  Win32Handle get_std_handle(std::uint32_t which) noexcept override;
  bool get_console_mode(Win32Handle console_handle, std::uint32_t* mode) noexcept override;
  std::int32_t nt_read_file(Win32Handle file, platform::IoStatusBlock* io_status, void* buffer,
                            std::uint32_t length) noexcept override;
  bool read_console(Win32Handle console_handle, char16_t* buffer, std::uint32_t units_to_read,
                    std::uint32_t* units_read,
                    platform::ConsoleReadControl* control) noexcept override;
  int wide_char_to_multi_byte(std::uint32_t code_page, std::uint32_t flags, const char16_t* units,
                              int unit_count, char* bytes, int byte_capacity) noexcept override;
  std::uint32_t wait_for_single_object(Win32Handle object,
                                       std::uint32_t milliseconds) noexcept override;
  std::uint32_t rtl_nt_status_to_dos_error(std::int32_t status) noexcept override;
  std::uint32_t get_full_path_name(const char16_t* path, std::uint32_t buffer_size,
                                   char16_t* buffer) noexcept override;
  bool create_directory(const char16_t* path) noexcept override;
  Win32Handle create_file(const char16_t* path, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t flags) noexcept override;
  bool get_file_information_by_handle(
      Win32Handle file, platform::HandleFileInformation* information) noexcept override;
  bool get_file_information_by_handle_ex(Win32Handle file, std::uint32_t information_class,
                                         void* record, std::uint32_t size) noexcept override;
  bool set_file_information_by_handle(Win32Handle file, std::uint32_t information_class,
                                      const void* record, std::uint32_t size) noexcept override;
  Win32Handle find_first_file_ex(const char16_t* path, std::uint32_t information_level,
                                 platform::FindData* data, std::uint32_t search_operation,
                                 std::uint32_t additional_flags) noexcept override;
  bool find_close(Win32Handle find) noexcept override;
  std::int32_t nt_write_file(Win32Handle file, platform::IoStatusBlock* io_status,
                             const void* buffer, std::uint32_t length) noexcept override;
  bool move_file_ex(const char16_t* from, const char16_t* to,
                    std::uint32_t flags) noexcept override;
  bool delete_file(const char16_t* path) noexcept override;
  bool close_handle(Win32Handle object) noexcept override;

  // The calls without the SetLastError lines, for tests that look past them.
  [[nodiscard]] std::vector<std::string> calls_without_set_last_error() const;

 private:
  struct Pending {
    platform::IoStatusBlock* io_status = nullptr;
    std::int32_t status = 0;
    std::uintptr_t information = 0;
  };

  Win32Handle open_handle();
  bool finish(const CallOutcome& outcome);
  template <class... Parts>
  void log(const Parts&... parts);

  std::uint32_t last_error_ = 0;
  std::uintptr_t next_handle_ = 100;
  std::map<Win32Handle, Pending> pending_;
};

// UTF-8 text of UTF-16 units for log lines; units outside ASCII as \uXXXX.
[[nodiscard]] std::string narrow_for_log(std::u16string_view units);

}  // namespace obrelix::testing
