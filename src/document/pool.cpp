#include "document/pool.h"

#include <atomic>
#include <cstdlib>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#define MARQUETOR_POOL_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MARQUETOR_POOL_OFF 1
#endif
#endif

namespace marquetor::document::pool {

namespace {

constexpr std::size_t kGrain = 16;
constexpr std::size_t kClasses = kMaxBlock / kGrain;
[[maybe_unused]] constexpr std::size_t kChunkBytes = std::size_t{256} << 10;

// One size class: a free list threaded through released blocks, and chunks carved in
// order. The chunks form a list through their first bytes. Trivially destructible, so that
// blocks can still be released while static objects go away at exit.
struct SizeClass {
    std::atomic_flag busy;
    void* freeList;
    char* next;        // carving point in the newest chunk
    char* chunkEnd;
    void* chunks;      // newest chunk; each starts with a pointer to the one before
    std::size_t live;

    void lock() {
        while (busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    void unlock() { busy.clear(std::memory_order_release); }
};

constinit SizeClass g_classes[kClasses] = {};

struct Locked {
    explicit Locked(SizeClass& c) : c(c) { c.lock(); }
    ~Locked() { c.unlock(); }
    SizeClass& c;
};

[[maybe_unused]] SizeClass& classFor(std::size_t bytes) { return g_classes[(bytes + kGrain - 1) / kGrain - 1]; }

}  // namespace

void* allocate(std::size_t bytes) {
#ifdef MARQUETOR_POOL_OFF
    return ::operator new(bytes);
#else
    if (bytes == 0 || bytes > kMaxBlock) return ::operator new(bytes);
    const std::size_t size = (bytes + kGrain - 1) / kGrain * kGrain;
    SizeClass& c = classFor(bytes);
    Locked guard(c);
    ++c.live;
    if (void* block = c.freeList) {
        c.freeList = *static_cast<void**>(block);
        return block;
    }
    if (static_cast<std::size_t>(c.chunkEnd - c.next) < size) {
        void* chunk = std::aligned_alloc(kGrain, kChunkBytes);
        if (!chunk) {
            --c.live;
            throw std::bad_alloc();
        }
        *static_cast<void**>(chunk) = c.chunks;
        c.chunks = chunk;
        c.next = static_cast<char*>(chunk) + kGrain;
        c.chunkEnd = static_cast<char*>(chunk) + kChunkBytes;
    }
    void* block = c.next;
    c.next += size;
    return block;
#endif
}

void release(void* block, std::size_t bytes) noexcept {
#ifdef MARQUETOR_POOL_OFF
    (void)bytes;
    ::operator delete(block);
#else
    if (!block) return;
    if (bytes == 0 || bytes > kMaxBlock) {
        ::operator delete(block);
        return;
    }
    SizeClass& c = classFor(bytes);
    Locked guard(c);
    if (--c.live == 0) {
        // The last block of this size went: hand all of its memory back.
        while (void* chunk = c.chunks) {
            c.chunks = *static_cast<void**>(chunk);
            std::free(chunk);
        }
        c.freeList = nullptr;
        c.next = c.chunkEnd = nullptr;
        return;
    }
    *static_cast<void**>(block) = c.freeList;
    c.freeList = block;
#endif
}

bool enabled() {
#ifdef MARQUETOR_POOL_OFF
    return false;
#else
    return true;
#endif
}

std::size_t liveBlocks() {
    std::size_t n = 0;
    for (SizeClass& c : g_classes) {
        Locked guard(c);
        n += c.live;
    }
    return n;
}

std::size_t chunkCount() {
    std::size_t n = 0;
    for (SizeClass& c : g_classes) {
        Locked guard(c);
        for (void* chunk = c.chunks; chunk; chunk = *static_cast<void**>(chunk)) ++n;
    }
    return n;
}

}  // namespace marquetor::document::pool
