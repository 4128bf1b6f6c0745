// The file-system decisions of the Windows layer against the recording fake:
// path conversion, directory creation and test, and the three publication
// steps with their second attempts.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_logic.hpp"
#include "support/fake_win32.hpp"

namespace obrelix::platform {
namespace {

using testing::CallOutcome;
using testing::FakeWin32;
using Calls = std::vector<std::string>;

constexpr CallOutcome fails(std::uint32_t error) {
  return {false, error};
}

std::span<const std::byte> as_bytes(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

// Every test ends with no handle open and none closed twice.
class WindowsFs : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(fake.open_handles.empty());
    EXPECT_TRUE(fake.unknown_closes.empty());
  }

  FakeWin32 fake;
  WindowsPlatform windows{fake};
};

// --- Path conversion

TEST_F(WindowsFs, TextsWindowsTakesAsTheyAreSkipTheFullPathCall) {
  const std::string long_verbatim = R"(\\?\C:\)" + std::string(300, 'v');
  const std::string classic = R"(C:\)" + std::string(243, 'c');  // 246 characters
  const std::string_view texts[] = {
      R"(C:\ctx)",
      "C:/ctx",
      "C:",
      "c:",
      R"(\\server\share\ctx)",
      "//server/share",
      R"(\\.\x)",
      R"(/\x)",
      R"(\??\C:\ctx)",
      "",
      long_verbatim,
      classic,
  };
  for (std::string_view text : texts) {
    SCOPED_TRACE(text);
    fake.calls.clear();
    const OsPathResult converted = to_os_path(fake, text);
    ASSERT_TRUE(converted.ok());
    EXPECT_EQ(testing::narrow_for_log(converted.path.view()), text);
    EXPECT_EQ(converted.path.c_str()[converted.path.view().size()], u'\0');
    EXPECT_TRUE(fake.calls.empty());
  }
}

TEST_F(WindowsFs, OtherTextsBecomeVerbatimAbsolutePaths) {
  struct Case {
    std::string_view text;
    std::u16string absolute;  // what GetFullPathNameW gives
    std::string_view handed_over;
  };
  const std::string long_classic = R"(C:\)" + std::string(244, 'c');  // 247 characters
  const std::string long_classic_verbatim = R"(\\?\)" + long_classic;
  const Case cases[] = {
      {"ctx", uR"(C:\cwd\ctx)", R"(\\?\C:\cwd\ctx)"},
      {"C:ctx", uR"(C:\on-c\ctx)", R"(\\?\C:\on-c\ctx)"},
      {R"(\ctx)", uR"(D:\ctx)", R"(\\?\D:\ctx)"},
      {"./a/../b", uR"(\\server\share\b)", R"(\\?\UNC\server\share\b)"},
      {"dev", uR"(\\.\pipe\p)", R"(\\?\pipe\p)"},
      {"v", uR"(\\?\C:\v)", R"(\\?\C:\v)"},
      {"nt", uR"(\??\C:\nt)", R"(\??\C:\nt)"},
      {"odd", u"odd", "odd"},
      {long_classic, std::u16string(long_classic.begin(), long_classic.end()),
       long_classic_verbatim},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    fake.calls.clear();
    fake.full_paths[std::u16string(c.text.begin(), c.text.end())] = c.absolute;
    const OsPathResult converted = to_os_path(fake, c.text);
    ASSERT_TRUE(converted.ok());
    EXPECT_EQ(testing::narrow_for_log(converted.path.view()), c.handed_over);
    EXPECT_EQ(fake.calls,
              (Calls{"SetLastError(0)", "GetFullPathNameW(" + std::string(c.text) + ", 512)"}));
  }
}

TEST_F(WindowsFs, FullPathBufferGrowsAsWindowsAsks) {
  const std::u16string long_absolute = u"C:\\" + std::u16string(700, u'x');
  fake.full_paths[u"rel"] = long_absolute;
  const OsPathResult converted = to_os_path(fake, "rel");
  ASSERT_TRUE(converted.ok());
  EXPECT_EQ(converted.path.view(), u"\\\\?\\" + long_absolute);
  EXPECT_EQ(fake.calls, (Calls{"SetLastError(0)", "GetFullPathNameW(rel, 512)", "SetLastError(0)",
                               "GetFullPathNameW(rel, 704)"}));

  // A result equal to the size says the buffer was too small, not how small.
  fake.calls.clear();
  fake.full_path_results.push_back({512, 0});
  ASSERT_TRUE(to_os_path(fake, "rel").ok());
  EXPECT_EQ(fake.calls_without_set_last_error(),
            (Calls{"GetFullPathNameW(rel, 512)", "GetFullPathNameW(rel, 1024)"}));
}

TEST_F(WindowsFs, ConversionFailuresNeedNoCreateCall) {
  const OsPathResult with_nul = to_os_path(fake, std::string_view("C:\\a\0b", 6));
  ASSERT_FALSE(with_nul.ok());
  EXPECT_EQ(with_nul.failure->kind, FailureKind::path_has_nul);
  EXPECT_TRUE(fake.calls.empty());

  // A failing conversion is classified as the creation it stands for.
  fake.full_path_results.push_back({0, 3});
  const Status created = windows.create_directory("rel");
  ASSERT_FALSE(created.ok());
  EXPECT_EQ(created.failure(), (FsFailure{FailureKind::os_error, FailureClass::not_found, 3}));
  EXPECT_EQ(fake.calls_without_set_last_error(), (Calls{"GetFullPathNameW(rel, 512)"}));

  const Status nul_directory = windows.create_directory(std::string_view("a\0", 2));
  EXPECT_EQ(nul_directory.failure().kind, FailureKind::path_has_nul);
  EXPECT_EQ(nul_directory.failure().failure_class, FailureClass::other);
}

// --- Directories

TEST_F(WindowsFs, CreationFailuresAreClassified) {
  struct Case {
    std::uint32_t error;
    FailureClass failure_class;
  };
  const Case cases[] = {
      {2, FailureClass::not_found},        {3, FailureClass::not_found},
      {15, FailureClass::not_found},       {53, FailureClass::not_found},
      {67, FailureClass::not_found},       {80, FailureClass::already_exists},
      {183, FailureClass::already_exists}, {5, FailureClass::access_denied},
      {123, FailureClass::other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    fake.create_directory_outcomes.push_back(fails(c.error));
    const Status created = windows.create_directory(R"(C:\a\b)");
    ASSERT_FALSE(created.ok());
    EXPECT_EQ(created.failure(), (FsFailure{FailureKind::os_error, c.failure_class, c.error}));
  }
  EXPECT_TRUE(windows.create_directory(R"(C:\a\b)").ok());
  EXPECT_EQ(fake.calls.back(), R"(CreateDirectoryW(C:\a\b))");
}

// Windows refuses the empty names of repeated `\` in verbatim text, where
// join_path collapses them: the directory made is the one files go into.
TEST_F(WindowsFs, VerbatimDirectoriesLoseRepeatedSeparators) {
  fake.create_directory_outcomes.push_back(fails(183));
  EXPECT_FALSE(windows.create_directory(R"(\\?\C:\ctx\\)").ok());
  EXPECT_TRUE(windows.is_existing_directory(R"(\\?\C:\\ctx\\\)"));
  EXPECT_EQ(fake.calls, (Calls{R"(CreateDirectoryW(\\?\C:\ctx))",
                               R"(CreateFileW(\\?\C:\ctx, 0x0, 7, 3, 0x2000000))",
                               "GetFileInformationByHandle(h100)", "CloseHandle(h100)"}));
}

TEST_F(WindowsFs, DirectoryTestFollowsEveryFallback) {
  using testing::FindOutcome;
  using testing::InformationOutcome;
  using testing::TagOutcome;
  constexpr std::uint32_t directory = 0x10;
  constexpr std::uint32_t file = 0x20;
  constexpr std::uint32_t reparse_directory = 0x410;
  constexpr std::uint32_t symlink_tag = 0xA000000C;
  constexpr std::uint32_t dedup_tag = 0x80000013;  // no name-surrogate bit
  const std::string open = R"(CreateFileW(C:\d, 0x0, 7, 3, 0x2000000))";
  const std::string open_entry_itself = R"(CreateFileW(C:\d, 0x0, 7, 3, 0x2200000))";
  const std::string find = R"(FindFirstFileExW(C:\d, 1, 0, 0x0))";
  struct Case {
    std::string_view name;
    std::vector<CallOutcome> opens;
    std::vector<InformationOutcome> information;
    std::vector<TagOutcome> tags;
    std::vector<FindOutcome> finds;
    bool answer;
    Calls calls;
  };
  const Case cases[] = {
      {"directory",
       {},
       {{true, 0, directory}},
       {},
       {},
       true,
       {open, "GetFileInformationByHandle(h100)", "CloseHandle(h100)"}},
      {"file",
       {},
       {{true, 0, file}},
       {},
       {},
       false,
       {open, "GetFileInformationByHandle(h100)", "CloseHandle(h100)"}},
      {"link to a directory",
       {},
       {{true, 0, reparse_directory}},
       {{true, 0, reparse_directory, symlink_tag}},
       {},
       false,
       {open, "GetFileInformationByHandle(h100)", "GetFileInformationByHandleEx(h100, 9, 8)",
        "CloseHandle(h100)"}},
      {"tag record without the reparse bit",
       {},
       {{true, 0, reparse_directory}},
       {{true, 0, directory, symlink_tag}},
       {},
       true,
       {open, "GetFileInformationByHandle(h100)", "GetFileInformationByHandleEx(h100, 9, 8)",
        "CloseHandle(h100)"}},
      {"reparse point that is no link",
       {},
       {{true, 0, reparse_directory}},
       {{true, 0, reparse_directory, dedup_tag}},
       {},
       true,
       {open, "GetFileInformationByHandle(h100)", "GetFileInformationByHandleEx(h100, 9, 8)",
        "CloseHandle(h100)"}},
      {"information fails",
       {},
       {{false, 5, 0}},
       {},
       {},
       false,
       {open, "GetFileInformationByHandle(h100)", "CloseHandle(h100)"}},
      {"tag fails",
       {},
       {{true, 0, reparse_directory}},
       {{false, 87, 0, 0}},
       {},
       false,
       {open, "GetFileInformationByHandle(h100)", "GetFileInformationByHandleEx(h100, 9, 8)",
        "CloseHandle(h100)"}},
      {"access denied, listed as a directory",
       {fails(5)},
       {},
       {},
       {{true, 0, directory, 0}},
       true,
       {open, find, "FindClose(h100)"}},
      {"sharing violation, listed as a link",
       {fails(32)},
       {},
       {},
       {{true, 0, reparse_directory, symlink_tag}},
       false,
       {open, find, "FindClose(h100)"}},
      {"access denied, not listed", {fails(5)}, {}, {}, {{false, 5, 0, 0}}, false, {open, find}},
      {"cannot access the target",
       {fails(1920)},
       {{true, 0, directory}},
       {},
       {},
       true,
       {open, open_entry_itself, "GetFileInformationByHandle(h100)", "CloseHandle(h100)"}},
      {"cannot access the target of a link",
       {fails(1920)},
       {{true, 0, reparse_directory}},
       {{true, 0, reparse_directory, symlink_tag}},
       {},
       false,
       {open, open_entry_itself, "GetFileInformationByHandle(h100)",
        "GetFileInformationByHandleEx(h100, 9, 8)", "CloseHandle(h100)"}},
      {"cannot access the entry either",
       {fails(1920), fails(1920)},
       {},
       {},
       {},
       false,
       {open, open_entry_itself}},
      {"entry itself denied, listed",
       {fails(1920), fails(5)},
       {},
       {},
       {{true, 0, directory, 0}},
       true,
       {open, open_entry_itself, find, "FindClose(h100)"}},
      {"not found", {fails(2)}, {}, {}, {}, false, {open}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWin32 scenario;
    scenario.create_file_outcomes.assign(c.opens.begin(), c.opens.end());
    scenario.information_outcomes.assign(c.information.begin(), c.information.end());
    scenario.tag_outcomes.assign(c.tags.begin(), c.tags.end());
    scenario.find_outcomes.assign(c.finds.begin(), c.finds.end());
    WindowsPlatform platform(scenario);
    EXPECT_EQ(platform.is_existing_directory(R"(C:\d)"), c.answer);
    EXPECT_EQ(scenario.calls, c.calls);
    EXPECT_TRUE(scenario.open_handles.empty());
  }
}

// --- Writing the temporary file

TEST_F(WindowsFs, NewTemporaryFileIsWrittenWhole) {
  ASSERT_TRUE(windows.write_temporary_file(R"(C:\ctx\.a.7.tmp)", as_bytes("{\"a\":1}")).ok());
  EXPECT_EQ(fake.written, "{\"a\":1}");
  EXPECT_EQ(fake.calls, (Calls{R"(CreateFileW(C:\ctx\.a.7.tmp, 0x40000000, 7, 4, 0x0))",
                               "NtWriteFile(h100, 7)", "CloseHandle(h100)"}));
}

TEST_F(WindowsFs, LeftoverTemporaryFileIsCutToZeroFirst) {
  const std::vector<unsigned char> zero(8, 0);
  struct Case {
    std::vector<CallOutcome> cuts;
    Calls calls;
    bool ok;
  };
  const Case cases[] = {
      {{},
       {"SetFileInformationByHandle(h100, 5, 8)", "NtWriteFile(h100, 2)", "CloseHandle(h100)"},
       true},
      // Some file systems refuse an allocation size; the end of file serves.
      {{fails(120)},
       {"SetFileInformationByHandle(h100, 5, 8)", "SetFileInformationByHandle(h100, 6, 8)",
        "NtWriteFile(h100, 2)", "CloseHandle(h100)"},
       true},
      {{fails(120), fails(5)},
       {"SetFileInformationByHandle(h100, 5, 8)", "SetFileInformationByHandle(h100, 6, 8)",
        "CloseHandle(h100)"},
       false},
  };
  for (const Case& c : cases) {
    FakeWin32 scenario;
    scenario.create_file_outcomes.push_back({true, 183});
    scenario.set_information_outcomes.assign(c.cuts.begin(), c.cuts.end());
    WindowsPlatform platform(scenario);
    const Status status = platform.write_temporary_file("C:\\t", as_bytes("{}"));
    Calls expected{R"(CreateFileW(C:\t, 0x40000000, 7, 4, 0x0))"};
    expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(scenario.calls, expected);
    for (const testing::InformationRecord& record : scenario.records) EXPECT_EQ(record.bytes, zero);
    EXPECT_EQ(status.ok(), c.ok);
    if (!c.ok) {
      // The code of the second cut, read before the handle was closed.
      EXPECT_EQ(status.failure(),
                (FsFailure{FailureKind::os_error, FailureClass::access_denied, 5}));
      EXPECT_EQ(scenario.written, "");
    }
    EXPECT_TRUE(scenario.open_handles.empty());
  }
}

TEST_F(WindowsFs, WritesContinueUntilEveryByteIsTaken) {
  fake.write_outcomes = {{0, 3, 0}, {win32::status_pending, 2, 0}, {}};
  ASSERT_TRUE(windows.write_temporary_file("C:\\t", as_bytes("0123456789")).ok());
  EXPECT_EQ(fake.written, "0123456789");
  EXPECT_EQ(fake.calls_without_set_last_error(),
            (Calls{R"(CreateFileW(C:\t, 0x40000000, 7, 4, 0x0))", "NtWriteFile(h100, 10)",
                   "NtWriteFile(h100, 7)", "WaitForSingleObject(h100, 0xffffffff)",
                   "NtWriteFile(h100, 5)", "CloseHandle(h100)"}));
}

TEST_F(WindowsFs, FailedWritesAreNotRetried) {
  constexpr auto disk_full = static_cast<std::int32_t>(0xC000007F);
  struct Case {
    testing::WriteOutcome outcome;
    FsFailure failure;
    Calls tail;
  };
  const Case cases[] = {
      {{disk_full, 0, 0},
       {FailureKind::os_error, FailureClass::other, 112},
       {"RtlNtStatusToDosError(0xc000007f)"}},
      {{win32::status_pending, 0, disk_full},
       {FailureKind::os_error, FailureClass::other, 112},
       {"WaitForSingleObject(h100, 0xffffffff)", "RtlNtStatusToDosError(0xc000007f)"}},
      {{0, 0, 0}, {FailureKind::zero_byte_write, FailureClass::other, 0}, {}},
  };
  for (const Case& c : cases) {
    FakeWin32 scenario;
    scenario.dos_errors[disk_full] = 112;
    scenario.write_outcomes.push_back(c.outcome);
    WindowsPlatform platform(scenario);
    const Status status = platform.write_temporary_file("C:\\t", as_bytes("abc"));
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure(), c.failure);
    Calls expected{R"(CreateFileW(C:\t, 0x40000000, 7, 4, 0x0))", "NtWriteFile(h100, 3)"};
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    expected.push_back("CloseHandle(h100)");
    EXPECT_EQ(scenario.calls, expected);
    EXPECT_TRUE(scenario.open_handles.empty());
  }
}

TEST_F(WindowsFs, FailedOpenOfTheTemporaryFileLeavesNothingOpen) {
  fake.create_file_outcomes.push_back(fails(5));
  const Status status = windows.write_temporary_file("C:\\t", as_bytes("{}"));
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.failure().code, 5u);
  EXPECT_EQ(fake.calls.size(), 1u);
}

// --- Replacing and deleting

TEST_F(WindowsFs, ReplaceMovesWithReplaceExistingOnly) {
  ASSERT_TRUE(windows.replace_file("C:\\c\\.a.1.tmp", "C:\\c\\a.json").ok());
  EXPECT_EQ(fake.calls, (Calls{R"(MoveFileExW(C:\c\.a.1.tmp, C:\c\a.json, 1))"}));

  // Only access denied earns a second attempt.
  fake.calls.clear();
  fake.move_outcomes.push_back(fails(32));
  const Status refused = windows.replace_file("C:\\c\\.a.1.tmp", "C:\\c\\a.json");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.failure().code, 32u);
  EXPECT_EQ(fake.calls.size(), 1u);
}

TEST_F(WindowsFs, ReplaceRenamesThroughAHandleAfterAccessDenied) {
  fake.move_outcomes.push_back(fails(5));
  ASSERT_TRUE(windows.replace_file(".a.1.tmp", "a.json").ok());
  EXPECT_EQ(fake.calls_without_set_last_error(),
            (Calls{"GetFullPathNameW(.a.1.tmp, 512)", "GetFullPathNameW(a.json, 512)",
                   R"(MoveFileExW(\\?\C:\cwd\.a.1.tmp, \\?\C:\cwd\a.json, 1))",
                   "GetFullPathNameW(.a.1.tmp, 512)",
                   R"(CreateFileW(\\?\C:\cwd\.a.1.tmp, 0x10000, 7, 3, 0x2200000))",
                   "GetFullPathNameW(a.json, 512)", "SetFileInformationByHandle(h100, 22, 56)",
                   "CloseHandle(h100)"}));

  // FILE_RENAME_INFO: flags 3, no root directory, the name's byte length,
  // then the name and its terminator; 20 + 34 + 2 bytes.
  ASSERT_EQ(fake.records.size(), 1u);
  const std::vector<unsigned char>& record = fake.records[0].bytes;
  ASSERT_EQ(record.size(), 56u);
  std::uint32_t flags = 0;
  std::uint64_t root = 1;
  std::uint32_t name_length = 0;
  std::memcpy(&flags, record.data(), 4);
  std::memcpy(&root, record.data() + 8, 8);
  std::memcpy(&name_length, record.data() + 16, 4);
  EXPECT_EQ(flags, 3u);
  EXPECT_EQ(root, 0u);
  EXPECT_EQ(name_length, 34u);
  std::u16string name(18, u'?');
  std::memcpy(name.data(), record.data() + 20, 36);
  EXPECT_EQ(name, std::u16string(u"\\\\?\\C:\\cwd\\a.json") + u'\0');
}

TEST_F(WindowsFs, FailedSecondRenameReportsTheFirstRefusal) {
  struct Case {
    std::vector<CallOutcome> opens;
    std::vector<CallOutcome> renames;
    std::uint32_t code;
  };
  const Case cases[] = {
      {{fails(32)}, {}, 5},
      // Renaming onto a directory that holds entries names its own cause.
      {{}, {fails(145)}, 145},
      {{}, {fails(87)}, 5},
  };
  for (const Case& c : cases) {
    FakeWin32 scenario;
    scenario.move_outcomes.push_back(fails(5));
    scenario.create_file_outcomes.assign(c.opens.begin(), c.opens.end());
    scenario.set_information_outcomes.assign(c.renames.begin(), c.renames.end());
    WindowsPlatform platform(scenario);
    const Status status = platform.replace_file("C:\\t", "C:\\f");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure().code, c.code);
    EXPECT_TRUE(scenario.open_handles.empty());
  }
}

TEST_F(WindowsFs, DeleteRemovesReadOnlyFilesThroughAHandle) {
  ASSERT_TRUE(windows.delete_file("C:\\t").ok());
  EXPECT_EQ(fake.calls, (Calls{R"(DeleteFileW(C:\t))"}));

  fake.calls.clear();
  fake.delete_outcomes.push_back(fails(5));
  ASSERT_TRUE(windows.delete_file("C:\\t").ok());
  EXPECT_EQ(fake.calls,
            (Calls{R"(DeleteFileW(C:\t))", R"(CreateFileW(C:\t, 0x10000, 7, 3, 0x200000))",
                   "SetFileInformationByHandle(h100, 21, 4)", "CloseHandle(h100)"}));
  ASSERT_EQ(fake.records.size(), 1u);
  EXPECT_EQ(fake.records[0].bytes, (std::vector<unsigned char>{0x13, 0, 0, 0}));
}

TEST_F(WindowsFs, FailedDeletesReportTheirFirstCode) {
  struct Case {
    std::uint32_t first;
    std::vector<CallOutcome> opens;
    std::vector<CallOutcome> dispositions;
    std::size_t call_count;
  };
  const Case cases[] = {
      {2, {}, {}, 1},
      {5, {fails(2)}, {}, 2},
      {5, {}, {fails(87)}, 4},
  };
  for (const Case& c : cases) {
    FakeWin32 scenario;
    scenario.delete_outcomes.push_back(fails(c.first));
    scenario.create_file_outcomes.assign(c.opens.begin(), c.opens.end());
    scenario.set_information_outcomes.assign(c.dispositions.begin(), c.dispositions.end());
    WindowsPlatform platform(scenario);
    const Status status = platform.delete_file("C:\\t");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure().code, c.first);
    EXPECT_EQ(scenario.calls.size(), c.call_count);
    EXPECT_TRUE(scenario.open_handles.empty());
  }
}

}  // namespace
}  // namespace obrelix::platform
