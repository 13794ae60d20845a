#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "decode/flux_reader.h"
#include "decode/mfm.h"
#include "decode/pll.h"
#include "decode/separator.h"
#include "support/memory_stream.h"

namespace quen {
namespace {

struct PllRow {
    uint32_t target_ns;
    uint16_t result;
    uint32_t clock_ns;
    uint16_t freq, phase, history, freq_count, phase_count;
};

// Intervals of 4000, then 6000, 8000, 6000 and 4000 ns from the initial state.
const PllRow kPllReplay[] = {
    {4000, 2, 4000, 128, 0, 0, 4, 4},     {8000, 3, 9250, 135, 86, 0, 0, 0},
    {12000, 2, 12875, 136, 3, 0, 0, 0},   {16000, 2, 16875, 136, 45, 2, 0, 8},
    {20000, 2, 20875, 135, 82, 3, 8, 8},  {24000, 2, 24875, 133, 84, 3, 8, 8},
    {28000, 2, 28875, 131, 26, 3, 8, 8},  {32000, 2, 32875, 130, 14, 3, 8, 8},
    {36000, 2, 37000, 129, 100, 3, 8, 8}, {40000, 2, 41000, 128, 25, 3, 8, 8},
    {44000, 2, 45125, 127, 46, 3, 8, 8},  {48000, 2, 49125, 127, 114, 1, 0, 0},
    {54000, 3, 55000, 127, 39, 0, 0, 0},  {62000, 4, 63000, 128, 82, 0, 0, 0},
    {68000, 3, 69125, 128, 111, 2, 0, 8}, {72000, 2, 73000, 128, 82, 1, 0, 0},
};

TEST(Pll, ReplaysTheWorkedSequence) {
    PllState pll;
    for (const PllRow& row : kPllReplay) {
        SCOPED_TRACE(row.target_ns);
        EXPECT_EQ(pll.step(row.target_ns, false), row.result);
        EXPECT_EQ(pll.clock_ns, row.clock_ns);
        EXPECT_EQ(pll.freq, row.freq);
        EXPECT_EQ(pll.phase, row.phase);
        EXPECT_EQ(pll.history, row.history);
        EXPECT_EQ(pll.freq_count, row.freq_count);
        EXPECT_EQ(pll.phase_count, row.phase_count);
        // The flags always follow the counts.
        EXPECT_EQ(pll.freq_up, (row.freq_count & 7) && !(row.freq_count & 8));
        EXPECT_EQ(pll.freq_down, (row.freq_count & 7) && (row.freq_count & 8));
        EXPECT_EQ(pll.phase_fast, (row.phase_count & 7) && !(row.phase_count & 8));
        EXPECT_EQ(pll.phase_slow, (row.phase_count & 7) && (row.phase_count & 8));
    }
}

TEST(Pll, FrequencyStaysInRangeAndFreezesWithPllOff) {
    for (bool pll_off : {false, true}) {
        for (uint32_t interval : {3000u, 5200u}) {
            PllState pll;
            uint32_t t = 0;
            for (int i = 0; i < 2000; ++i) {
                t += interval;
                pll.step(t, pll_off);
                ASSERT_GE(pll.freq, 116);
                ASSERT_LE(pll.freq, 140);
                if (pll_off) {
                    ASSERT_EQ(pll.clk(), 4000);
                }
            }
        }
    }
}

TEST(Pll, PassedTransitionTakesOneCellAndLongGapsWrap) {
    PllState pll;
    pll.step(4000, false);
    EXPECT_EQ(pll.step(4000, false), 1);  // an interval of 0 ns
    PllState gap;
    const uint16_t cells = gap.step(2000u * 65538u, true);
    EXPECT_LE(cells, 3);  // 65537 or 65538 cells, modulo 65536
}

TEST(Mfm, SyncPatternsSplitIntoTheirMarks) {
    struct Case { uint16_t window; uint8_t data, clock; };
    for (Case c : {Case{0x4489, 0xA1, 0x0A}, Case{0x5224, 0xC2, 0x14}}) {
        MfmShifter s;
        s.bits = c.window;
        s.count = 16;
        s.next_byte();
        EXPECT_EQ(s.data, c.data);
        EXPECT_EQ(s.clock, c.clock);
        EXPECT_EQ(s.count, 0u);
    }
}

TEST(Mfm, FindSyncRealignsTheNextByte) {
    MfmShifter s;
    s.bits = 0x4489u << 3;
    s.count = 19;
    SyncSearch f = find_sync(s);
    ASSERT_TRUE(f.found);
    EXPECT_EQ(f.pos, 3);
    s.synced = 1;
    s.sync_pos = f.pos;
    s.next_byte();
    EXPECT_EQ(s.count, 3u);
    EXPECT_EQ(s.data, 0xA1);

    MfmShifter none;
    none.bits = 0x12345678;
    none.count = 32;
    EXPECT_FALSE(find_sync(none).found);
}

TEST(Mfm, LongGapEmptiesTheRegister) {
    MfmShifter s;
    s.bits = 0x15;
    s.count = 5;
    s.push_cells(40);
    EXPECT_EQ(s.count, 45u);
    s.next_byte();
    EXPECT_EQ(s.count, 29u);
    EXPECT_EQ(s.bits, 1u);
    EXPECT_EQ(s.window, static_cast<uint16_t>((0x15u << 11) >> 16));
    s.next_byte();
    EXPECT_EQ(s.count, 13u);
    EXPECT_EQ(s.window, 0x0000);
}

TEST(Mfm, CrcOfAnIdField) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : {0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x01, 0x02}) crc = crc_ccitt_byte(crc, b);
    EXPECT_EQ(crc, 0xCA6F);
    crc = crc_ccitt_byte(crc, 0xCA);
    crc = crc_ccitt_byte(crc, 0x6F);
    EXPECT_EQ(crc, 0);
}

TEST(Mfm, BorderWindowBounds) {
    struct Case { int32_t interval; bool inside; };
    for (Case c : {Case{4600, false}, Case{4601, true}, Case{5399, true}, Case{5400, false}, Case{3400, false},
                   Case{3399, true}, Case{2601, true}, Case{2600, false}, Case{4000, false}}) {
        EXPECT_EQ(in_border_window(4000, c.interval, 2), c.inside) << c.interval;
    }
}

// The border window as it is described: within a tenth of a bit period of half the
// cells' length plus or minus a quarter of the bit period.
bool near_either_half_point(int64_t clk, int64_t interval, int64_t cells) {
    const int64_t hi = clk * cells / 2 + clk / 4;
    const int64_t lo = clk * cells / 2 - clk / 4;
    const int64_t tol = clk / 10;
    return (hi - tol < interval && interval < hi + tol) || (lo - tol < interval && interval < lo + tol);
}

// The classes are computed without branches: they must agree with the window as
// described and with the cell counts' limits for every bit period in the ranges below,
// every cell count around the limits, and every interval at the edges of the windows or
// at the ends of its range.
TEST(Separator, ClassesFollowTheBorderWindowAndTheCellCounts) {
    const uint32_t kClkRanges[][2] = {{0, 48}, {3600, 4500}, {65500, 65535}};
    for (const auto& range : kClkRanges) {
        for (uint32_t clk = range[0]; clk <= range[1]; ++clk) {
            for (uint16_t cells : {0, 1, 2, 3, 4, 5, 6, 159, 160, 161, 65535}) {
                const int64_t half = int64_t{clk} * cells / 2;
                std::vector<int64_t> intervals = {INT32_MIN, INT32_MIN + 1, -1, 0, INT32_MAX};
                for (const int64_t centre : {half - clk / 4, half + clk / 4}) {
                    for (const int64_t off : {-1, 0, 1}) {
                        for (const int64_t edge : {-int64_t{clk / 10}, int64_t{0}, int64_t{clk / 10}}) {
                            intervals.push_back(std::clamp<int64_t>(centre + edge + off, INT32_MIN, INT32_MAX));
                        }
                    }
                }
                for (const int64_t interval : intervals) {
                    const auto ns = static_cast<int32_t>(interval);
                    uint8_t expected = kIntervalNoFlux;
                    if (cells <= kNoFluxCells) {
                        expected = (near_either_half_point(clk, ns, cells) ? kIntervalBorder : 0) |
                                   (cells < 2 ? kIntervalShort : 0) | (cells > 4 ? kIntervalLong : 0);
                    }
                    ASSERT_EQ(classify_interval(ns, cells, static_cast<uint16_t>(clk)), expected)
                        << clk << " " << cells << " " << ns;
                }
            }
        }
    }
}

}  // namespace
}  // namespace quen

namespace quen {
namespace {

// Tick by tick, exactly as the separator is described; the fast separator must agree.
uint16_t reference_step(PllState& s, uint32_t target_ns, bool pll_off) {
    static const uint8_t run[2][4] = {{2, 1, 0, 0}, {0, 0, 1, 2}};
    static const uint16_t freq_table[8][3] = {{0, 3, 4},  {0, 2, 3},  {0, 1, 2},   {0, 0, 1},
                                              {0, 8, 9},  {0, 9, 10}, {0, 10, 11}, {0, 11, 12}};
    static const uint16_t phase_table[8] = {4, 3, 2, 1, 9, 10, 11, 12};
    uint32_t cells = 1;
    bool reached = false;
    for (;;) {
        s.clock_ns += 125;
        const bool now = !reached && s.clock_ns >= target_ns;
        reached = reached || now;
        if (!pll_off && s.freq_up && s.freq < 140) ++s.freq;
        if (!pll_off && s.freq_down && s.freq > 116) --s.freq;
        s.phase = static_cast<uint16_t>(s.phase + (s.phase_slow ? 29 : s.phase_fast ? 227 : s.freq));
        if (now) {
            const uint16_t p = (s.phase >> 8) & 7;
            const uint16_t r = run[p >> 2][s.history & 3];
            s.history = static_cast<uint16_t>((p >> 2) * 2 + s.history / 2);
            s.freq_count = freq_table[p][r];
            s.phase_count = phase_table[p];
        } else {
            if (s.freq_count & 7) --s.freq_count;
            if (s.phase_count & 7) --s.phase_count;
        }
        s.freq_up = (s.freq_count & 7) && !(s.freq_count & 8);
        s.freq_down = (s.freq_count & 7) && (s.freq_count & 8);
        s.phase_fast = (s.phase_count & 7) && !(s.phase_count & 8);
        s.phase_slow = (s.phase_count & 7) && (s.phase_count & 8);
        if (s.phase >= 2048) {
            s.phase = static_cast<uint16_t>(s.phase - 2048);
            if (reached) return static_cast<uint16_t>(cells);
            ++cells;
        }
    }
}

bool same_state(const PllState& a, const PllState& b) {
    return a.clock_ns == b.clock_ns && a.freq == b.freq && a.phase == b.phase && a.history == b.history &&
           a.freq_count == b.freq_count && a.phase_count == b.phase_count && a.freq_up == b.freq_up &&
           a.freq_down == b.freq_down && a.phase_slow == b.phase_slow && a.phase_fast == b.phase_fast;
}

TEST(Pll, AgreesWithTickByTickOnJitteredAndLongIntervals) {
    uint32_t seed = 7;
    auto rnd = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (bool pll_off : {false, true}) {
        PllState fast;
        PllState slow;
        PllStepper stepper(fast, pll_off);
        uint32_t t = 0;
        for (int i = 0; i < 20000; ++i) {
            const uint32_t kind = rnd() % 100;
            uint32_t interval = (2 + rnd() % 3) * 2000 + rnd() % 900 - 450;
            if (kind == 0) interval = rnd() % 3000000;          // a no-flux stretch
            if (kind == 1) interval = rnd() % 200;              // a spike
            if (kind == 2 && i > 19000) interval = 0xF0000000u;  // absurd: the time wraps
            if (kind == 3) interval = rnd() % 12000;            // anything up to six cells
            t += interval;
            const uint16_t want = reference_step(slow, t, pll_off);
            ASSERT_EQ(fast.step(t, pll_off), want) << i;
            ASSERT_TRUE(same_state(fast, slow)) << i;
            ASSERT_EQ(stepper.step(t), want) << i;
            ASSERT_EQ(stepper.clk(), slow.clk()) << i;
            ASSERT_TRUE(same_state(stepper.state(), slow)) << i;
        }
    }
}

// Through many transitions at once the stepper keeps its clock as ticks since a base;
// where the times run over the top of the clock's range it has to start afresh.
TEST(Pll, StepperAgreesWithTickByTickThroughManyTransitions) {
    uint32_t seed = 11;
    auto rnd = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (bool pll_off : {false, true}) {
        // From just below the top of the range, so that the times run over it.
        PllState slow;
        slow.clock_ns = 0xFFF00000u;
        PllStepper stepper(slow, pll_off);
        std::vector<uint32_t> targets(60000);
        uint32_t t = slow.clock_ns;
        for (uint32_t& target : targets) {
            const uint32_t kind = rnd() % 100;
            t += kind == 0 ? rnd() % 3000000 : kind < 5 ? rnd() % 12000 : (2 + rnd() % 3) * 2000 + rnd() % 900 - 450;
            target = t;
        }
        size_t next = 0;
        size_t taken = 0;
        stepper.step_many(
            targets.size(), [&] { return targets[next++]; },
            [&](uint16_t cells, uint16_t clk) {
                ASSERT_EQ(cells, reference_step(slow, targets[taken], pll_off)) << taken;
                ASSERT_EQ(clk, slow.clk()) << taken;
                ++taken;
            });
        EXPECT_EQ(taken, targets.size());
        EXPECT_TRUE(same_state(stepper.state(), slow));
    }
}

// The clock wraps as the times do: a transition just past the wrap, and ones at the top of
// the range that the clock reaches only after whole laps around it. Also registers set
// beyond the range, where a tick carries the phase far past the end of the cell.
TEST(Pll, AgreesWithTickByTickWhereTheClockWrapsOrTheRegisterIsOutOfRange) {
    const struct {
        uint32_t clock_ns;
        uint32_t target_ns;
        uint16_t freq;
    } rows[] = {
        {0xFFFFFF00u, 0x10u, 128},        // just past the wrap
        {0x1000u, 0xFFFFFFD0u, 128},      // three laps
        {0u, 0xFFFFFFF0u, 128},           // three laps from zero
        {0xFFFFFFC0u, 0xFFFFFFF8u, 128},  // inside the top tick, from above it
        {0u, 0x5A3u, 255},                // the largest register looked up by the phase in the cell
        {0u, 0x5A3u, 256},                // the smallest beyond it
        {0u, 0x5A3u, 1000},
        {0u, 0x2000u, 60},
    };
    for (const auto& row : rows) {
        PllState fast;
        fast.clock_ns = row.clock_ns;
        fast.freq = row.freq;
        PllState slow = fast;
        PllStepper stepper(fast, false);
        const uint16_t want = reference_step(slow, row.target_ns, false);
        EXPECT_EQ(fast.step(row.target_ns, false), want) << std::hex << row.target_ns;
        EXPECT_TRUE(same_state(fast, slow)) << std::hex << row.target_ns;
        EXPECT_EQ(stepper.step(row.target_ns), want) << std::hex << row.target_ns;
        EXPECT_TRUE(same_state(stepper.state(), slow)) << std::hex << row.target_ns;
    }
}

// The ticks to a transition come from a multiplication; at the edges of a tick and at
// the top of the range they must be the quotient rounded up.
TEST(Pll, TicksToCoverAreTheQuotientRoundedUp) {
    const uint32_t spans[] = {0, 1, 124, 125, 126, 250, 251, 0x7FFFFFFFu, 0xFFFFFF83u, 0xFFFFFF84u, UINT32_MAX};
    for (const uint32_t span : spans) {
        EXPECT_EQ(pll::ticks_to_cover(span), static_cast<uint32_t>((uint64_t{span} + 124) / 125)) << span;
    }
}

// Random double-density intervals with spikes and no-flux stretches of up to 5 ms,
// in four revolutions; QUEN_RANDOM_INTERVALS sets how many (a benchmark run takes millions).
std::unique_ptr<QuenStream> random_revolutions(uint32_t& seed) {
    const char* wanted = std::getenv("QUEN_RANDOM_INTERVALS");
    const uint32_t n = std::max(1000u, wanted ? static_cast<uint32_t>(std::strtoul(wanted, nullptr, 10)) : 200000u);
    auto rnd = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<uint32_t> ticks(n);
    for (uint32_t& t : ticks) {
        const uint32_t kind = rnd() % 200;
        t = kind == 0 ? rnd() % 5000000 : kind == 1 ? rnd() % 200 : (2 + rnd() % 3) * 2000 + rnd() % 900 - 450;
    }
    std::vector<IndexRecord> index;
    for (uint32_t r = 0; r <= 4; ++r) {
        IndexRecord rec{};
        rec.flux_index = r * (n / 5);
        for (uint32_t i = rec.flux_index; i < rec.flux_index + n / 5; ++i) rec.rev_time += ticks[i];
        index.push_back(rec);
    }
    return testing::memory_stream(ticks, index, kDefaultSampleClock);
}

// Decoders read the shared results in any order and past the index; each must see what
// a separator of its own would have given it.
TEST(Separator, SharedResultsAgreeWithSteppingAfresh) {
    uint32_t seed = 99;
    const auto stream = random_revolutions(seed);
    for (bool pll_off : {false, true}) {
        SeparatorRuns runs(stream.get(), pll_off);
        auto run_of = [&](uint8_t r) -> SeparatorRun& { return runs.from(r); };
        struct Fresh {
            FluxCursor cursor;
            PllState pll;
            uint32_t total_ns = 0;
            uint32_t read = 0;
        };
        std::vector<Fresh> fresh;
        for (uint8_t r = 0; r < 4; ++r) {
            fresh.push_back(Fresh{FluxCursor(stream.get()), PllState{}});
            fresh.back().cursor.start(r);
        }
        for (bool any = true; any;) {
            any = false;
            for (uint8_t r = 0; r < 4; ++r) {
                Fresh& f = fresh[r];
                for (uint32_t k = seed % 5000; k != 0 && !f.cursor.at_end(); --k, ++f.read) {
                    const int32_t interval = f.cursor.next_ns();
                    f.total_ns += static_cast<uint32_t>(interval);
                    const uint16_t cells = f.pll.step(f.total_ns, pll_off);
                    ASSERT_TRUE(run_of(r).has(f.read));
                    const SeparatedInterval got = run_of(r).get(f.read);
                    ASSERT_EQ(got.total_ns, f.total_ns);
                    ASSERT_EQ(got.interval_ns, interval);
                    ASSERT_EQ(got.cells, cells);
                    ASSERT_EQ(got.clk, f.pll.clk());
                    ASSERT_EQ(got.classes, classify_interval(interval, cells, f.pll.clk()));
                    any = true;
                }
                if (f.cursor.at_end()) {
                    ASSERT_FALSE(run_of(r).has(f.read));
                }
                seed = seed * 1664525u + 1013904223u;
            }
        }
    }
}

// Reading intervals in runs must leave the reader where reading them one at a time does,
// and stop at every interval a decoder has to look at: a byte complete, a class, the limit.
TEST(FluxReader, ReadsRunsOfIntervalsAsOneAtATime) {
    uint32_t seed = 5;
    const auto stream = random_revolutions(seed);
    const FluxTexts texts{"", "", "", "", ""};
    for (uint32_t limit : {1u, 2u, 5u, 13u, FluxReader::kNoLimit}) {
        SCOPED_TRACE(limit);
        SeparatorRuns runs(stream.get(), false);
        FluxReader runs_of(runs.from(1), DiagSink{}, texts);
        FluxReader single(runs.from(1), DiagSink{}, texts);
        for (;;) {
            const uint32_t read = runs_of.read_intervals(limit);
            for (uint32_t k = 0; k < read; ++k) {
                ASSERT_FALSE(single.at_end());
                if (k != 0) {
                    ASSERT_LT(single.shifter.count, 16u);
                    ASSERT_EQ(single.classes, 0);
                }
                single.read_interval();
                single.shifter.push_cells(single.cells);
            }
            if (read == 0) {
                ASSERT_TRUE(single.at_end());
                break;
            }
            ASSERT_TRUE(read == limit || single.shifter.count >= 16 || single.classes != 0 || single.at_end());
            ASSERT_EQ(runs_of.next, single.next);
            ASSERT_EQ(runs_of.shifter.bits, single.shifter.bits);
            ASSERT_EQ(runs_of.shifter.count, single.shifter.count);
            ASSERT_EQ(runs_of.total_ns, single.total_ns);
            ASSERT_EQ(runs_of.interval_ns, single.interval_ns);
            ASSERT_EQ(runs_of.cells, single.cells);
            ASSERT_EQ(runs_of.clk, single.clk);
            ASSERT_EQ(runs_of.classes, single.classes);
            for (FluxReader* r : {&runs_of, &single}) {
                while (r->shifter.count >= 16) r->shifter.next_byte();
            }
        }
    }
}

}  // namespace
}  // namespace quen
