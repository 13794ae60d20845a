// Storage for the few large arrays of an analysis: a capture's bytes, its flux intervals
// and the data separator's results.
//
// A process that analyses one track side touches about 2 MB of them once, and on a
// virtual machine the first touch of a 4 KiB page costs more than what is computed in it
// (2.4 us a page here, a fifth of a whole run; see BENCHMARKS.md). These arrays therefore
// live in huge pages where the system gives them, taken in one fault of 110 to 185 us
// instead of 512 small ones. Blocks that fit in one huge page share it: a track side's
// bytes, intervals and separator results together take one fault. A page given
// back stays with its thread for the thread's next analysis, so a disk of many tracks
// touches its pages once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace quen {

// Smaller arrays come from the ordinary heap: a huge page would cost more than their
// small pages do.
inline constexpr size_t kLargeBlockMinBytes = size_t{512} << 10;

// A block of at least `bytes`, aligned for any trivial type: a part of a huge page the
// thread shares out when it fits in one, else whole huge pages of its own; std::bad_alloc
// when the system has no room. Under the sanitizers it is ordinary heap memory, which they
// check. It may be given back on any thread.
void* take_large_block(size_t bytes);
// `bytes` as it was asked for.
void give_back_large_block(void* block, size_t bytes) noexcept;

// For a std::unique_ptr that holds a large block.
struct GiveBackLargeBlock {
    size_t bytes = 0;
    void operator()(void* block) const noexcept { give_back_large_block(block, bytes); }
};

// For a container whose elements may fill a large array.
template <class T>
struct LargeBlockAllocator {
    using value_type = T;

    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        const size_t bytes = n * sizeof(T);
        if (bytes < kLargeBlockMinBytes) return static_cast<T*>(::operator new(bytes));
        return static_cast<T*>(take_large_block(bytes));
    }
    void deallocate(T* p, size_t n) noexcept {
        const size_t bytes = n * sizeof(T);
        if (bytes < kLargeBlockMinBytes) {
            ::operator delete(p);
        } else {
            give_back_large_block(p, bytes);
        }
    }
    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept {
        return true;
    }
};

// Room for arrays that all live as long as the arena, each a large block.
class LargeArena {
public:
    LargeArena() = default;
    LargeArena(const LargeArena&) = delete;
    LargeArena& operator=(const LargeArena&) = delete;
    ~LargeArena();

    // `bytes` of room, aligned for any trivial type; never given back before the arena.
    void* allocate(size_t bytes);

private:
    struct Block {
        void* base;
        size_t bytes;
    };
    std::vector<Block> blocks_;
};

}  // namespace quen
