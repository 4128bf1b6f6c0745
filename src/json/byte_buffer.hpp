#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string_view>

namespace obrelix::json {

// A growable array of bytes: the input buffer and the snapshot text. Storage
// is not zeroed, so only the bytes written touch memory.
class ByteBuffer {
 public:
  ByteBuffer() noexcept = default;
  // Starts with `capacity` bytes of storage; throws std::bad_alloc.
  explicit ByteBuffer(std::size_t capacity) {
    if (!try_reserve(capacity)) throw std::bad_alloc();
  }
  ByteBuffer(ByteBuffer&&) noexcept = default;
  ByteBuffer& operator=(ByteBuffer&&) noexcept = default;

  [[nodiscard]] const char* data() const noexcept { return data_.get(); }
  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] std::size_t capacity() const noexcept { return capacity_; }
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  [[nodiscard]] std::string_view view() const noexcept { return {data_.get(), size_}; }
  [[nodiscard]] std::span<const std::byte> bytes() const noexcept {
    return {reinterpret_cast<const std::byte*>(data_.get()), size_};
  }

  // Moves the content to storage of `capacity` bytes if that is more than it
  // has. False, with the content untouched, when memory runs out.
  [[nodiscard]] bool try_reserve(std::size_t capacity) noexcept {
    if (capacity <= capacity_) return true;
    std::unique_ptr<char[]> grown(new (std::nothrow) char[capacity]);
    if (grown == nullptr) return false;
    if (size_ != 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
    return true;
  }

  // Appends `count` bytes. When they do not fit, the capacity becomes the
  // larger of the length needed and twice the capacity (at least 8).
  void append(const char* bytes, std::size_t count) {
    if (count == 0) return;
    if (capacity_ - size_ < count) grow_for(count);
    std::memcpy(data_.get() + size_, bytes, count);
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
    return {reinterpret_cast<std::byte*>(data_.get()) + size_, capacity_ - size_};
  }
  void commit(std::size_t count) noexcept { size_ += count; }

  void clear() noexcept { size_ = 0; }

 private:
  void grow_for(std::size_t count) {
    const std::size_t needed = size_ + count;
    if (!try_reserve(std::max({needed, capacity_ * 2, std::size_t{8}}))) throw std::bad_alloc();
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace obrelix::json
