#include "json/arena.hpp"

#include <algorithm>

namespace obrelix::json {

namespace {
constexpr std::size_t largest_block = std::size_t{1} << 20;
}

void* Arena::allocate_slow(std::size_t size, std::size_t align) {
  const std::size_t needed = size + align;
  if (needed > next_block_ / 4 && cursor_ != nullptr) {
    // A large piece gets a block of its own, so the rest of the current block
    // stays usable for the small pieces that follow.
    blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(needed));
    reserved_ += needed;
    const auto start = reinterpret_cast<std::uintptr_t>(blocks_.back().get());
    return reinterpret_cast<void*>((start + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1));
  }
  const std::size_t block = std::max(next_block_, needed);
  blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(block));
  reserved_ += block;
  next_block_ = std::min(next_block_ * 2, largest_block);
  cursor_ = blocks_.back().get();
  end_ = cursor_ + block;
  in_lent_ = false;
  return allocate(size, align);
}

}  // namespace obrelix::json
