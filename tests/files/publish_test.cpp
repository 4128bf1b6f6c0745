#include "files/publish.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/fake_platform.hpp"

namespace obrelix::files {
namespace {

using fake::FakePlatform;
using platform::PathStyle;
using Calls = std::vector<std::string>;

constexpr std::string_view snapshot = R"({"session_id":"abc","timestamp":"2000-02-29T00:00:00Z"})";

std::span<const std::byte> bytes_of(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

void publish(FakePlatform& fake, std::string_view directory) {
  publish_context_file(fake, directory, "abc.json", ".abc.7.tmp", bytes_of(snapshot));
}

TEST(PublishContextFile, WritesBesideThenRenamesOntoTheContextFile) {
  struct Case {
    PathStyle style;
    std::string_view directory;
    std::string_view temporary_path;
    std::string_view final_path;
  };
  const Case cases[] = {
      {PathStyle::posix, "/ctx", "/ctx/.abc.7.tmp", "/ctx/abc.json"},
      {PathStyle::posix, "/ctx/", "/ctx/.abc.7.tmp", "/ctx/abc.json"},
      {PathStyle::posix, "", ".abc.7.tmp", "abc.json"},
      {PathStyle::windows, R"(C:\ctx)", R"(C:\ctx\.abc.7.tmp)", R"(C:\ctx\abc.json)"},
      {PathStyle::windows, R"(C:\)", R"(C:\.abc.7.tmp)", R"(C:\abc.json)"},
      {PathStyle::windows, "C:", "C:.abc.7.tmp", "C:abc.json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directory);
    FakePlatform fake(c.style);
    if (!c.directory.empty()) fake.add_directory(c.directory);
    fake.add_file(c.final_path,
                  "old snapshot, longer than the new one............................");
    publish(fake, c.directory);
    EXPECT_EQ(fake.calls(), (Calls{"write_temporary_file " + std::string(c.temporary_path),
                                   "replace_file " + std::string(c.temporary_path) + " " +
                                       std::string(c.final_path)}));
    EXPECT_EQ(fake.file(c.final_path), snapshot);
    EXPECT_EQ(fake.file(c.temporary_path), std::nullopt);
  }
}

TEST(PublishContextFile, DeletesTheTemporaryFileAfterAFailureAndKeepsTheOldFile) {
  struct Case {
    const char* name;
    std::string failing_call;
    Calls calls;
  };
  const Case cases[] = {
      {"the write fails",
       "write_temporary_file /ctx/.abc.7.tmp",
       {"write_temporary_file /ctx/.abc.7.tmp", "delete_file /ctx/.abc.7.tmp"}},
      {"the rename fails",
       "replace_file /ctx/.abc.7.tmp /ctx/abc.json",
       {"write_temporary_file /ctx/.abc.7.tmp", "replace_file /ctx/.abc.7.tmp /ctx/abc.json",
        "delete_file /ctx/.abc.7.tmp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fake;
    fake.add_directory("/ctx");
    fake.add_file("/ctx/abc.json", "old");
    fake.fail(c.failing_call, fake::other_failure);
    publish(fake, "/ctx");
    EXPECT_EQ(fake.calls(), c.calls);
    EXPECT_EQ(fake.entries(), (Calls{"/ctx/", "/ctx/abc.json"}));
    EXPECT_EQ(fake.file("/ctx/abc.json"), "old");
  }
}

TEST(PublishContextFile, LeavesADirectoryWithTheContextFileNameAlone) {
  FakePlatform fake;
  fake.add_directory("/ctx/abc.json");
  publish(fake, "/ctx");
  EXPECT_EQ(fake.calls_of("delete_file"), (Calls{"delete_file /ctx/.abc.7.tmp"}));
  EXPECT_EQ(fake.entries(), (Calls{"/ctx/abc.json/"}));
}

TEST(PublishContextFile, AFailedDeletionIsIgnored) {
  FakePlatform fake;
  fake.add_directory("/ctx");
  fake.fail("replace_file /ctx/.abc.7.tmp /ctx/abc.json", fake::denied_failure);
  fake.fail("delete_file /ctx/.abc.7.tmp", fake::denied_failure);
  publish(fake, "/ctx");
  EXPECT_EQ(fake.calls().size(), 3u);
  EXPECT_EQ(fake.file("/ctx/.abc.7.tmp"), snapshot);
  EXPECT_EQ(fake.file("/ctx/abc.json"), std::nullopt);
}

}  // namespace
}  // namespace obrelix::files
