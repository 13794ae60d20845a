#include "support/builder.h"

#include <gtest/gtest.h>

#include "support/memory_stream.h"

namespace quen::synth {
namespace {

uint16_t cells16(const MfmCells& c, size_t first) {
    uint16_t v = 0;
    for (size_t i = 0; i < 16; ++i) v = static_cast<uint16_t>((v << 1) | c.cells()[first + i]);
    return v;
}

TEST(MfmCellsTest, EncodesClockBitsAndMissingClockMarks) {
    MfmCells c;
    c.byte(0x4E);  // first byte of a track: no clock transition behind the index
    c.byte(0x4E);
    c.byte(0x00);
    c.sync_a1(1);
    c.sync_c2(1);
    c.byte(0xFF);
    EXPECT_EQ(cells16(c, 0), 0x1254);
    EXPECT_EQ(cells16(c, 16), 0x9254);
    EXPECT_EQ(cells16(c, 32), 0xAAAA);
    EXPECT_EQ(cells16(c, 48), 0x4489);
    EXPECT_EQ(cells16(c, 64), 0x5224);
    EXPECT_EQ(cells16(c, 80), 0x5555);
}

TEST(MfmCellsTest, CrcBytesCloseAnIdField) {
    MfmCells c;
    c.crc_reset();
    c.sync_a1(3);
    c.bytes({0xFE, 0x00, 0x00, 0x01, 0x02});
    EXPECT_EQ(c.crc(), 0xCA6F);
    c.crc_bytes();
    EXPECT_EQ(c.crc(), 0);
}

TEST(StreamWriterTest, ChoosesTheShortestFluxBlocks) {
    struct Case {
        uint32_t ticks;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {0x20, {0x20}},
        {0x0D, {0x00, 0x0D}},
        {0x100, {0x01, 0x00}},
        {0x1234, {0x0C, 0x12, 0x34}},
        {131104, {0x0B, 0x0B, 0x20}},
    };
    for (const Case& c : cases) {
        StreamWriter w;
        w.flux(c.ticks);
        EXPECT_EQ(w.bytes(), c.bytes) << c.ticks;
        EXPECT_EQ(w.stream_pos(), c.bytes.size());
    }
}

TEST(StreamWriterTest, OutOfBandBlocksKeepTheStreamPosition) {
    StreamWriter w;
    w.nop1();
    w.index(1, 7, 9);
    w.eof();
    EXPECT_EQ(w.stream_pos(), 1u);
    const std::vector<uint8_t> want = {0x08, 0x0D, 0x02, 0x0C, 0x00, 1, 0, 0, 0, 7, 0, 0, 0, 9, 0, 0, 0,
                                       0x0D, 0x0D, 0x0D, 0x0D};
    EXPECT_EQ(w.bytes(), want);
}

TEST(StreamBuilderTest, IndexPulsesResolveWhereTheyWerePlaced) {
    const std::vector<uint32_t> intervals = {96, 150000, 40, 70000, 200, 65536 * 2 + 5, 30};
    const std::vector<IndexPulse> pulses = {{1, 70000}, {3, 3}, {5, 65536 + 9}, {6, 29}};
    const testing::Decoded d = testing::decode_bytes(encode_stream(intervals, pulses));
    ASSERT_EQ(d.code, 0);
    const QuenStream& s = *d.stream;
    ASSERT_EQ(s.flux_count, intervals.size());
    ASSERT_EQ(s.index_count, pulses.size());
    for (size_t i = 0; i < pulses.size(); ++i) {
        EXPECT_EQ(s.index[i].flux_index, pulses[i].interval) << i;
        EXPECT_EQ(s.index[i].pre_index, pulses[i].pre_ticks) << i;
    }
    EXPECT_EQ(s.index[1].rev_time, 150000 - 70000 + 40 + 3);
}

TEST(StreamBuilderTest, TrackRevolutionsLastTheirCells) {
    const MfmCells track = build_track(standard_track());
    EXPECT_EQ(track.size(), 6250u * 16);
    FluxTiming timing;
    timing.jitter_ns = 100;
    const testing::Decoded d = testing::decode_bytes(track_stream(track, 3, timing));
    ASSERT_EQ(d.code, 0);
    const QuenStream& s = *d.stream;
    ASSERT_EQ(s.index_count, 4u);
    // 100000 cells of 2000 ns: 200 ms a turn at the default sample clock, give or take a tick.
    for (uint32_t r = 1; r < 4; ++r) EXPECT_NEAR(s.index[r].rev_time, 0.2 * kDefaultSampleClock, 2.0) << r;
    EXPECT_NEAR(s.rpm_avg, 300.0, 0.01);
}

}  // namespace
}  // namespace quen::synth
