#include "json/value.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

namespace obrelix::json {

const JsonObject JsonObject::empty_object{};

int compare_keys(std::string_view a, std::string_view b) noexcept {
  const std::size_t common = std::min(a.size(), b.size());
  if (common != 0) {
    // memcmp compares as unsigned char, which is the byte order keys sort in.
    const int order = std::memcmp(a.data(), b.data(), common);
    if (order != 0) return order;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {

const char* copy_text(Arena& arena, std::string_view text) {
  char* bytes = arena.allocate_array<char>(text.size());
  if (!text.empty()) std::memcpy(bytes, text.data(), text.size());
  return bytes;
}

int height(const MemberNode* node) noexcept {
  return node == nullptr ? 0 : node->height;
}

void update_height(MemberNode* node) noexcept {
  node->height =
      static_cast<std::uint8_t>(1 + std::max(height(node->child[0]), height(node->child[1])));
}

// Lifts the child on side 1 - `side` above `node`; side 0 rotates left.
MemberNode* rotate(MemberNode* node, int side) noexcept {
  MemberNode* risen = node->child[1 - side];
  node->child[1 - side] = risen->child[side];
  risen->child[side] = node;
  update_height(node);
  update_height(risen);
  return risen;
}

MemberNode* rebalance(MemberNode* node) noexcept {
  update_height(node);
  const int balance = height(node->child[0]) - height(node->child[1]);
  if (balance > 1) {
    if (height(node->child[0]->child[0]) < height(node->child[0]->child[1])) {
      node->child[0] = rotate(node->child[0], 0);
    }
    return rotate(node, 1);
  }
  if (balance < -1) {
    if (height(node->child[1]->child[1]) < height(node->child[1]->child[0])) {
      node->child[1] = rotate(node->child[1], 1);
    }
    return rotate(node, 0);
  }
  return node;
}

struct Insertion {
  Arena& arena;
  std::string_view key;
  bool copy_key;
  JsonValue value;
  std::optional<JsonValue> previous;
  bool added = false;

  MemberNode* insert(MemberNode* node) {
    if (node == nullptr) {
      const char* stored_key = copy_key ? copy_text(arena, key) : key.data();
      void* place = arena.allocate(sizeof(MemberNode), alignof(MemberNode));
      added = true;
      return new (place) MemberNode{std::move(value),
                                    stored_key,
                                    static_cast<std::uint32_t>(key.size()),
                                    1,
                                    {nullptr, nullptr}};
    }
    const int order = compare_keys(key, node->key_text());
    if (order == 0) {
      previous.emplace(std::move(node->value));
      node->value = std::move(value);
      return node;
    }
    const int side = order > 0 ? 1 : 0;
    node->child[side] = insert(node->child[side]);
    // Replacing in place changes no shape; only an added node can unbalance.
    return added ? rebalance(node) : node;
  }
};

// The first eight bytes of a key as a big-endian number, zero-padded: where
// two prefixes differ they order the keys as compare_keys does, so most
// comparisons need no memcmp.
std::uint64_t key_prefix(std::string_view key) noexcept {
  std::uint64_t prefix = 0;
  const std::size_t count = std::min<std::size_t>(key.size(), 8);
  for (std::size_t i = 0; i < count; ++i) {
    prefix |= std::uint64_t{static_cast<unsigned char>(key[i])} << (56 - 8 * i);
  }
  return prefix;
}

}  // namespace

JsonMember* JsonObject::find_built(std::string_view key) const noexcept {
  std::size_t low = 0;
  std::size_t high = built_size_;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    const int order = compare_keys(key, built_[middle].key);
    if (order == 0) return &built_[middle];
    if (order < 0) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return nullptr;
}

const JsonValue* JsonObject::find(std::string_view key) const noexcept {
  if (const JsonMember* member = find_built(key)) return &member->value;
  const MemberNode* node = added_;
  while (node != nullptr) {
    const int order = compare_keys(key, node->key_text());
    if (order == 0) return &node->value;
    node = node->child[order > 0 ? 1 : 0];
  }
  return nullptr;
}

std::optional<JsonValue> JsonObject::set(Arena& arena, std::string_view key, JsonValue value) {
  return set_member_node(arena, key, true, std::move(value));
}

std::optional<JsonValue> JsonObject::set_member_node(Arena& arena, std::string_view key,
                                                     bool copy_key, JsonValue value) {
  if (JsonMember* member = find_built(key)) {
    std::optional<JsonValue> previous(std::move(member->value));
    member->value = std::move(value);
    return previous;
  }
  Insertion insertion{arena, key, copy_key, std::move(value), std::nullopt};
  added_ = insertion.insert(added_);
  if (insertion.added) ++added_size_;
  return std::move(insertion.previous);
}

// Deep copies, sharing the text that lies in `shared`.
struct ValueCopier {
  Arena& arena;
  std::uintptr_t shared_begin;
  std::uintptr_t shared_end;

  const char* text(std::string_view bytes) const {
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
    if (at >= shared_begin && at + bytes.size() <= shared_end && at + bytes.size() >= at) {
      return bytes.data();
    }
    return copy_text(arena, bytes);
  }

  JsonValue copy(const JsonValue& value) const {
    JsonValue copy{value.kind_};
    copy.number_kind_ = value.number_kind_;
    switch (value.kind_) {
      case JsonKind::null:
      case JsonKind::boolean:
      case JsonKind::number:
        copy.payload_.bits = value.payload_.bits;
        break;
      case JsonKind::string:
        copy.length_ = value.length_;
        copy.payload_.text = text(value.string_text());
        break;
      case JsonKind::array:
        copy.length_ = value.length_;
        if (value.length_ != 0) {
          copy.payload_.elements = arena.allocate_array<JsonValue>(value.length_);
          for (std::uint32_t i = 0; i < value.length_; ++i) {
            new (&copy.payload_.elements[i]) JsonValue(this->copy(value.payload_.elements[i]));
          }
        }
        break;
      case JsonKind::object:
        if (value.payload_.object != nullptr) copy.payload_.object = object(*value.payload_.object);
        break;
    }
    return copy;
  }

  // The members in their order, into one array.
  JsonObject* object(const JsonObject& source) const {
    auto* copy = new (arena.allocate(sizeof(JsonObject), alignof(JsonObject))) JsonObject{};
    const std::size_t size = source.size();
    if (size == 0) return copy;
    copy->built_ = arena.allocate_array<JsonMember>(size);
    std::size_t index = 0;
    source.for_each([&](std::string_view key, const JsonValue& value) {
      new (&copy->built_[index++]) JsonMember{{text(key), key.size()}, this->copy(value)};
    });
    copy->built_size_ = static_cast<std::uint32_t>(size);
    return copy;
  }
};

JsonValue JsonValue::make_string(Arena& arena, std::string_view text) {
  return adopt_string({copy_text(arena, text), text.size()});
}

JsonValue JsonValue::make_object(Arena& arena, std::span<JsonMember> members) {
  JsonValue object{JsonKind::object};
  if (members.empty()) return object;
  // Member indices in key order, equal keys in input order (the sort is
  // stable), so the last of equal keys is the one kept.
  constexpr std::size_t small = 32;
  std::uint32_t small_order[small];
  std::vector<std::uint32_t> large_order;
  if (members.size() > small) large_order.resize(members.size());
  const std::span<std::uint32_t> order = members.size() <= small
                                             ? std::span<std::uint32_t>(small_order, members.size())
                                             : std::span<std::uint32_t>(large_order);
  if (members.size() <= small) {
    // Small objects, the usual ones: insertion sort on key prefixes kept
    // beside the indices, which passes input that is sorted already with one
    // comparison per member.
    struct Entry {
      std::uint64_t prefix;
      std::uint32_t index;
    };
    Entry entries[small];
    const auto before = [&](const Entry& a, const Entry& b) {
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
      return compare_keys(members[a.index].key, members[b.index].key) < 0;
    };
    for (std::size_t i = 0; i < members.size(); ++i) {
      const Entry moving{key_prefix(members[i].key), static_cast<std::uint32_t>(i)};
      std::size_t j = i;
      for (; j > 0 && before(moving, entries[j - 1]); --j) entries[j] = entries[j - 1];
      entries[j] = moving;
    }
    for (std::size_t i = 0; i < members.size(); ++i) order[i] = entries[i].index;
  } else {
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return compare_keys(members[a].key, members[b].key) < 0;
    });
  }
  std::size_t unique = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (unique != 0 && members[order[unique - 1]].key == members[order[i]].key) {
      order[unique - 1] = order[i];
    } else {
      order[unique++] = order[i];
    }
  }
  auto* built = new (arena.allocate(sizeof(JsonObject), alignof(JsonObject))) JsonObject{};
  built->built_ = arena.allocate_array<JsonMember>(unique);
  for (std::size_t i = 0; i < unique; ++i) {
    new (&built->built_[i]) JsonMember{members[order[i]].key, std::move(members[order[i]].value)};
  }
  built->built_size_ = static_cast<std::uint32_t>(unique);
  object.payload_.object = built;
  return object;
}

JsonValue JsonValue::make_array(Arena& arena, std::span<JsonValue> elements) {
  JsonValue array{JsonKind::array};
  if (elements.empty()) return array;
  JsonValue* storage = arena.allocate_array<JsonValue>(elements.size());
  std::memcpy(static_cast<void*>(storage), elements.data(), elements.size_bytes());
  array.payload_.elements = storage;
  array.length_ = static_cast<std::uint32_t>(elements.size());
  return array;
}

void JsonValue::append(Arena& arena, JsonValue element) {
  if (kind_ != JsonKind::array) return;
  const std::uint32_t capacity =
      growable_ ? std::max<std::uint32_t>(4, std::bit_ceil(length_)) : length_;
  if (length_ == capacity) {
    const std::uint32_t grown = std::max<std::uint32_t>(4, std::bit_ceil(length_ + 1));
    JsonValue* storage = arena.allocate_array<JsonValue>(grown);
    if (length_ != 0) {
      std::memcpy(static_cast<void*>(storage), payload_.elements, length_ * sizeof(JsonValue));
    }
    payload_.elements = storage;
    growable_ = true;
  }
  new (&payload_.elements[length_]) JsonValue(std::move(element));
  ++length_;
}

const JsonValue* JsonValue::find_member(std::string_view key) const noexcept {
  if (kind_ != JsonKind::object || payload_.object == nullptr) return nullptr;
  return payload_.object->find(key);
}

JsonObject* JsonValue::object_for_setting(Arena& arena) {
  if (kind_ != JsonKind::object) return nullptr;
  if (payload_.object == nullptr) {
    payload_.object = new (arena.allocate(sizeof(JsonObject), alignof(JsonObject))) JsonObject{};
  }
  return payload_.object;
}

std::optional<JsonValue> JsonValue::set_member(Arena& arena, std::string_view key,
                                               JsonValue value) {
  JsonObject* object = object_for_setting(arena);
  if (object == nullptr) return std::nullopt;
  return object->set_member_node(arena, key, true, std::move(value));
}

std::optional<JsonValue> JsonValue::set_member_adopting_key(Arena& arena, std::string_view key,
                                                            JsonValue value) {
  JsonObject* object = object_for_setting(arena);
  if (object == nullptr) return std::nullopt;
  return object->set_member_node(arena, key, false, std::move(value));
}

JsonValue JsonValue::deep_copy(Arena& arena) const {
  return ValueCopier{arena, 0, 0}.copy(*this);
}

bool operator==(const JsonValue& a, const JsonValue& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case JsonKind::null:
      return true;
    case JsonKind::boolean:
      return a.boolean() == b.boolean();
    case JsonKind::number:
      return a.number() == b.number();
    case JsonKind::string:
      return a.string_text() == b.string_text();
    case JsonKind::array:
      return std::ranges::equal(a.elements(), b.elements());
    case JsonKind::object:
      break;
  }
  const JsonObject& left = a.object();
  const JsonObject& right = b.object();
  if (left.size() != right.size()) return false;
  std::vector<std::pair<std::string_view, const JsonValue*>> members;
  members.reserve(left.size());
  left.for_each(
      [&](std::string_view key, const JsonValue& value) { members.emplace_back(key, &value); });
  std::size_t index = 0;
  bool equal = true;
  right.for_each([&](std::string_view key, const JsonValue& value) {
    equal = equal && members[index].first == key && *members[index].second == value;
    ++index;
  });
  return equal;
}

JsonDocument JsonDocument::deep_copy() const {
  // The copy needs no more than the source used, and untouched arena bytes
  // cost no pages, so one block of that size serves it.
  JsonDocument copy(arena_.bytes_reserved());
  copy.root_ = root_.deep_copy(copy.arena_);
  return copy;
}

JsonDocument JsonDocument::deep_copy(std::span<std::byte> lent, std::string_view shared) const {
  JsonDocument copy(lent);
  const auto begin = reinterpret_cast<std::uintptr_t>(shared.data());
  copy.root_ = ValueCopier{copy.arena_, begin, begin + shared.size()}.copy(root_);
  return copy;
}

}  // namespace obrelix::json
