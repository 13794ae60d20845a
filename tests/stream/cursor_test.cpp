#include <gtest/gtest.h>

#include "stream/cursor.h"
#include "stream/blocks.h"

namespace quen::testing {
namespace {

// The cursor's factor must not depend on the sample clock: these streams keep the device's.
std::unique_ptr<QuenStream> make_stream(const std::vector<uint32_t>& intervals, const std::vector<IndexRecord>& index) {
    return memory_stream(intervals, index, kDefaultSampleClock);
}

IndexRecord pulse(uint32_t flux_index, uint32_t pre_index, uint32_t rev_time) {
    return IndexRecord{0, 0, 0, flux_index, rev_time, pre_index, 0};
}

struct CursorCase {
    const char* name;
    std::vector<uint32_t> intervals;
    std::vector<IndexRecord> index;
    uint8_t revolution;
    uint32_t count;
    std::vector<int32_t> ns;  // what successive reads give
};

const CursorCase kCursorCases[] = {
    // 4800000 ticks per revolution: 96 ticks are 4000 ns.
    {"normalised to 200 ms", {96, 96, 192}, {pulse(0, 0, 0), pulse(2, 0, 4800000)}, 0, 2, {4000, 4000, 8000}},
    // 2000000 ticks per revolution: 100 ns per tick.
    {"pre_index 0 gives the whole interval", {120, 30}, {pulse(0, 0, 0), pulse(1, 10, 2000000)}, 0, 1, {12000, 3000}},
    {"pre_index 50 of 120 ticks", {120, 30, 40}, {pulse(0, 50, 0), pulse(2, 10, 2000000)}, 0, 2, {7000, 3000, 4000}},
    {"revolution 1 starts at its own pulse", {10, 20, 30, 40},
     {pulse(0, 0, 0), pulse(1, 5, 2000000), pulse(3, 6, 1000000)}, 1, 2, {3000, 6000, 8000}},
    {"a revolution without time reads as 0", {10, 20}, {pulse(0, 0, 0), pulse(1, 0, 0)}, 0, 1, {0, 0}},
    // The trailing entry and anything beyond are never handed out.
    {"stops at the last real interval", {10, 20}, {pulse(0, 0, 0), pulse(2, 0, 2000000)}, 0, 2, {1000, 2000, 0, 0}},
};

TEST(FluxCursor, HandsOutOneRevolution) {
    for (const CursorCase& c : kCursorCases) {
        SCOPED_TRACE(c.name);
        auto s = make_stream(c.intervals, c.index);
        FluxCursor cursor(s.get());
        cursor.start(c.revolution);
        EXPECT_EQ(cursor.count, c.count);
        for (size_t i = 0; i < c.ns.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(cursor.next_ns(), c.ns[i]);
        }
        EXPECT_TRUE(cursor.at_end() || c.ns.size() < c.intervals.size());
    }
}

TEST(FluxCursor, RestartDropsWhatWasPending) {
    auto s = make_stream({100, 200, 300, 400, 500},
                         {pulse(0, 40, 0), pulse(2, 100, 2000000), pulse(3, 50, 1000000), pulse(4, 0, 4000000)});
    FluxCursor cursor(s.get());
    cursor.start(0);
    EXPECT_EQ(cursor.next_ns(), 6000);
    cursor.start(2);
    // Begins again at the pulse of record 2 with the factor of revolution 2 (50 ns per tick).
    EXPECT_EQ(cursor.next_ns(), (400 - 50) * 50);
    cursor.start(1);  // started but never read
    cursor.start(2);
    EXPECT_EQ(cursor.next_ns(), (400 - 50) * 50);
    EXPECT_EQ(cursor.next_ns(), 500 * 50);
}

// Over a decoded stream the intervals of a revolution add up to its time up to the last
// transition before the ending pulse.
TEST(FluxCursor, RevolutionAddsUpToItsTime) {
    Decoded d = decode_bytes(cat({index_block(2, 10), index_block(6, 20), Bytes(8, 0x20), kEof}));
    ASSERT_EQ(d.code, kStreamOk);
    d.stream->index.push_back(d.stream->index[1]);  // the cursor needs a record behind revolution 0 only
    FluxCursor cursor(d.stream.get());
    cursor.start(0);
    ASSERT_EQ(cursor.count, 4u);
    const double per_tick = 200000000.0 / 138.0;
    const int32_t expected[] = {22, 32, 32, 32};
    for (int32_t ticks : expected) EXPECT_EQ(cursor.next_ns(), static_cast<int32_t>(ticks * per_tick));
}

}  // namespace
}  // namespace quen::testing
