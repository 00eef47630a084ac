#pragma once
// A small-object pool for the records a document holds by the million (tiles and their
// index entries). Allocating from it costs a few instructions instead of a trip through
// malloc; freed blocks are reused, and a size class gives its memory back once its last
// block is freed. Safe to use from several threads. Sanitizer builds use plain new/delete
// so that misuse is still caught.

#include <cstddef>
#include <memory>
#include <new>

namespace marquetor::document {

namespace pool {
// Blocks up to this size come from the pool; larger ones from operator new.
inline constexpr std::size_t kMaxBlock = 128;
void* allocate(std::size_t bytes);
void release(void* block, std::size_t bytes) noexcept;
// False in sanitizer builds, where every block comes from operator new.
bool enabled();
// Blocks handed out and not yet released, and chunks held (for tests).
std::size_t liveBlocks();
std::size_t chunkCount();
}  // namespace pool

// Standard allocator over the pool: single objects from the pool, arrays from operator new.
template <class T>
struct PoolAllocator {
    using value_type = T;

    PoolAllocator() noexcept = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n == 1 && sizeof(T) <= pool::kMaxBlock && alignof(T) <= 16) return static_cast<T*>(pool::allocate(sizeof(T)));
        return std::allocator<T>{}.allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n == 1 && sizeof(T) <= pool::kMaxBlock && alignof(T) <= 16) pool::release(p, sizeof(T));
        else std::allocator<T>{}.deallocate(p, n);
    }

    template <class U>
    bool operator==(const PoolAllocator<U>&) const noexcept { return true; }
};

}  // namespace marquetor::document
