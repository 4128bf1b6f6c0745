#include "json/value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace obrelix::json {
namespace {

std::vector<std::string> walked_keys(const JsonValue& value) {
  std::vector<std::string> keys;
  value.object().for_each([&](std::string_view key, const JsonValue&) { keys.emplace_back(key); });
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
  EXPECT_EQ(JsonValue::make_number(max_unsigned).number().unsigned_value(), 18446744073709551615u);
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
  EXPECT_FALSE(
      object.set_member(arena, "timestamp", JsonValue::make_number(JsonNumber::make_unsigned(17))));
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
  EXPECT_EQ(walked_keys(object),
            (std::vector<std::string>{"", "0", "B", "_", "a", "aa", "b", "z", "\xc3\xa9"}));
}

// Members with random keys below `key_range` and random unsigned values, set
// one by one on `object` and on the model `oracle` alike; each setting must
// hand back exactly what the model held.
using Oracle = std::map<std::string, std::uint64_t>;

void set_randomly(JsonValue& object, Arena& arena, Oracle& oracle, std::mt19937_64& random,
                  int count, std::uint64_t key_range) {
  for (int i = 0; i < count; ++i) {
    const std::string key = std::to_string(random() % key_range);
    const std::uint64_t value = random();
    const auto known = oracle.find(key);
    auto old =
        object.set_member(arena, key, JsonValue::make_number(JsonNumber::make_unsigned(value)));
    ASSERT_EQ(old.has_value(), known != oracle.end());
    if (old.has_value()) {
      ASSERT_EQ(old->number().unsigned_value(), known->second);
    }
    oracle[key] = value;
  }
}

// `object` walks and looks up exactly as the model does.
void expect_matches(const JsonValue& object, const Oracle& oracle) {
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
  EXPECT_EQ(object.find_member("absent"), nullptr);
}

TEST(JsonValue, TreeStaysOrderedAndFindableUnderRandomSetting) {
  Arena arena;
  JsonValue object = JsonValue::make_object();
  std::mt19937_64 random(7);
  Oracle oracle;
  ASSERT_NO_FATAL_FAILURE(set_randomly(object, arena, oracle, random, 20000, 5000));
  expect_matches(object, oracle);
}

// The reader and copies build an object whole; setting afterwards adds
// members beside what it was built with. Lookup, setting, walking and
// copying must treat both as one ordered map throughout.
TEST(JsonValue, BuiltMembersAndLaterOnesActAsOneOrderedMap) {
  JsonDocument document;
  Arena& arena = document.arena();
  std::mt19937_64 random(11);
  Oracle oracle;
  std::vector<JsonMember> members;
  for (int i = 0; i < 3000; ++i) {
    const std::string key = std::to_string(random() % 4000);
    const std::uint64_t value = random();
    char* stored = arena.allocate_array<char>(key.size());
    std::memcpy(stored, key.data(), key.size());
    members.push_back(
        {{stored, key.size()}, JsonValue::make_number(JsonNumber::make_unsigned(value))});
    oracle[key] = value;  // a repeated key keeps its last value
  }
  document.root() = JsonValue::make_object(arena, members);

  ASSERT_NO_FATAL_FAILURE(expect_matches(document.root(), oracle));
  ASSERT_NO_FATAL_FAILURE(set_randomly(document.root(), arena, oracle, random, 3000, 6000));
  ASSERT_NO_FATAL_FAILURE(expect_matches(document.root(), oracle));
  JsonDocument copy = document.deep_copy();
  ASSERT_NO_FATAL_FAILURE(expect_matches(copy.root(), oracle));
  ASSERT_NO_FATAL_FAILURE(set_randomly(copy.root(), copy.arena(), oracle, random, 3000, 6000));
  expect_matches(copy.root(), oracle);
}

// The snapshot shares the bytes of strings and keys that lie in the run's
// input, and copies the rest into its own memory.
TEST(JsonValue, CopySharesOnlyTheTextItIsToldTo) {
  const std::string shared = "inside";
  JsonDocument source;
  Arena& arena = source.arena();
  JsonValue& root = source.root() = JsonValue::make_object();
  (void)root.set_member_adopting_key(arena, shared,
                                     JsonValue::adopt_string(std::string_view(shared).substr(2)));
  (void)root.set_member(arena, "outside", JsonValue::make_string(arena, "own"));

  std::vector<std::byte> lent(4096);
  JsonDocument copy = source.deep_copy(lent, shared);
  ASSERT_TRUE(copy.root() == source.root());
  const auto lies_in = [](std::string_view text, const void* begin, std::size_t size) {
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    const auto from = reinterpret_cast<std::uintptr_t>(begin);
    return at >= from && at + text.size() <= from + size;
  };
  const JsonValue* inside = copy.root().find_member("inside");
  EXPECT_EQ(inside->string_text().data(), shared.data() + 2);
  const JsonValue* outside = copy.root().find_member("outside");
  EXPECT_TRUE(lies_in(outside->string_text(), lent.data(), lent.size()));
  copy.root().object().for_each([&](std::string_view key, const JsonValue&) {
    EXPECT_EQ(lies_in(key, shared.data(), shared.size()), key == "inside") << key;
  });
  EXPECT_GT(copy.arena().lent_bytes_used(), 0u);
  EXPECT_LE(copy.arena().lent_bytes_used(), lent.size());
}

TEST(JsonValue, DeepCopyIsEqualAndIndependentBothWays) {
  JsonDocument source;
  Arena& arena = source.arena();
  JsonValue& root = source.root() = JsonValue::make_object();
  (void)root.set_member(arena, "m", JsonValue::make_number(JsonNumber::make_floating(-0.0)));
  (void)root.set_member(
      arena, "u",
      JsonValue::make_number(JsonNumber::make_unsigned(std::numeric_limits<std::uint64_t>::max())));
  (void)root.set_member(
      arena, "i",
      JsonValue::make_number(JsonNumber::make_negative(std::numeric_limits<std::int64_t>::min())));
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
