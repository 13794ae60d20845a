#include "base/large_blocks.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define QUEN_LARGE_BLOCKS_ON_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define QUEN_LARGE_BLOCKS_ON_HEAP 1
#endif
#endif

namespace quen {
namespace {

constexpr size_t kHugePageBytes = size_t{2} << 20;

size_t whole_huge_pages(size_t bytes) {
    if (bytes == 0) bytes = 1;
    if (bytes > SIZE_MAX - 2 * kHugePageBytes) throw std::bad_alloc();
    return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
}

#ifndef QUEN_LARGE_BLOCKS_ON_HEAP

// What a thread keeps for its next analysis: a track side's arrays fit in two or three
// blocks; a hostile capture's larger ones are given back to the system at once.
constexpr size_t kCachedBlocks = 4;
constexpr size_t kCachedBytesMax = size_t{64} << 20;

// `bytes` (whole huge pages) at a huge page boundary: the system backs an aligned range
// with a huge page only.
void* map_block(size_t bytes) {
    const size_t span = bytes + kHugePageBytes;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    const uintptr_t end = start + span;
    if (end > aligned + bytes) munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    // Where the system has no huge pages for us, the block keeps small ones.
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

// Set once the thread's cache is destroyed: an object of static storage destroyed after it
// still gives its blocks back. Trivially destructible, so it outlives the cache.
thread_local bool cache_gone = false;

// A thread's blocks given back, with their pages still in place for its next analysis.
class BlockCache {
public:
    BlockCache() = default;
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;
    ~BlockCache() {
        for (const Block& b : blocks_) munmap(b.base, b.bytes);
        cache_gone = true;
    }

    // The smallest kept block of at least `bytes`, or null.
    void* take(size_t bytes) {
        Block* best = nullptr;
        for (Block& b : blocks_) {
            if (b.bytes >= bytes && (best == nullptr || b.bytes < best->bytes)) best = &b;
        }
        if (best == nullptr) return nullptr;
        void* base = best->base;
        kept_bytes_ -= best->bytes;
        *best = blocks_.back();
        blocks_.pop_back();
        return base;
    }

    void keep(void* base, size_t bytes) noexcept {
        if (bytes > kCachedBytesMax) {
            munmap(base, bytes);
            return;
        }
        // The smallest blocks go first: a larger one serves any later request they could.
        while (!blocks_.empty() && (blocks_.size() >= kCachedBlocks || kept_bytes_ + bytes > kCachedBytesMax)) {
            auto smallest = std::min_element(blocks_.begin(), blocks_.end(),
                                             [](const Block& a, const Block& b) { return a.bytes < b.bytes; });
            if (smallest->bytes >= bytes) break;
            munmap(smallest->base, smallest->bytes);
            kept_bytes_ -= smallest->bytes;
            *smallest = blocks_.back();
            blocks_.pop_back();
        }
        if (blocks_.size() >= kCachedBlocks || kept_bytes_ + bytes > kCachedBytesMax) {
            munmap(base, bytes);
            return;
        }
        blocks_.push_back({base, bytes});
        kept_bytes_ += bytes;
    }

private:
    struct Block {
        void* base;
        size_t bytes;
    };
    // Never more than kCachedBlocks: reserved up front, so keep() allocates nothing.
    std::vector<Block> blocks_ = [] {
        std::vector<Block> v;
        v.reserve(kCachedBlocks);
        return v;
    }();
    size_t kept_bytes_ = 0;
};

thread_local BlockCache cache;

#endif

}  // namespace

#ifdef QUEN_LARGE_BLOCKS_ON_HEAP

void* take_large_block(size_t bytes) { return ::operator new(bytes); }
void give_back_large_block(void* block, size_t) noexcept { ::operator delete(block); }

#else

void* take_large_block(size_t bytes) {
    const size_t whole = whole_huge_pages(bytes);
    if (!cache_gone) {
        if (void* kept = cache.take(whole)) return kept;
    }
    return map_block(whole);
}

void give_back_large_block(void* block, size_t bytes) noexcept {
    if (block == nullptr) return;
    if (cache_gone) {
        munmap(block, whole_huge_pages(bytes));
    } else {
        cache.keep(block, whole_huge_pages(bytes));
    }
}

#endif

LargeArena::~LargeArena() {
    for (const Block& b : blocks_) give_back_large_block(b.base, b.bytes);
}

void* LargeArena::allocate(size_t bytes) {
    constexpr size_t kAlign = 64;
    if (bytes > SIZE_MAX - kHugePageBytes) throw std::bad_alloc();
    bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
    if (blocks_.empty() || blocks_.back().bytes - blocks_.back().used < bytes) {
        const size_t block_bytes = whole_huge_pages(bytes);
        blocks_.reserve(blocks_.size() + 1);
        blocks_.push_back({static_cast<char*>(take_large_block(block_bytes)), block_bytes, 0});
    }
    Block& b = blocks_.back();
    void* p = b.base + b.used;
    b.used += bytes;
    return p;
}

}  // namespace quen
