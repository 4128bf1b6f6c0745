#include "files/directory.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.hpp"

namespace obrelix::files {
namespace {

using fake::FakePlatform;
using platform::PathStyle;
using Calls = std::vector<std::string>;

TEST(MakeDirectoryTree, CreatesMissingParentsUpwardThenDownward) {
  struct Case {
    const char* name;
    PathStyle style;
    std::vector<std::string> present;
    std::string directory;
    Calls calls;
  };
  const Case cases[] = {
      {"only the drive root present",
       PathStyle::windows,
       {},
       R"(C:\a\b\c)",
       {R"(create_directory C:\a\b\c)", R"(create_directory C:\a\b)", R"(create_directory C:\a)",
        R"(create_directory C:\a\b)", R"(create_directory C:\a\b\c)"}},
      {"the grandparent present",
       PathStyle::windows,
       {R"(C:\a)"},
       R"(C:\a\b\c)",
       {R"(create_directory C:\a\b\c)", R"(create_directory C:\a\b)",
        R"(create_directory C:\a\b\c)"}},
      {"trailing separators and dot names",
       PathStyle::posix,
       {},
       "/a/./b//",
       {"create_directory /a/./b//", "create_directory /a", "create_directory /a/./b//"}},
      {"relative, up to the current directory",
       PathStyle::posix,
       {},
       "x/y",
       {"create_directory x/y", "create_directory x", "create_directory x/y"}},
      {"existing directory: one call and the test",
       PathStyle::posix,
       {"/ctx"},
       "/ctx",
       {"create_directory /ctx", "is_existing_directory /ctx"}},
      {"the empty text is the current directory", PathStyle::posix, {}, "", {}},
      {"a root is never created", PathStyle::posix, {}, "/", {}},
      {"a drive root is never created", PathStyle::windows, {}, R"(C:\)", {}},
      {"a bare drive is never created", PathStyle::windows, {}, "C:", {}},
      {"a share root is never created", PathStyle::windows, {}, R"(\\server\share\)", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fake(c.style);
    for (const std::string& path : c.present) fake.add_directory(path);
    EXPECT_TRUE(make_directory_tree(fake, c.directory).ok());
    EXPECT_EQ(fake.calls(), c.calls);
    EXPECT_TRUE(fake.is_directory(c.directory));
  }
}

TEST(MakeDirectoryTree, FailsWhenANameIsTakenByAFile) {
  {
    SCOPED_TRACE("the directory itself");
    FakePlatform fake;
    fake.add_file("/ctx", "x");
    const platform::Status status = make_directory_tree(fake, "/ctx");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure(), fake::exists_failure);
    EXPECT_EQ(fake.calls(), (Calls{"create_directory /ctx", "is_existing_directory /ctx"}));
  }
  {
    SCOPED_TRACE("a parent, on Windows, where the OS reports a missing path");
    FakePlatform fake(PathStyle::windows);
    fake.add_file(R"(C:\a)", "x");
    fake.fail(R"(create_directory C:\a\b)", fake::not_found_failure);
    EXPECT_FALSE(make_directory_tree(fake, R"(C:\a\b)").ok());
    EXPECT_EQ(fake.calls(), (Calls{R"(create_directory C:\a\b)", R"(create_directory C:\a)",
                                   R"(is_existing_directory C:\a)"}));
  }
  {
    SCOPED_TRACE("a parent, on POSIX, where the OS reports not a directory");
    FakePlatform fake;
    fake.add_file("/a", "x");
    EXPECT_FALSE(make_directory_tree(fake, "/a/b/c").ok());
    EXPECT_EQ(fake.calls(), (Calls{"create_directory /a/b/c", "create_directory /a/b"}));
    EXPECT_EQ(fake.file("/a"), "x");
  }
}

// Two runs may create the same tree at once: a directory made by the other
// one in between counts as made, in either pass.
TEST(MakeDirectoryTree, ToleratesDirectoriesMadeByOthers) {
  FakePlatform fake;
  fake.add_directory("/a");
  fake.fail("create_directory /a/b/c", fake::not_found_failure);
  fake.fail("create_directory /a/b", fake::not_found_failure);
  fake.add_directory("/a/b");
  fake.add_directory("/a/b/c");
  EXPECT_TRUE(make_directory_tree(fake, "/a/b/c").ok());
  EXPECT_EQ(fake.calls(), (Calls{"create_directory /a/b/c", "create_directory /a/b",
                                 "create_directory /a", "is_existing_directory /a",
                                 "create_directory /a/b", "is_existing_directory /a/b",
                                 "create_directory /a/b/c", "is_existing_directory /a/b/c"}));
}

TEST(MakeDirectoryTree, StopsAtTheFirstOtherFailureAndKeepsWhatItMade) {
  {
    SCOPED_TRACE("upward");
    FakePlatform fake;
    fake.fail("create_directory /a/b", fake::denied_failure);
    const platform::Status status = make_directory_tree(fake, "/a/b");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure(), fake::denied_failure);
    EXPECT_EQ(fake.calls(), (Calls{"create_directory /a/b"}));
  }
  {
    SCOPED_TRACE("downward");
    FakePlatform fake;
    fake.fail("create_directory /a/b/c", fake::not_found_failure);
    fake.fail("create_directory /a/b/c", fake::other_failure);
    const platform::Status status = make_directory_tree(fake, "/a/b/c");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure(), fake::other_failure);
    EXPECT_EQ(fake.entries(), (Calls{"/a/", "/a/b/"}));
  }
  {
    SCOPED_TRACE("a missing current directory");
    FakePlatform fake;
    fake.fail("create_directory x", fake::not_found_failure);
    fake.fail("create_directory x", fake::not_found_failure);
    const platform::Status status = make_directory_tree(fake, "x");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure(), fake::not_found_failure);
    EXPECT_EQ(fake.calls(), (Calls{"create_directory x", "create_directory x"}));
  }
}

}  // namespace
}  // namespace obrelix::files
