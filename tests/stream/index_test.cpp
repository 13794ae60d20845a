#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "stream/blocks.h"

namespace quen::testing {
namespace {

// Flux1 32 at 0; Ovl16 at 1 and 2 and Flux1 32 at 3 (one interval of 131104 ticks); Flux1 48 at 4.
const Bytes kOverflowFlux = {0x20, 0x0B, 0x0B, 0x20, 0x30};
// Ten intervals of 32 ticks at positions 0 to 9.
const Bytes kTenFlux = Bytes(10, 0x20);

struct Expected {
    uint32_t flux_index, sample_counter, pre_index, post_index, rev_time;
};

struct PlacementCase {
    const char* name;
    Bytes bytes;
    std::vector<Expected> records;
};

const PlacementCase kPlacements[] = {
    {"before both overflows", cat({index_block(1, 100), kOverflowFlux, kEof}), {{1, 100, 100, 131004, 132}}},
    {"between the overflows", cat({index_block(2, 100), kOverflowFlux, kEof}), {{1, 100, 65636, 65468, 65668}}},
    {"at the flux block", cat({index_block(3, 20), kOverflowFlux, kEof}), {{1, 20, 131092, 12, 131124}}},
    // The pulse coincides with the flux transition.
    {"sample counter 0", cat({index_block(3, 0), kOverflowFlux, kEof}), {{1, 32, 131104, 0, 131136}}},
    {"in the first interval", cat({index_block(0, 5), kTenFlux, kEof}), {{0, 5, 5, 27, 5}}},
    {"first interval, counter 0", cat({index_block(0, 0), kTenFlux, kEof}), {{0, 32, 32, 0, 32}}},
    // From 10 ticks into interval 2 to 20 ticks into interval 6: 22 + 3 * 32 + 20.
    {"two pulses", cat({index_block(2, 10), index_block(6, 20), kTenFlux, kEof}),
     {{2, 10, 10, 22, 74}, {6, 20, 20, 12, 138}}},
    // A pulse in interval 0 leaves its remainder to the next revolution: 22 + 2 * 32 + 5.
    {"first pulse in interval 0", cat({index_block(0, 10), index_block(3, 5), kTenFlux, kEof}),
     {{0, 10, 10, 22, 10}, {3, 5, 5, 27, 91}}},
    // Each pulse is looked for from the interval after the last one placed.
    {"pulses in adjacent intervals", cat({index_block(2, 10), index_block(3, 5), kTenFlux, kEof}),
     {{2, 10, 10, 22, 74}, {3, 5, 5, 27, 27}}},
    {"in the last interval", cat({index_block(1, 4), index_block(9, 3), kTenFlux, kEof}),
     {{1, 4, 4, 28, 36}, {9, 3, 3, 29, 255}}},
    // Behind the last transition the pulse falls into the trailing entry.
    {"after the last transition", cat({{0x20}, index_block(1, 7), kEof}), {{1, 7, 7, 0, 39}}},
};

TEST(IndexResolution, PlacesEveryPulse) {
    for (const PlacementCase& c : kPlacements) {
        SCOPED_TRACE(c.name);
        Decoded d = decode_bytes(c.bytes);
        ASSERT_EQ(d.code, kStreamOk);
        ASSERT_EQ(d.stream->index_count, c.records.size());
        for (size_t i = 0; i < c.records.size(); ++i) {
            SCOPED_TRACE(i);
            const IndexRecord& r = d.stream->index[i];
            const Expected& e = c.records[i];
            EXPECT_EQ(r.flux_index, e.flux_index);
            EXPECT_EQ(r.sample_counter, e.sample_counter);
            EXPECT_EQ(r.pre_index, e.pre_index);
            EXPECT_EQ(r.post_index, e.post_index);
            EXPECT_EQ(r.rev_time, e.rev_time);
        }
    }
}

TEST(IndexResolution, PulseAtTheVeryEndLengthensTheTrailingEntry) {
    // Flux1 32 at 0, Ovl16 at 1; the pulse 7 ticks into the next overflow period.
    Decoded d = decode_bytes(cat({{0x20, 0x0B}, index_block(2, 7), kEof}));
    ASSERT_EQ(d.code, kStreamOk);
    const IndexRecord& r = d.stream->index[0];
    EXPECT_EQ(r.flux_index, 1u);
    EXPECT_EQ(d.stream->flux[1].value, 65543u);
    EXPECT_EQ(r.pre_index, 65543u);
    EXPECT_EQ(r.post_index, 0u);
    EXPECT_EQ(r.rev_time, 65575u);
}

TEST(IndexResolution, NoFluxLeavesRecordsEmpty) {
    Decoded d = decode_bytes(cat({index_block(0, 5), index_block(0, 9), kEof}));
    ASSERT_EQ(d.code, kStreamOk);
    for (const IndexRecord& r : d.stream->index) {
        EXPECT_EQ(r.flux_index, 0u);
        EXPECT_EQ(r.rev_time, 0u);
        EXPECT_EQ(r.pre_index, 0u);
        EXPECT_EQ(r.post_index, 0u);
    }
    EXPECT_EQ(d.stream->rpm_avg, 0.0);
}

// A large stream with the pulses near its end and absurd positions must finish at once.
TEST(IndexResolution, LongStreamsAndAbsurdPositionsFinish) {
    Bytes flux(1u << 20, 0x20);
    Decoded d = decode_bytes(cat({index_block((1u << 20) - 2, 3), index_block((1u << 20) - 1, 0), flux, kEof}));
    ASSERT_EQ(d.code, kStreamOk);
    EXPECT_EQ(d.stream->index[1].flux_index, (1u << 20) - 1);
    EXPECT_EQ(d.stream->index[1].rev_time, 29u + 32u);

    d = decode_bytes(cat({index_block(0xFFFFFFFFu, 0xFFFFFFFFu), flux, kEof}));
    EXPECT_EQ(d.code, kStreamIndexBeyondEnd);
}

struct RpmCase {
    const char* name;
    std::vector<uint32_t> rev_times;
    double rpm;
};

const RpmCase kRpmCases[] = {
    {"no record", {}, 0.0},
    {"one record", {4800000}, 0.0},
    {"no time at all", {0, 0, 0}, 0.0},
    {"three revolutions", {0, 4800000, 4800000, 4800000}, 3 * 60 * kDefaultSampleClock / 14400000.0},
    {"record 0 is left out", {999999, 4800000}, 60 * kDefaultSampleClock / 4800000.0},
};

TEST(StreamRpm, AveragesTheRevolutions) {
    for (const RpmCase& c : kRpmCases) {
        SCOPED_TRACE(c.name);
        QuenStream s;
        for (uint32_t t : c.rev_times) s.index.push_back(IndexRecord{0, 0, 0, 0, t, 0, 0});
        s.index_count = static_cast<uint32_t>(s.index.size());
        s.compute_rpm();
        EXPECT_DOUBLE_EQ(s.rpm_avg, c.rpm);
    }
}

TEST(StreamRpm, PrintsLikeTheStreamLine) {
    QuenStream s;
    s.index = {{}, {0, 0, 0, 0, 4800000, 0, 0}, {0, 0, 0, 0, 4800000, 0, 0}, {0, 0, 0, 0, 4800000, 0, 0}};
    s.index_count = 4;
    s.compute_rpm();
    char text[32];
    std::snprintf(text, sizeof text, "%g", s.rpm_avg);
    EXPECT_STREQ(text, "300.343");
}

// A thousand revolutions add up to more ticks than 32 bits hold.
TEST(StreamRpm, LongCapturesDoNotWrap) {
    QuenStream s;
    s.index.assign(1001, IndexRecord{0, 0, 0, 0, 4800000, 0, 0});
    s.index_count = 1001;
    s.compute_rpm();
    EXPECT_NEAR(s.rpm_avg, 300.343, 0.001);
}

struct ClockCase {
    const char* info;  // nullptr: no Info block
    double sck;
};

const ClockCase kClockCases[] = {
    {nullptr, kDefaultSampleClock},
    {"sck=12000000", 12000000.0},
    {"sck=  1.5e7, ick=3", 15000000.0},
    {"name=x, sck=24000000.5kHz", 24000000.5},
    {"sck=", kDefaultSampleClock},
    {"sck=abc", kDefaultSampleClock},
    {"sck=0", kDefaultSampleClock},
    {"sck=-24000000", kDefaultSampleClock},
    {"sck=inf", kDefaultSampleClock},
    {"sck=nan", kDefaultSampleClock},
    {"sck=1e999", kDefaultSampleClock},
    {"xsck=1, sck=12000000", kDefaultSampleClock},
};

TEST(StreamClock, TakenFromTheInfoTextWhenSound) {
    for (const ClockCase& c : kClockCases) {
        SCOPED_TRACE(c.info == nullptr ? "(none)" : c.info);
        Bytes bytes = cat({c.info == nullptr ? Bytes{} : info_block(c.info), {0x20}, kEof});
        Decoded d = decode_bytes(bytes);
        ASSERT_EQ(d.code, kStreamOk);
        EXPECT_EQ(d.stream->sck, c.sck);
    }
}

TEST(StreamClock, SpeedUsesTheDefaultClock) {
    // Revolution 1 lasts 68 ticks: the rest of interval 0 after 4 ticks, interval 1, 8 ticks of interval 2.
    Decoded d = decode_bytes(
        cat({info_block("sck=10000000"), index_block(0, 4), index_block(2, 8), {0x20, 0x20, 0x20}, kEof}));
    ASSERT_EQ(d.code, kStreamOk);
    EXPECT_EQ(d.stream->index[1].rev_time, 68u);
    EXPECT_EQ(d.stream->sck, 10000000.0);
    EXPECT_DOUBLE_EQ(d.stream->rpm_avg, 60 * kDefaultSampleClock / 68.0);
}

TEST(StreamClock, FailedDecodeKeepsTheDefault) {
    Decoded d = decode_bytes(cat({info_block("sck=10000000"), {0x20}}));
    EXPECT_EQ(d.code, kStreamNoEof);
    EXPECT_EQ(d.stream->sck, kDefaultSampleClock);
}

}  // namespace
}  // namespace quen::testing
