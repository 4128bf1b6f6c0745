// Standard input, the environment and the clock of the Windows layer against
// the recording fake.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_logic.hpp"
#include "support/fake_win32.hpp"

namespace obrelix::platform {
namespace {

using testing::ConsoleReadOutcome;
using testing::FakeWin32;
using testing::FileReadOutcome;
using Calls = std::vector<std::string>;

constexpr std::string_view console_read = "ReadConsoleW(h3, 4096, {16, 0, 0x4000000, 0})";

struct Gathered {
  std::string bytes;
  ReadOutcome last = ReadOutcome::data;
};

// Reads as the intake does, request by request, until something other than data.
Gathered gather(Platform& platform, std::size_t request) {
  Gathered gathered;
  std::vector<std::byte> area(request);
  for (int guard = 0; guard < 100000; ++guard) {
    const StdinRead read = platform.read_stdin(area);
    gathered.last = read.outcome;
    if (read.outcome != ReadOutcome::data) break;
    gathered.bytes.append(reinterpret_cast<const char*>(area.data()), read.count);
  }
  return gathered;
}

// --- Standard input

TEST(WindowsStdin, EndsOfInputAreToldFromFailures) {
  constexpr auto pipe_broken = static_cast<std::int32_t>(0xC000014B);
  struct Case {
    std::string_view name;
    Win32Handle handle;
    std::uint32_t handle_error;
    FileReadOutcome read;
    std::uint32_t dos_error;
    ReadOutcome outcome;
  };
  const Case cases[] = {
      {"no handle", null_handle, 0, {}, 0, ReadOutcome::end_of_input},
      {"invalid handle", invalid_handle_value, 6, {}, 0, ReadOutcome::end_of_input},
      {"handle refused", invalid_handle_value, 5, {}, 0, ReadOutcome::failed},
      {"end of file",
       Win32Handle{3},
       0,
       {win32::status_end_of_file, {}, 0},
       0,
       ReadOutcome::end_of_input},
      {"nothing read", Win32Handle{3}, 0, {0, {}, 0}, 0, ReadOutcome::end_of_input},
      {"pending, then end of file",
       Win32Handle{3},
       0,
       {win32::status_pending, {}, win32::status_end_of_file},
       0,
       ReadOutcome::end_of_input},
      {"broken pipe", Win32Handle{3}, 0, {pipe_broken, {}, 0}, 109, ReadOutcome::end_of_input},
      {"no data", Win32Handle{3}, 0, {pipe_broken, {}, 0}, 232, ReadOutcome::end_of_input},
      {"socket shut down",
       Win32Handle{3},
       0,
       {pipe_broken, {}, 0},
       10058,
       ReadOutcome::end_of_input},
      {"handle closed", Win32Handle{3}, 0, {pipe_broken, {}, 0}, 6, ReadOutcome::end_of_input},
      {"device error", Win32Handle{3}, 0, {pipe_broken, {}, 0}, 1117, ReadOutcome::failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWin32 fake;
    fake.std_input = c.handle;
    fake.std_input_error = c.handle_error;
    fake.file_reads.push_back(c.read);
    fake.dos_errors[pipe_broken] = c.dos_error;
    WindowsPlatform windows(fake);
    std::array<std::byte, 32> area{};
    EXPECT_EQ(windows.read_stdin(area).outcome, c.outcome);
  }
}

TEST(WindowsStdin, SmallRequestsAreServedFromTheBuffer) {
  FakeWin32 fake;
  fake.file_reads = {{0, std::string(20000, 'x'), 0}, {win32::status_pending, "tail", 0}};
  WindowsPlatform windows(fake);
  const Gathered gathered = gather(windows, 32);
  EXPECT_EQ(gathered.bytes, std::string(20000, 'x') + "tail");
  EXPECT_EQ(gathered.last, ReadOutcome::end_of_input);
  // Each platform read asks for the standard input handle and its kind anew.
  const Calls per_read{"GetStdHandle(0xfffffff6)", "GetConsoleMode(h3)", "NtReadFile(h3, 12288)"};
  Calls expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), per_read.begin(), per_read.end());
  expected.push_back("WaitForSingleObject(h3, 0xffffffff)");
  expected.insert(expected.end(), per_read.begin(), per_read.end());
  EXPECT_EQ(fake.calls, expected);
}

TEST(WindowsStdin, LargeRequestsBypassTheBuffer) {
  FakeWin32 fake;
  fake.file_reads = {{0, std::string(20000, 'y'), 0}};
  WindowsPlatform windows(fake);
  std::vector<std::byte> area(16384);
  const StdinRead read = windows.read_stdin(area);
  EXPECT_EQ(read.outcome, ReadOutcome::data);
  EXPECT_EQ(read.count, 16384u);
  EXPECT_EQ(fake.calls.back(), "NtReadFile(h3, 16384)");
}

TEST(WindowsConsole, UnitsBecomeUtf8AndCtrlZEndsTheInput) {
  struct Case {
    std::string_view name;
    std::vector<ConsoleReadOutcome> reads;
    std::string bytes;
    ReadOutcome last;
  };
  const Case cases[] = {
      {"line", {{true, u"{}\r\n", 0}}, "{}\r\n", ReadOutcome::end_of_input},
      {"Ctrl-Z last is dropped", {{true, u"ab\x1A", 0}}, "ab", ReadOutcome::end_of_input},
      {"Ctrl-Z alone ends",
       {{true, u"\x1A", 0}, {true, u"late", 0}},
       "",
       ReadOutcome::end_of_input},
      {"Ctrl-Z inside stays",
       {{true,
         u"a\x1A"
         u"b",
         0}},
       "a\x1A"
       "b",
       ReadOutcome::end_of_input},
      {"non-ASCII",
       {{true, u"\u00e9\u65e5", 0}},
       "\xC3\xA9\xE6\x97\xA5",
       ReadOutcome::end_of_input},
      {"pair split between reads",
       {{true, u"x\xD83D", 0}, {true, u"\xDE00y", 0}},
       "x\xF0\x9F\x98\x80y",
       ReadOutcome::end_of_input},
      // A read that brings only the first half of a pair has not ended anything.
      {"pair split after a lone leading half",
       {{true, u"\xD83D", 0}, {true, u"\xDE00", 0}},
       "\xF0\x9F\x98\x80",
       ReadOutcome::end_of_input},
      {"Ctrl-C aborts a read, which is repeated",
       {{true, u"", 995}, {false, u"", 995}, {true, u"ok", 0}},
       "ok",
       ReadOutcome::end_of_input},
      {"unpaired trailing half", {{true, u"a\xDE00", 0}}, "", ReadOutcome::failed},
      {"console gone", {{true, u"ab", 0}, {false, u"", 6}}, "ab", ReadOutcome::end_of_input},
      {"console fails", {{true, u"ab", 0}, {false, u"", 31}}, "ab", ReadOutcome::failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWin32 fake;
    fake.console = true;
    fake.console_reads.assign(c.reads.begin(), c.reads.end());
    WindowsPlatform windows(fake);
    const Gathered gathered = gather(windows, 32);
    EXPECT_EQ(gathered.bytes, c.bytes);
    EXPECT_EQ(gathered.last, c.last);
  }
}

TEST(WindowsConsole, ReadsAreBoundedAndCarryAHeldHalf) {
  FakeWin32 fake;
  fake.console = true;
  // 4096 units fill the first read; the pair straddles its end.
  std::u16string units(4095, u'a');
  units += u"\xD83D\xDE00";
  fake.console_reads.push_back({true, units, 0});
  WindowsPlatform windows(fake);
  const Gathered gathered = gather(windows, 12288);
  EXPECT_EQ(gathered.bytes, std::string(4095, 'a') + "\xF0\x9F\x98\x80");
  const Calls expected{"GetStdHandle(0xfffffff6)", "GetConsoleMode(h3)", "SetLastError(0)",
                       std::string(console_read), "WideCharToMultiByte(65001, 0x80, 4095, 12288)",
                       "GetStdHandle(0xfffffff6)", "GetConsoleMode(h3)", "SetLastError(0)",
                       // The held half takes one of the 4096 units.
                       "ReadConsoleW(h3, 4095, {16, 0, 0x4000000, 0})",
                       "WideCharToMultiByte(65001, 0x80, 2, 12288)", "GetStdHandle(0xfffffff6)",
                       "GetConsoleMode(h3)", "SetLastError(0)",
                       "ReadConsoleW(h3, 4096, {16, 0, 0x4000000, 0})"};
  EXPECT_EQ(fake.calls, expected);
}

// --- Environment

TEST(WindowsEnvironment, TellsAbsentEmptyTextAndNotUnicodeApart) {
  struct Case {
    std::string_view name;
    std::optional<std::u16string> value;
    EnvOutcome outcome;
    std::string text;
  };
  const Case cases[] = {
      {"absent", std::nullopt, EnvOutcome::absent, ""},
      {"empty", u"", EnvOutcome::text, ""},
      {"text", u"C:\\ctx", EnvOutcome::text, "C:\\ctx"},
      {"pair", u"\xD83D\xDE00\u00e9", EnvOutcome::text, "\xF0\x9F\x98\x80\xC3\xA9"},
      {"lone leading half", u"a\xD83D", EnvOutcome::not_unicode, ""},
      {"lone leading half inside", u"\xD83Dz", EnvOutcome::not_unicode, ""},
      {"lone trailing half", u"\xDE00", EnvOutcome::not_unicode, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWin32 fake;
    if (c.value) fake.environment[u"OBRELIX_CONTEXT_DIR"] = *c.value;
    // A stale error must not make an empty value look absent.
    fake.set_last_error(203);
    fake.calls.clear();
    WindowsPlatform windows(fake);
    const EnvRead read = windows.read_environment("OBRELIX_CONTEXT_DIR");
    EXPECT_EQ(read.outcome, c.outcome);
    EXPECT_EQ(read.text, c.text);
    EXPECT_EQ(fake.calls,
              (Calls{"SetLastError(0)", "GetEnvironmentVariableW(OBRELIX_CONTEXT_DIR, 512)"}));
  }
}

TEST(WindowsEnvironment, LongValuesGetALargerBuffer) {
  FakeWin32 fake;
  fake.environment[u"V"] = std::u16string(1000, u'v');
  WindowsPlatform windows(fake);
  const EnvRead read = windows.read_environment("V");
  EXPECT_EQ(read.outcome, EnvOutcome::text);
  EXPECT_EQ(read.text, std::string(1000, 'v'));
  EXPECT_EQ(fake.calls, (Calls{"SetLastError(0)", "GetEnvironmentVariableW(V, 512)",
                               "SetLastError(0)", "GetEnvironmentVariableW(V, 1001)"}));
}

// --- Clock and process

TEST(WindowsClock, JoinsTheHalvesAsASignedCount) {
  FakeWin32 fake;
  WindowsPlatform windows(fake);
  fake.clock = {0xD53E8000, 0x019DB1DE};
  EXPECT_EQ(windows.read_clock(), 116444736000000000);
  fake.clock = {0xFFFFFFFF, 0x7FFFFFFF};
  EXPECT_EQ(windows.read_clock(), INT64_MAX);
  fake.clock = {0, 0x80000000};
  EXPECT_EQ(windows.read_clock(), INT64_MIN);
  EXPECT_EQ(windows.process_id(), 4242u);
  EXPECT_EQ(windows.path_style(), PathStyle::windows);
}

}  // namespace
}  // namespace obrelix::platform
