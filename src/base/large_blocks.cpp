#include "base/large_blocks.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
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

// Every block starts at this alignment, a cache line.
constexpr size_t kPartAlign = 64;

#ifndef QUEN_LARGE_BLOCKS_ON_HEAP

constexpr size_t kHugePageBytes = size_t{2} << 20;

size_t whole_huge_pages(size_t bytes) {
    if (bytes == 0) bytes = 1;
    if (bytes > SIZE_MAX - 2 * kHugePageBytes) throw std::bad_alloc();
    return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
}

// What a thread keeps for its next analysis: a track side's arrays fit in two or three
// pages; a hostile capture's larger ones are given back to the system at once.
constexpr size_t kCachedBlocks = 4;
constexpr size_t kCachedBytesMax = size_t{64} << 20;

// A shared page starts with the count of its parts not yet given back, plus one while a
// thread still shares it out; parts are carved behind it.
struct SharedPageHead {
    std::atomic<uint32_t> parts;
};
static_assert(sizeof(SharedPageHead) <= kPartAlign);
constexpr size_t kLargestPart = kHugePageBytes - kPartAlign;

SharedPageHead* head_of_part(void* part) {
    return reinterpret_cast<SharedPageHead*>(reinterpret_cast<uintptr_t>(part) & ~(kHugePageBytes - 1));
}

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

// A thread's blocks given back, with their pages still in place for its next analysis,
// and the page it shares out.
class BlockCache {
public:
    BlockCache() = default;
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;
    ~BlockCache() {
        if (shared_ != nullptr && release_part(shared_)) munmap(shared_, kHugePageBytes);
        for (const Block& b : blocks_) munmap(b.base, b.bytes);
        cache_gone = true;
    }

    // The smallest kept block of at least `bytes`, or of exactly `bytes`; null when none is.
    enum class Fit : uint8_t { kAtLeast, kExactly };
    void* take(size_t bytes, Fit fit = Fit::kAtLeast) {
        Block* best = nullptr;
        for (Block& b : blocks_) {
            const bool fits = fit == Fit::kExactly ? b.bytes == bytes : b.bytes >= bytes;
            if (fits && (best == nullptr || b.bytes < best->bytes)) best = &b;
        }
        return best != nullptr ? remove(*best) : nullptr;
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
            remove(*smallest);
        }
        if (blocks_.size() >= kCachedBlocks || kept_bytes_ + bytes > kCachedBytesMax) {
            munmap(base, bytes);
            return;
        }
        blocks_.push_back({base, bytes});
        kept_bytes_ += bytes;
    }

    // Room for `bytes` (at most kLargestPart) in the page the thread shares out, in a new
    // one when it has no room left.
    void* take_part(size_t bytes) {
        bytes = (std::max<size_t>(bytes, 1) + kPartAlign - 1) & ~(kPartAlign - 1);
        // All its parts back: the page is empty again.
        if (shared_ != nullptr && shared_->parts.load(std::memory_order_acquire) == 1) shared_used_ = kPartAlign;
        if (shared_ == nullptr || kHugePageBytes - shared_used_ < bytes) {
            // The page goes to whoever gives back its last part.
            if (shared_ != nullptr && release_part(shared_)) keep(shared_, kHugePageBytes);
            shared_ = nullptr;
            // A page, not a larger block: it is given back as a page, and the rest would be lost.
            void* page = take(kHugePageBytes, Fit::kExactly);
            if (page == nullptr) page = map_block(kHugePageBytes);
            shared_ = new (page) SharedPageHead{{1}};
            shared_used_ = kPartAlign;
        }
        shared_->parts.fetch_add(1, std::memory_order_relaxed);
        void* part = reinterpret_cast<char*>(shared_) + shared_used_;
        shared_used_ += bytes;
        return part;
    }

    // Gives back one part of a shared page; true when it was the last and the page is free.
    static bool release_part(SharedPageHead* head) noexcept {
        return head->parts.fetch_sub(1, std::memory_order_acq_rel) == 1;
    }

private:
    struct Block {
        void* base;
        size_t bytes;
    };
    // Drops `b` from the cache; returns its base.
    void* remove(Block& b) noexcept {
        void* base = b.base;
        kept_bytes_ -= b.bytes;
        b = blocks_.back();
        blocks_.pop_back();
        return base;
    }
    // Never more than kCachedBlocks: reserved up front, so keep() allocates nothing.
    std::vector<Block> blocks_ = [] {
        std::vector<Block> v;
        v.reserve(kCachedBlocks);
        return v;
    }();
    size_t kept_bytes_ = 0;
    SharedPageHead* shared_ = nullptr;
    size_t shared_used_ = 0;
};

thread_local BlockCache cache;

#endif

}  // namespace

#ifdef QUEN_LARGE_BLOCKS_ON_HEAP

void* take_large_block(size_t bytes) { return ::operator new(bytes, std::align_val_t{kPartAlign}); }
void give_back_large_block(void* block, size_t) noexcept { ::operator delete(block, std::align_val_t{kPartAlign}); }

#else

void* take_large_block(size_t bytes) {
    if (bytes <= kLargestPart && !cache_gone) return cache.take_part(bytes);
    const size_t whole = whole_huge_pages(bytes);
    if (!cache_gone) {
        if (void* kept = cache.take(whole)) return kept;
    }
    return map_block(whole);
}

void give_back_large_block(void* block, size_t bytes) noexcept {
    if (block == nullptr) return;
    if (bytes <= kLargestPart) {
        // A part taken after the thread's cache was gone is a page of its own, with no head.
        SharedPageHead* head = head_of_part(block);
        if (reinterpret_cast<void*>(head) != block && !BlockCache::release_part(head)) return;
        block = head;
        bytes = kHugePageBytes;
    }
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
    blocks_.reserve(blocks_.size() + 1);
    void* p = take_large_block(bytes);
    blocks_.push_back({p, bytes});
    return p;
}

}  // namespace quen
