#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "json/arena.hpp"

namespace obrelix::json {

enum class JsonKind : std::uint8_t { null, boolean, number, string, array, object };

// A number keeps the kind it was read with: the unsigned 1 and the floating
// 1.0 are different values and are written differently.
class JsonNumber {
 public:
  enum class Kind : std::uint8_t { unsigned_integer, negative_integer, floating };

  static constexpr JsonNumber make_unsigned(std::uint64_t value) noexcept {
    return {Kind::unsigned_integer, value};
  }
  // `value` is below zero.
  static constexpr JsonNumber make_negative(std::int64_t value) noexcept {
    return {Kind::negative_integer, static_cast<std::uint64_t>(value)};
  }
  // `value` is finite; -0.0 stays distinct from 0.0.
  static constexpr JsonNumber make_floating(double value) noexcept {
    return {Kind::floating, std::bit_cast<std::uint64_t>(value)};
  }

  [[nodiscard]] constexpr Kind kind() const noexcept { return kind_; }
  [[nodiscard]] constexpr std::uint64_t unsigned_value() const noexcept { return bits_; }
  [[nodiscard]] constexpr std::int64_t negative_value() const noexcept {
    return static_cast<std::int64_t>(bits_);
  }
  [[nodiscard]] constexpr double floating_value() const noexcept {
    return std::bit_cast<double>(bits_);
  }
  // The 64-bit payload as stored, whatever the kind.
  [[nodiscard]] constexpr std::uint64_t bits() const noexcept { return bits_; }

  // Equal when kind and payload bits are equal: -0.0 differs from 0.0.
  friend constexpr bool operator==(JsonNumber, JsonNumber) noexcept = default;

 private:
  constexpr JsonNumber(Kind kind, std::uint64_t bits) noexcept : kind_(kind), bits_(bits) {}

  Kind kind_;
  std::uint64_t bits_;
};

class JsonObject;
struct MemberNode;
struct JsonMember;
struct ValueCopier;

// One JSON value. Scalars live inside it; strings, elements and members live in
// the arena of the document that owns the value, and go with that arena.
//
// A JsonValue is moved, never copied: copying is deep and explicit
// (`deep_copy`), so two values never share a payload by accident. It stays
// trivially copyable underneath, which lets arrays be moved as raw bytes.
class JsonValue {
 public:
  constexpr JsonValue() noexcept = default;
  JsonValue(JsonValue&&) noexcept = default;
  JsonValue& operator=(JsonValue&&) noexcept = default;
  JsonValue(const JsonValue&) = delete;
  JsonValue& operator=(const JsonValue&) = delete;
  ~JsonValue() = default;

  static constexpr JsonValue make_null() noexcept { return JsonValue{}; }
  static constexpr JsonValue make_boolean(bool value) noexcept {
    JsonValue v{JsonKind::boolean};
    v.payload_.bits = value ? 1 : 0;
    return v;
  }
  static constexpr JsonValue make_number(JsonNumber number) noexcept {
    JsonValue v{JsonKind::number};
    v.number_kind_ = number.kind();
    v.payload_.bits = number.bits();
    return v;
  }
  // Copies `text` (well-formed UTF-8, below 4 GiB) into `arena`.
  static JsonValue make_string(Arena& arena, std::string_view text);
  // Takes `text` as it is: it must already live in the arena of the document
  // that will own the value.
  static JsonValue adopt_string(std::string_view text) noexcept {
    JsonValue v{JsonKind::string};
    v.length_ = static_cast<std::uint32_t>(text.size());
    v.payload_.text = text.data();
    return v;
  }
  static constexpr JsonValue make_array() noexcept { return JsonValue{JsonKind::array}; }
  // An array holding `elements` in order, taken over; storage of exactly that
  // size comes from `arena`.
  static JsonValue make_array(Arena& arena, std::span<JsonValue> elements);
  static constexpr JsonValue make_object() noexcept { return JsonValue{JsonKind::object}; }
  // An object holding `members` as if set one by one in the given order (a
  // repeated key keeps its last value). Keys must already live in `arena`;
  // the values are moved out of `members`. The members are sorted, not
  // inserted one at a time, into one array.
  static JsonValue make_object(Arena& arena, std::span<JsonMember> members);

  [[nodiscard]] constexpr JsonKind kind() const noexcept { return kind_; }
  [[nodiscard]] bool is_null() const noexcept { return kind_ == JsonKind::null; }
  [[nodiscard]] bool boolean() const noexcept { return payload_.bits != 0; }
  [[nodiscard]] JsonNumber number() const noexcept;
  [[nodiscard]] std::string_view string_text() const noexcept { return {payload_.text, length_}; }
  // Elements of an array, in order; empty for every other kind.
  [[nodiscard]] std::span<const JsonValue> elements() const noexcept {
    return {kind_ == JsonKind::array ? payload_.elements : nullptr,
            kind_ == JsonKind::array ? length_ : 0u};
  }
  // Appends to an array, growing its storage in `arena` geometrically.
  void append(Arena& arena, JsonValue element);

  // The members of an object; an empty object for every other kind.
  [[nodiscard]] const JsonObject& object() const noexcept;

  // The member with exactly these key bytes, or null when there is none or
  // this is not an object. A member holding null is found.
  [[nodiscard]] const JsonValue* find_member(std::string_view key) const noexcept;

  // On an object (nothing happens on other kinds): sets the member `key`
  // (copied into `arena`). An existing key
  // keeps its place and hands back the value it held; a new key is inserted at
  // its sorted place and nothing is handed back. Logarithmic.
  std::optional<JsonValue> set_member(Arena& arena, std::string_view key, JsonValue value);
  // As set_member, for a key that already lives in the owning arena.
  std::optional<JsonValue> set_member_adopting_key(Arena& arena, std::string_view key,
                                                   JsonValue value);

  // An independent copy of this value with every payload in `arena`. Linear
  // in the size of the value; an object's members are copied in their order
  // into one sorted array.
  [[nodiscard]] JsonValue deep_copy(Arena& arena) const;

  // Deep equality: same kinds, same bytes, numbers equal by kind and bits.
  friend bool operator==(const JsonValue& a, const JsonValue& b);

 private:
  friend struct ValueCopier;
  explicit constexpr JsonValue(JsonKind kind) noexcept : kind_(kind) {}
  JsonObject* object_for_setting(Arena& arena);

  union Payload {
    std::uint64_t bits;
    const char* text;
    JsonValue* elements;
    JsonObject* object;
  };

  JsonKind kind_ = JsonKind::null;
  JsonNumber::Kind number_kind_ = JsonNumber::Kind::unsigned_integer;
  // Arrays built whole have exactly `length_` slots; once appended to, the
  // storage holds the next power of two (at least 4).
  bool growable_ = false;
  std::uint32_t length_ = 0;
  Payload payload_{0};
};

static_assert(sizeof(JsonValue) == 16);
static_assert(std::is_trivially_copyable_v<JsonValue>);
static_assert(std::is_trivially_destructible_v<JsonValue>);

// Unsigned byte order; a shorter key that is a prefix of a longer one sorts first.
[[nodiscard]] int compare_keys(std::string_view a, std::string_view b) noexcept;

struct JsonMember {
  std::string_view key;
  JsonValue value;
};

// A member set after its object was built, in a balanced (AVL) tree.
struct MemberNode {
  JsonValue value;
  const char* key;
  std::uint32_t key_length;
  std::uint8_t height;
  MemberNode* child[2];

  [[nodiscard]] std::string_view key_text() const noexcept { return {key, key_length}; }
};

// The members of one object, in ascending order of unsigned key bytes. An
// object is built whole (by the reader, or as a copy) into a sorted array,
// searched by halving: the compact form of a perfectly balanced tree, two
// thirds the size of tree nodes. A member whose key the array lacks, set
// later, goes into a balanced tree beside it. Lookup and setting are
// logarithmic either way, and walking merges the two in key order. All of
// it lives in the owning document's arena.
class JsonObject {
 public:
  [[nodiscard]] std::size_t size() const noexcept {
    return std::size_t{built_size_} + std::size_t{added_size_};
  }
  [[nodiscard]] bool empty() const noexcept { return size() == 0; }

  [[nodiscard]] const JsonValue* find(std::string_view key) const noexcept;
  std::optional<JsonValue> set(Arena& arena, std::string_view key, JsonValue value);

  // Calls `visit(std::string_view key, const JsonValue& value)` for every
  // member in ascending key order.
  template <class Visit>
  void for_each(Visit&& visit) const;

  static const JsonObject empty_object;

 private:
  friend class JsonValue;
  friend struct ValueCopier;
  std::optional<JsonValue> set_member_node(Arena& arena, std::string_view key, bool copy_key,
                                           JsonValue value);
  [[nodiscard]] JsonMember* find_built(std::string_view key) const noexcept;

  JsonMember* built_ = nullptr;  // unique keys, ascending
  std::uint32_t built_size_ = 0;
  std::uint32_t added_size_ = 0;
  MemberNode* added_ = nullptr;  // keys not in built_
};

static_assert(sizeof(JsonMember) == 32);

namespace detail {
// In-order walk of the added members, each preceded by the built members
// that sort before it; `next` moves along the built array.
template <class Visit>
void walk_merged(const MemberNode* node, const JsonMember*& next, const JsonMember* end,
                 Visit& visit) {
  while (node != nullptr) {
    walk_merged(node->child[0], next, end, visit);
    const std::string_view key = node->key_text();
    for (; next != end && compare_keys(next->key, key) < 0; ++next) visit(next->key, next->value);
    visit(key, node->value);
    node = node->child[1];
  }
}
}  // namespace detail

template <class Visit>
void JsonObject::for_each(Visit&& visit) const {
  const JsonMember* next = built_;
  const JsonMember* const end = built_ + built_size_;
  if (added_ != nullptr) detail::walk_merged(added_, next, end, visit);
  for (; next != end; ++next) visit(next->key, next->value);
}

inline JsonNumber JsonValue::number() const noexcept {
  switch (number_kind_) {
    case JsonNumber::Kind::unsigned_integer:
      return JsonNumber::make_unsigned(payload_.bits);
    case JsonNumber::Kind::negative_integer:
      return JsonNumber::make_negative(static_cast<std::int64_t>(payload_.bits));
    case JsonNumber::Kind::floating:
      break;
  }
  return JsonNumber::make_floating(std::bit_cast<double>(payload_.bits));
}

inline const JsonObject& JsonValue::object() const noexcept {
  return kind_ == JsonKind::object && payload_.object != nullptr ? *payload_.object
                                                                 : JsonObject::empty_object;
}

// A parsed document or a snapshot: the root value and the arena that owns
// everything below it. Move-only; `deep_copy` gives a fully independent one.
class JsonDocument {
 public:
  explicit JsonDocument(std::size_t arena_first_block = 4096) noexcept
      : arena_(arena_first_block) {}
  // Its arena starts in `lent` (see Arena).
  explicit JsonDocument(std::span<std::byte> lent) noexcept : arena_(lent) {}

  [[nodiscard]] Arena& arena() noexcept { return arena_; }
  [[nodiscard]] JsonValue& root() noexcept { return root_; }
  [[nodiscard]] const JsonValue& root() const noexcept { return root_; }

  [[nodiscard]] JsonDocument deep_copy() const;
  // As deep_copy, with the copy's arena starting in `lent`, and sharing the
  // bytes of strings and keys that lie in `shared` instead of copying them.
  // Nothing writes to string bytes once a value holds them, so sharing is
  // invisible as long as the caller keeps `shared` alive and unchanged for
  // the life of the copy.
  [[nodiscard]] JsonDocument deep_copy(std::span<std::byte> lent, std::string_view shared) const;

 private:
  Arena arena_;
  JsonValue root_;
};

}  // namespace obrelix::json
