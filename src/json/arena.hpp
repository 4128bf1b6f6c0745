#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace obrelix::json {

// Bump allocator owning every block of one document. Values are trivially
// destructible, so a document is freed by dropping its arena: no per-node
// delete, no per-string allocation. Blocks are not zeroed, so pages are only
// touched when something is written into them.
class Arena {
 public:
  // `first_block` sizes the first block; later blocks double up to 1 MiB.
  explicit Arena(std::size_t first_block = 4096) noexcept
      : next_block_(first_block < 256 ? 256 : first_block) {}
  // Starts in `lent`, memory the caller owns and keeps alive as long as the
  // arena; blocks of its own follow only when `lent` is full.
  explicit Arena(std::span<std::byte> lent, std::size_t next_block = 4096) noexcept
      : cursor_(lent.data()),
        end_(lent.data() + lent.size()),
        lent_begin_(lent.data()),
        lent_size_(lent.size()),
        in_lent_(true),
        next_block_(next_block < 256 ? 256 : next_block) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  Arena(Arena&&) noexcept = default;
  Arena& operator=(Arena&&) noexcept = default;
  ~Arena() = default;

  // Storage for `size` bytes aligned to `align` (a power of two, at most 16).
  // Never null, also for size 0. Throws std::bad_alloc when memory runs out.
  [[nodiscard]] void* allocate(std::size_t size, std::size_t align) {
    const auto cursor = reinterpret_cast<std::uintptr_t>(cursor_);
    const auto aligned = (cursor + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
    if (cursor_ != nullptr && size <= reinterpret_cast<std::uintptr_t>(end_) - aligned &&
        aligned <= reinterpret_cast<std::uintptr_t>(end_)) {
      cursor_ = reinterpret_cast<std::byte*>(aligned + size);
      return reinterpret_cast<void*>(aligned);
    }
    return allocate_slow(size, align);
  }

  template <class T>
  [[nodiscard]] T* allocate_array(std::size_t count) {
    return static_cast<T*>(allocate(count * sizeof(T), alignof(T)));
  }

  // Bytes obtained from the system so far (for sizing a copy's arena).
  [[nodiscard]] std::size_t bytes_reserved() const noexcept { return reserved_; }

  // How much of the lent memory has been handed out: all of it once the
  // arena has moved on to blocks of its own.
  [[nodiscard]] std::size_t lent_bytes_used() const noexcept {
    return in_lent_ ? static_cast<std::size_t>(cursor_ - lent_begin_) : lent_size_;
  }

 private:
  void* allocate_slow(std::size_t size, std::size_t align);

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* cursor_ = nullptr;
  std::byte* end_ = nullptr;
  std::byte* lent_begin_ = nullptr;
  std::size_t lent_size_ = 0;
  bool in_lent_ = false;
  std::size_t next_block_;
  std::size_t reserved_ = 0;
};

}  // namespace obrelix::json
