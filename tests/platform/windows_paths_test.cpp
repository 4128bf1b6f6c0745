#include "files/windows_paths.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace obrelix::files {
namespace {

TEST(WindowsJoinPath, ComposesByTheGrammarOfTheDirectory) {
  struct Case {
    std::string_view directory;
    std::string_view joined;
  };
  const Case cases[] = {
      {R"(C:\ctx)", R"(C:\ctx\a.json)"},
      {R"(C:\ctx\)", R"(C:\ctx\a.json)"},
      {R"(C:\ctx/)", R"(C:\ctx/a.json)"},
      {R"(C:/x/ctx)", R"(C:/x/ctx\a.json)"},
      {R"(C:\)", R"(C:\a.json)"},
      {"C:", "C:a.json"},
      {"z:", "z:a.json"},
      {"1:", R"(1:\a.json)"},
      {"C:x", R"(C:x\a.json)"},
      {"", "a.json"},
      {"ctx", R"(ctx\a.json)"},
      {R"(\\server\share\)", R"(\\server\share\a.json)"},
      {R"(\\server\share)", R"(\\server\share\a.json)"},
      // Verbatim directories are rebuilt: repeated and trailing `\` collapse.
      {R"(\\?\C:\ctx\\)", R"(\\?\C:\ctx\a.json)"},
      {R"(\\?\C:)", R"(\\?\C:\a.json)"},
      {R"(\\?\C:\)", R"(\\?\C:\a.json)"},
      {R"(\\?\C:/x/y)", R"(\\?\C:\x/y\a.json)"},
      {R"(\\?\C:\\a\\.\..\\b\)", R"(\\?\C:\a\.\..\b\a.json)"},
      {R"(\\?\UNC\server\share\\ctx)", R"(\\?\UNC\server\share\ctx\a.json)"},
      {R"(\\?\UNC\server\share)", R"(\\?\UNC\server\share\a.json)"},
      {R"(\\?\Volume{1}\\ctx\)", R"(\\?\Volume{1}\ctx\a.json)"},
      // Only the backslash marker is verbatim.
      {R"(//?/C:\ctx\\)", R"(//?/C:\ctx\\a.json)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directory);
    EXPECT_EQ(windows_join_path(c.directory, "a.json"), c.joined);
  }
}

// Directory creation works on the directory join_path puts the files in.
TEST(WindowsCollapseVerbatim, RebuildsOnlyVerbatimPaths) {
  struct Case {
    std::string_view path;
    std::string_view collapsed;
  };
  const Case cases[] = {
      {R"(\\?\C:\ctx\\)", R"(\\?\C:\ctx)"},
      {R"(\\?\C:\\a\\b\\\)", R"(\\?\C:\a\b)"},
      {R"(\\?\C:\)", R"(\\?\C:\)"},
      {R"(\\?\C:\\\)", R"(\\?\C:\)"},
      {R"(\\?\C:)", R"(\\?\C:)"},
      {R"(\\?\UNC\server\share\x\\)", R"(\\?\UNC\server\share\x)"},
      {R"(C:\ctx\\)", R"(C:\ctx\\)"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(windows_collapse_verbatim(c.path), c.collapsed);
  }
}

TEST(WindowsParentPath, FollowsTheComponents) {
  struct Case {
    std::string_view path;
    std::optional<std::string_view> parent;
  };
  const Case cases[] = {
      {R"(C:\a\b\c)", R"(C:\a\b)"},
      {R"(C:\a\b\)", R"(C:\a)"},
      {R"(C:\a\b\\.\\)", R"(C:\a)"},
      {R"(C:\a\.\b)", R"(C:\a)"},
      {R"(C:\a)", R"(C:\)"},
      {R"(C:\\a)", R"(C:\)"},
      {R"(C:/a/b)", "C:/a"},
      {"C:a", "C:"},
      {R"(C:\a\..)", R"(C:\a)"},
      {"a", ""},
      {R"(a\.)", ""},
      {R"(.\a)", "."},
      {R"(.\.\a)", "."},
      {".", ""},
      {"..", ""},
      {R"(..\a)", ".."},
      {R"(\a)", R"(\)"},
      {R"(\\server\share\a)", R"(\\server\share\)"},
      {"//server/share/a/b", "//server/share/a"},
      {R"(\\server\a-much-longer-share-name\x)", R"(\\server\a-much-longer-share-name\)"},
      {R"(\\.\pipe\x)", R"(\\.\pipe\)"},
      // Without a share there is no UNC prefix: a root and names.
      {R"(\\server)", R"(\)"},
      {R"(\\?\C:\a\b)", R"(\\?\C:\a)"},
      {R"(\\?\C:\a\.)", R"(\\?\C:\a)"},
      {R"(\\?\C:\a/b)", R"(\\?\C:\)"},
      {R"(\\?\C:\a\\)", R"(\\?\C:\)"},
      {R"(\\?\UNC\server\share\a)", R"(\\?\UNC\server\share\)"},
      {R"(\\?\Volume{1}\a)", R"(\\?\Volume{1}\)"},
      // No parent: the last component is a prefix or a root, or there is none.
      {R"(C:\)", std::nullopt},
      {"C:", std::nullopt},
      {"C:/", std::nullopt},
      {R"(\)", std::nullopt},
      {"/", std::nullopt},
      {R"(\\server\share)", std::nullopt},
      {R"(\\server\share\)", std::nullopt},
      {R"(\\.\pipe)", std::nullopt},
      {R"(\\?\C:\)", std::nullopt},
      {R"(\\?\C:)", std::nullopt},
      {R"(\\?\UNC\server\share\\)", std::nullopt},
      {R"(\\?\Volume{1})", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(windows_parent_path(c.path), c.parent);
  }
}

// Walking up by parents from any text ends, and each step is a shorter prefix
// of the text before it: directory creation relies on both.
TEST(WindowsParentPath, ChainsEndWithShorterTexts) {
  const std::string_view paths[] = {
      R"(C:\a\b\c\\.\)", R"(\\?\UNC\s\h\x\y)", R"(..\..\a)", R"(//s/h//x/./y/)",
      R"(\\?\\\x)",      R"(\\.\\a)",          R"(a\\b)",    R"(\\?\UNC\)",
  };
  for (std::string_view path : paths) {
    SCOPED_TRACE(path);
    std::optional<std::string_view> current = path;
    int steps = 0;
    while (current.has_value() && !current->empty()) {
      const std::optional<std::string_view> parent = windows_parent_path(*current);
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
