#include "files/paths.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace obrelix::files {
namespace {

using platform::PathStyle;

TEST(JoinPath, PosixAddsOneSlashWhereNeeded) {
  struct Case {
    std::string_view directory;
    std::string_view joined;
  };
  const Case cases[] = {
      {"/ctx", "/ctx/a.json"}, {"/ctx/", "/ctx/a.json"}, {"/", "/a.json"},
      {"", "a.json"},          {"ctx", "ctx/a.json"},    {"a\\b", "a\\b/a.json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directory);
    EXPECT_EQ(join_path(PathStyle::posix, c.directory, "a.json"), c.joined);
  }
}

TEST(JoinPath, WindowsStyleFollowsTheWindowsGrammar) {
  EXPECT_EQ(join_path(PathStyle::windows, "C:\\ctx", "a.json"), "C:\\ctx\\a.json");
  EXPECT_EQ(join_path(PathStyle::windows, "C:", "a.json"), "C:a.json");
}

TEST(ParentPath, PosixFollowsTheComponents) {
  struct Case {
    std::string_view path;
    std::optional<std::string_view> parent;
  };
  const Case cases[] = {
      {"/a/b/c", "/a/b"},
      {"/a/b/", "/a"},
      {"/a/b//.//", "/a"},
      {"/a/./b", "/a"},
      {"/a", "/"},
      {"//a", "/"},
      {"/a/..", "/a"},
      {"a", ""},
      {"a/.", ""},
      {"a//b", "a"},
      {"./a", "."},
      {"././a", "."},
      {".", ""},
      {"..", ""},
      {"../a", ".."},
      // A backslash is an ordinary character here.
      {"a\\b", ""},
      // No name component: no parent.
      {"/", std::nullopt},
      {"//", std::nullopt},
      {"/./", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(parent_path(PathStyle::posix, c.path), c.parent);
  }
}

TEST(ParentPath, WindowsStyleFollowsTheWindowsGrammar) {
  EXPECT_EQ(parent_path(PathStyle::windows, "C:\\a\\b"), "C:\\a");
  EXPECT_EQ(parent_path(PathStyle::windows, "C:\\"), std::nullopt);
}

// Directory creation walks parents until there is none: each step must be a
// strictly shorter prefix, or the walk would never end.
TEST(ParentPath, PosixChainsEndWithShorterPrefixes) {
  const std::string_view paths[] = {"/a/b/c//./", "../../a", "./././x/", "//x//y//", "a/b/c"};
  for (std::string_view path : paths) {
    SCOPED_TRACE(path);
    std::optional<std::string_view> current = path;
    int steps = 0;
    while (current.has_value() && !current->empty()) {
      const std::optional<std::string_view> parent = parent_path(PathStyle::posix, *current);
      if (parent.has_value()) {
        EXPECT_LT(parent->size(), current->size());
        EXPECT_EQ(current->substr(0, parent->size()), *parent);
      }
      current = parent;
      ASSERT_LT(++steps, 16);
    }
  }
}

}  // namespace
}  // namespace obrelix::files
