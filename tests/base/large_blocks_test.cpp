#include "base/large_blocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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

}  // namespace
}  // namespace quen
