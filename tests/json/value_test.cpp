#include "json/value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace obrelix::json {
namespace {

std::vector<std::string> walked_keys(const JsonValue& value) {
  std::vector<std::string> keys;
  value.object().for_each(
      [&](std::string_view key, const JsonValue&) { keys.emplace_back(key); });
  return keys;
}

TEST(JsonValue, KindsAndNumberKindsKeepTheirDeclaredOrder) {
  EXPECT_EQ(static_cast<int>(JsonKind::null), 0);
  EXPECT_EQ(static_cast<int>(JsonKind::object), 5);
  EXPECT_EQ(static_cast<int>(JsonNumber::Kind::unsigned_integer), 0);
  EXPECT_EQ(static_cast<int>(JsonNumber::Kind::floating), 2);
}

TEST(JsonValue, NumbersKeepKindAndExactPayload) {
  const auto max_unsigned = JsonNumber::make_unsigned(std::numeric_limits<std::uint64_t>::max());
  const auto min_negative = JsonNumber::make_negative(std::numeric_limits<std::int64_t>::min());
  const auto negative_zero = JsonNumber::make_floating(-0.0);
  EXPECT_EQ(JsonValue::make_number(max_unsigned).number().unsigned_value(),
            18446744073709551615u);
  EXPECT_EQ(JsonValue::make_number(min_negative).number().negative_value(),
            std::numeric_limits<std::int64_t>::min());
  EXPECT_TRUE(std::signbit(JsonValue::make_number(negative_zero).number().floating_value()));
  EXPECT_NE(negative_zero, JsonNumber::make_floating(0.0));
  EXPECT_NE(JsonNumber::make_unsigned(1), JsonNumber::make_floating(1.0));
}

TEST(JsonValue, LookupOnNonObjectsYieldsNothing) {
  Arena arena;
  JsonValue array = JsonValue::make_array();
  array.append(arena, JsonValue::make_string(arena, "session_id"));
  const JsonValue others[] = {JsonValue::make_null(), JsonValue::make_boolean(true),
                              JsonValue::make_number(JsonNumber::make_unsigned(1)),
                              JsonValue::make_string(arena, "session_id")};
  EXPECT_EQ(array.find_member("session_id"), nullptr);
  for (const JsonValue& value : others) EXPECT_EQ(value.find_member("session_id"), nullptr);

  JsonValue object = JsonValue::make_object();
  EXPECT_EQ(object.find_member("session_id"), nullptr);
  (void)object.set_member(arena, "Session_id", JsonValue::make_string(arena, "x"));
  EXPECT_EQ(object.find_member("session_id"), nullptr);
  (void)object.set_member(arena, "nothing", JsonValue::make_null());
  const JsonValue* found = object.find_member("nothing");
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(found->is_null());
}

TEST(JsonValue, SettingReplacesInPlaceAndHandsBackTheOldValue) {
  Arena arena;
  JsonValue object = JsonValue::make_object();
  EXPECT_FALSE(object.set_member(arena, "timestamp", JsonValue::make_number(
                                                          JsonNumber::make_unsigned(17))));
  EXPECT_FALSE(object.set_member(arena, "session_id", JsonValue::make_string(arena, "a")));
  auto old = object.set_member(arena, "timestamp", JsonValue::make_string(arena, "now"));
  ASSERT_TRUE(old.has_value());
  EXPECT_EQ(old->number().unsigned_value(), 17u);
  EXPECT_EQ(object.object().size(), 2u);
  EXPECT_EQ(walked_keys(object), (std::vector<std::string>{"session_id", "timestamp"}));
  EXPECT_EQ(object.find_member("timestamp")->string_text(), "now");
}

TEST(JsonValue, MembersWalkInUnsignedByteOrder) {
  Arena arena;
  JsonValue object = JsonValue::make_object();
  for (const char* key : {"b", "a", "B", "", "aa", "\xc3\xa9", "z", "0", "_"}) {
    (void)object.set_member(arena, key, JsonValue::make_null());
  }
  EXPECT_EQ(walked_keys(object), (std::vector<std::string>{"", "0", "B", "_", "a", "aa", "b", "z",
                                                           "\xc3\xa9"}));
}

TEST(JsonValue, TreeStaysOrderedAndFindableUnderRandomSetting) {
  Arena arena;
  JsonValue object = JsonValue::make_object();
  std::mt19937_64 random(7);
  std::map<std::string, std::uint64_t> oracle;
  for (int i = 0; i < 20000; ++i) {
    std::string key = std::to_string(random() % 5000);
    const std::uint64_t value = random();
    const bool existed = oracle.contains(key);
    auto old = object.set_member(arena, key, JsonValue::make_number(JsonNumber::make_unsigned(value)));
    ASSERT_EQ(old.has_value(), existed);
    if (existed) {
      ASSERT_EQ(old->number().unsigned_value(), oracle[key]);
    }
    oracle[key] = value;
  }
  ASSERT_EQ(object.object().size(), oracle.size());
  auto expected = oracle.begin();
  object.object().for_each([&](std::string_view key, const JsonValue& value) {
    ASSERT_EQ(key, expected->first);
    ASSERT_EQ(value.number().unsigned_value(), expected->second);
    ++expected;
  });
  for (const auto& [key, value] : oracle) {
    ASSERT_EQ(object.find_member(key)->number().unsigned_value(), value);
  }
}

TEST(JsonValue, DeepCopyIsEqualAndIndependentBothWays) {
  JsonDocument source;
  Arena& arena = source.arena();
  JsonValue& root = source.root() = JsonValue::make_object();
  (void)root.set_member(arena, "m", JsonValue::make_number(JsonNumber::make_floating(-0.0)));
  (void)root.set_member(arena, "u", JsonValue::make_number(JsonNumber::make_unsigned(
                                        std::numeric_limits<std::uint64_t>::max())));
  (void)root.set_member(arena, "i", JsonValue::make_number(JsonNumber::make_negative(
                                        std::numeric_limits<std::int64_t>::min())));
  JsonValue list = JsonValue::make_array();
  list.append(arena, JsonValue::make_string(arena, "x"));
  list.append(arena, JsonValue::make_object());
  (void)root.set_member(arena, "list", std::move(list));

  JsonDocument copy = source.deep_copy();
  EXPECT_TRUE(copy.root() == source.root());
  EXPECT_EQ(copy.root().find_member("m")->number(), JsonNumber::make_floating(-0.0));
  EXPECT_EQ(copy.root().find_member("u")->number().kind(), JsonNumber::Kind::unsigned_integer);
  EXPECT_EQ(copy.root().find_member("i")->number().kind(), JsonNumber::Kind::negative_integer);

  (void)copy.root().set_member(copy.arena(), "timestamp", JsonValue::make_null());
  EXPECT_EQ(source.root().find_member("timestamp"), nullptr);
  (void)source.root().set_member(arena, "only_in_source", JsonValue::make_null());
  EXPECT_EQ(copy.root().find_member("only_in_source"), nullptr);
  EXPECT_FALSE(copy.root() == source.root());
}

TEST(JsonValue, CopySurvivesTheSourceAndDeepNesting) {
  JsonDocument copy;
  {
    JsonDocument source;
    JsonValue inner = JsonValue::make_string(source.arena(), "leaf");
    for (int depth = 0; depth < 5000; ++depth) {
      JsonValue array = JsonValue::make_array();
      array.append(source.arena(), std::move(inner));
      inner = std::move(array);
    }
    source.root() = std::move(inner);
    copy = source.deep_copy();
  }
  const JsonValue* value = &copy.root();
  int depth = 0;
  while (value->kind() == JsonKind::array) {
    value = &value->elements()[0];
    ++depth;
  }
  EXPECT_EQ(depth, 5000);
  EXPECT_EQ(value->string_text(), "leaf");
}

TEST(JsonValue, ArraysGrowAtTheirEndKeepingOrder) {
  Arena arena;
  std::vector<JsonValue> start;
  for (std::uint64_t i = 0; i < 3; ++i) {
    start.push_back(JsonValue::make_number(JsonNumber::make_unsigned(i)));
  }
  JsonValue array = JsonValue::make_array(arena, start);
  for (std::uint64_t i = 3; i < 100; ++i) {
    array.append(arena, JsonValue::make_number(JsonNumber::make_unsigned(i)));
  }
  ASSERT_EQ(array.elements().size(), 100u);
  for (std::uint64_t i = 0; i < 100; ++i) EXPECT_EQ(array.elements()[i].number().bits(), i);
}

}  // namespace
}  // namespace obrelix::json
