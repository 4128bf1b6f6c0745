#include "bin/obrelix-statusline/session_id.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace obrelix::capture {
namespace {

TEST(IsValidSessionId, AcceptsOnlyShortAsciiWordCharacters) {
  const std::string longest(128, 'a');
  const std::string too_long(129, 'a');
  struct Case {
    std::string_view id;
    bool accepted;
  };
  const Case cases[] = {
      {"a", true},
      {"abc", true},
      {"ABC", true},
      {"A-Z_09", true},
      {"-", true},
      {longest, true},
      {"", false},
      {too_long, false},
      {"abc ", false},
      {" abc", false},
      {"a.b", false},
      {"..", false},
      {"a/b", false},
      {"a\\b", false},
      {"C:", false},
      {"a+b", false},
      {std::string_view("a\0b", 3), false},
      {"a\n", false},
      {"\xC3\xA9", false},                  // é
      {"\xE6\x97\xA5\xE6\x9C\xAC", false},  // 日本
      {"ab\xEF\xBC\x91", false},            // fullwidth digit one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(is_valid_session_id(c.id), c.accepted);
  }
}

TEST(FileNames, InsertTheIdentifierAndPidVerbatim) {
  struct Case {
    std::string_view id;
    std::uint32_t pid;
    std::string_view context_name;
    std::string_view temporary_name;
  };
  const Case cases[] = {
      {"abc", 4242, "abc.json", ".abc.4242.tmp"},
      {"A-Z_09", 7, "A-Z_09.json", ".A-Z_09.7.tmp"},
      {"a", 0, "a.json", ".a.0.tmp"},
      {"abc", 4294967295, "abc.json", ".abc.4294967295.tmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(context_file_name(c.id), c.context_name);
    EXPECT_EQ(temporary_file_name(c.id, c.pid), c.temporary_name);
  }
}

}  // namespace
}  // namespace obrelix::capture
