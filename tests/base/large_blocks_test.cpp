#include "base/large_blocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace quen {
namespace {

// Arrays of every size class share or take blocks; each must stay whole and apart from
// the others, whatever was carved before it or given back by the round before.
TEST(LargeBlocks, ArenaRoomIsSeparateAndAligned) {
    // Beyond what a thread keeps: a block given back to the system at once.
    const std::vector<size_t> sizes = {1, 64, 100000, size_t{3} << 20, 10, 600000, size_t{2} << 20, 7, size_t{70} << 20};
    for (int round = 0; round < 2; ++round) {  // the second takes blocks given back by the first
        LargeArena arena;
        std::vector<unsigned char*> rooms;
        for (size_t i = 0; i < sizes.size(); ++i) {
            auto* p = static_cast<unsigned char*>(arena.allocate(sizes[i]));
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u) << sizes[i];
            std::memset(p, static_cast<int>(i + 1), sizes[i]);
            rooms.push_back(p);
        }
        for (size_t i = 0; i < sizes.size(); ++i) {
            SCOPED_TRACE(sizes[i]);
            EXPECT_EQ(rooms[i][0], i + 1);
            EXPECT_EQ(rooms[i][sizes[i] - 1], i + 1);
        }
    }
}

// A container crosses from heap storage to large blocks and back as it grows and shrinks.
TEST(LargeBlocks, ContainerKeepsItsElementsAcrossTheThreshold) {
    std::vector<uint32_t, LargeBlockAllocator<uint32_t>> v;
    const uint32_t n = static_cast<uint32_t>(3 * kLargeBlockMinBytes / sizeof(uint32_t));
    for (uint32_t i = 0; i < n; ++i) v.push_back(i * 7u);
    v.resize(10);
    v.shrink_to_fit();
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(v[i], i * 7u);
    std::vector<uint32_t, LargeBlockAllocator<uint32_t>> w(n, 5u);
    EXPECT_EQ(w.back(), 5u);
}

// Parts of a shared page may be given back on another thread, before or after the thread
// that took them ends, and their page then serves again.
TEST(LargeBlocks, PartsOutliveTheThreadThatTookThem) {
    const std::vector<size_t> sizes = {1000, 700000, 64, 1000000};
    for (const bool thread_ends_first : {true, false}) {
        std::vector<unsigned char*> parts;
        std::thread taker([&] {
            for (size_t i = 0; i < sizes.size(); ++i) {
                parts.push_back(static_cast<unsigned char*>(take_large_block(sizes[i])));
                std::memset(parts.back(), static_cast<int>(i + 1), sizes[i]);
            }
            if (!thread_ends_first) {
                for (size_t i = 1; i < sizes.size(); ++i) give_back_large_block(parts[i], sizes[i]);
            }
        });
        taker.join();
        EXPECT_EQ(parts[0][sizes[0] - 1], 1);
        if (thread_ends_first) {
            EXPECT_EQ(parts[3][0], 4);
            for (size_t i = 1; i < sizes.size(); ++i) give_back_large_block(parts[i], sizes[i]);
        }
        give_back_large_block(parts[0], sizes[0]);
    }
}

}  // namespace
}  // namespace quen
