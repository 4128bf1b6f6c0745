#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <utility>

namespace obrelix::json {

// A growable array of bytes: the input buffer and the snapshot text. Storage
// is not zeroed, so only the bytes written touch memory.
//
// Storage either belongs to the buffer (from malloc, so that growing a large
// buffer can move its pages instead of copying them) or is a room lent by the
// caller: the buffer grows inside the room while its capacity fits there, and
// only then moves to storage of its own. Either way the capacity follows the
// same rule, so where the bytes live never shows.
class ByteBuffer {
 public:
  ByteBuffer() noexcept = default;
  // Starts with `capacity` bytes of storage; throws std::bad_alloc.
  explicit ByteBuffer(std::size_t capacity) {
    if (!try_reserve(capacity)) throw std::bad_alloc();
  }
  // Starts with `capacity` bytes in `room`, which must outlive the buffer
  // (or its move into storage of its own). An empty room, or one smaller
  // than `capacity`, is not used.
  ByteBuffer(std::span<std::byte> room, std::size_t capacity) {
    if (!room.empty() && capacity <= room.size()) {
      data_ = reinterpret_cast<char*>(room.data());
      room_ = room.size();
      capacity_ = capacity;
    } else if (!try_reserve(capacity)) {
      throw std::bad_alloc();
    }
  }
  ByteBuffer(ByteBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)),
        room_(std::exchange(other.room_, 0)) {}
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
      release();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
      room_ = std::exchange(other.room_, 0);
    }
    return *this;
  }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer() { release(); }

  [[nodiscard]] const char* data() const noexcept { return data_; }
  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] std::size_t capacity() const noexcept { return capacity_; }
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  [[nodiscard]] std::string_view view() const noexcept { return {data_, size_}; }
  [[nodiscard]] std::span<const std::byte> bytes() const noexcept {
    return {reinterpret_cast<const std::byte*>(data_), size_};
  }
  // The content, writable (the reader decodes strings in place).
  [[nodiscard]] std::span<char> mutable_content() noexcept { return {data_, size_}; }

  // Raises the capacity to `capacity` if that is more than it has, moving the
  // content when its storage cannot grow in place. False, with the content
  // untouched, when memory runs out.
  [[nodiscard]] bool try_reserve(std::size_t capacity) noexcept {
    if (capacity <= capacity_) return true;
    if (capacity <= room_) {
      capacity_ = capacity;
      return true;
    }
    char* grown;
    if (room_ == 0) {
      grown = static_cast<char*>(std::realloc(data_, capacity));
      if (grown == nullptr) return false;
    } else {
      grown = static_cast<char*>(std::malloc(capacity));
      if (grown == nullptr) return false;
      if (size_ != 0) std::memcpy(grown, data_, size_);
      room_ = 0;
    }
    data_ = grown;
    capacity_ = capacity;
    return true;
  }

  // Appends `count` bytes. When they do not fit, the capacity becomes the
  // larger of the length needed and twice the capacity (at least 8).
  void append(const char* bytes, std::size_t count) {
    if (count == 0) return;
    if (capacity_ - size_ < count) grow_for(count);
    std::memcpy(data_ + size_, bytes, count);
    size_ += count;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }
  void push_back(char byte) {
    if (size_ == capacity_) grow_for(1);
    data_[size_++] = byte;
  }

  // Filling in place: the free bytes after the content, then how many of
  // them were filled.
  [[nodiscard]] std::span<std::byte> free_space() noexcept {
    return {reinterpret_cast<std::byte*>(data_) + size_, capacity_ - size_};
  }
  void commit(std::size_t count) noexcept { size_ += count; }

  void clear() noexcept { size_ = 0; }

 private:
  void grow_for(std::size_t count) {
    const std::size_t needed = size_ + count;
    if (!try_reserve(std::max({needed, capacity_ * 2, std::size_t{8}}))) throw std::bad_alloc();
  }
  void release() noexcept {
    if (room_ == 0) std::free(data_);
  }

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  // Bytes of the lent room at data_; 0 when the storage is the buffer's own.
  std::size_t room_ = 0;
};

}  // namespace obrelix::json
