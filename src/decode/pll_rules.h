// The separator's fixed rules, shared by its single step and by the stepper that
// carries its state from transition to transition.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace quen::pll {

inline constexpr uint16_t kCellPhase = 2048;
inline constexpr uint16_t kFreqMin = 116;
inline constexpr uint16_t kFreqMax = 140;
inline constexpr uint16_t kSlowTick = 29;
inline constexpr uint16_t kFastTick = 227;
inline constexpr uint32_t kTickNs = 125;

// Run length of equal halves, by the half of this transition and the history of the last two.
inline constexpr uint8_t kRun[2][4] = {
    {2, 1, 0, 0},
    {0, 0, 1, 2},
};

// Frequency correction by phase window p and run r: bits 0-2 ticks, bit 3 set = downward.
inline constexpr uint16_t kFreqCorrection[8][3] = {
    {0, 3, 4}, {0, 2, 3}, {0, 1, 2}, {0, 0, 1}, {0, 8, 9}, {0, 9, 10}, {0, 10, 11}, {0, 11, 12},
};

// The frequency correction by phase window p and the history of the last two halves, in
// one look-up: the run length between the two tables would add a load to every step.
constexpr std::array<std::array<uint16_t, 4>, 8> freq_correction_by_history() {
    std::array<std::array<uint16_t, 4>, 8> table{};
    for (uint32_t p = 0; p < 8; ++p) {
        for (uint32_t history = 0; history < 4; ++history) table[p][history] = kFreqCorrection[p][kRun[p >> 2][history]];
    }
    return table;
}
inline constexpr std::array<std::array<uint16_t, 4>, 8> kFreqCorrectionByHistory = freq_correction_by_history();

// Phase correction by phase window p: bits 0-2 ticks, bit 3 set = slow ticks.
inline constexpr uint16_t kPhaseCorrection[8] = {4, 3, 2, 1, 9, 10, 11, 12};

// A correction of the frequency never outlasts the phase correction set with it, which
// lets the ticks after a transition go in one step.
constexpr bool phase_outlasts_freq() {
    for (int p = 0; p < 8; ++p) {
        for (int r = 0; r < 3; ++r) {
            if ((kFreqCorrection[p][r] & 7) > (kPhaseCorrection[p] & 7)) return false;
        }
    }
    return true;
}
static_assert(phase_outlasts_freq());

// The correction ticks after a transition whose tick left the phase at `phase`, up to
// the end of the correction or of the cell, whichever comes first.
struct CorrectionTicks {
    uint16_t phase_added;
    uint8_t ticks;
    uint8_t phase_count_left;  // the phase correction's count after them
};
constexpr std::array<CorrectionTicks, kCellPhase + 1> correction_ticks_table() {
    std::array<CorrectionTicks, kCellPhase + 1> table{};
    for (uint32_t phase = 0; phase < kCellPhase; ++phase) {
        const uint16_t correction = kPhaseCorrection[(phase >> 8) & 7];
        const uint32_t step = (correction & 8) ? kSlowTick : kFastTick;
        const uint32_t to_cell_end = (kCellPhase - phase + step - 1) / step;
        const uint32_t ticks = std::min<uint32_t>(correction & 7, to_cell_end);
        table[phase] = {static_cast<uint16_t>(ticks * step), static_cast<uint8_t>(ticks),
                        static_cast<uint8_t>(correction - ticks)};
    }
    // From the end of the cell on, none, and the whole correction of the phase window
    // the cell's end falls in.
    table[kCellPhase] = {0, 0, static_cast<uint8_t>(kPhaseCorrection[(kCellPhase >> 8) & 7])};
    return table;
}
inline constexpr std::array<CorrectionTicks, kCellPhase + 1> kCorrectionTicks = correction_ticks_table();

// 2^32 / f rounded up: a quotient of a phase difference (below 2^13) by f then comes
// out exact from a multiplication, without the division the separator would wait for.
constexpr std::array<uint64_t, 256> reciprocal_table() {
    std::array<uint64_t, 256> table{};
    for (uint64_t f = 1; f < table.size(); ++f) table[f] = (uint64_t{1} << 32) / f + 1;
    return table;
}
inline constexpr std::array<uint64_t, 256> kReciprocal = reciprocal_table();

// Ticks of `f` each until `phase_needed` is reached: the ceiling of the quotient.
inline uint32_t ticks_to_fill(uint32_t phase_needed, uint32_t f) {
    const uint32_t n = phase_needed + f - 1;
    if (f < kReciprocal.size() && n < (1u << 13)) return static_cast<uint32_t>((n * kReciprocal[f]) >> 32);
    return n / f;
}

// Ticks until a span of `span_ns` is covered, the ceiling of span_ns / kTickNs, from a
// multiplication: with m = 2^38 / kTickNs rounded up, m * kTickNs exceeds 2^38 by 56, so
// (n * m) >> 38 is the quotient of n for every n below 2^38 / 56, beyond any 32-bit
// span plus the rounding, and the product stays within 64 bits.
inline constexpr uint64_t kTickReciprocal = ((uint64_t{1} << 38) + kTickNs - 1) / kTickNs;
static_assert(kTickReciprocal * kTickNs - (uint64_t{1} << 38) == 56);
inline uint32_t ticks_to_cover(uint32_t span_ns) {
    return static_cast<uint32_t>(((uint64_t{span_ns} + kTickNs - 1) * kTickReciprocal) >> 38);
}

// The frequency `f` moved by `step` ticks, each up or down by one, stopping at the end
// of the range (a frequency already past it stays where it is).
constexpr uint32_t stepped_freq(uint32_t f, int32_t step) {
    const int32_t now = static_cast<int32_t>(f);
    const int32_t moved = now + step;
    const int32_t lowest = now < kFreqMin ? now : kFreqMin;
    const int32_t highest = now > kFreqMax ? now : kFreqMax;
    return static_cast<uint32_t>(moved < lowest ? lowest : moved > highest ? highest : moved);
}

// The frequency after `ticks` ticks of the correction `fc`. The direction goes in as a
// sign, not a branch: it is as likely one way as the other.
inline uint32_t nudged(uint32_t f, uint32_t fc, uint32_t ticks) {
    const int32_t down = -static_cast<int32_t>((fc >> 3) & 1);  // all ones when downward
    return stepped_freq(f, (static_cast<int32_t>(ticks) ^ down) - down);
}

// The frequency's step after a transition whose tick left the phase at `ph`, by the
// history of the last two halves: the ticks of the frequency correction taken with the
// phase correction's, signed by their direction. The next transition waits on the
// frequency, which found this way waits on one look-up rather than on two and the
// arithmetic between them. From the end of the cell on there are no correction ticks,
// so every phase past it shares the last entry.
// Beside it, the frequency correction's count after those ticks.
struct FreqSettle {
    int8_t step;
    uint8_t count_left;
};
constexpr std::array<std::array<FreqSettle, kCellPhase + 1>, 4> freq_steps_table() {
    std::array<std::array<FreqSettle, kCellPhase + 1>, 4> table{};
    for (uint32_t history = 0; history < 4; ++history) {
        for (uint32_t ph = 0; ph <= kCellPhase; ++ph) {
            const uint32_t fc = kFreqCorrectionByHistory[(ph >> 8) & 7][history];
            const uint32_t ticks = std::min<uint32_t>(kCorrectionTicks[ph].ticks, fc & 7);
            table[history][ph] = {static_cast<int8_t>((fc & 8) ? -static_cast<int32_t>(ticks) : ticks),
                                  static_cast<uint8_t>(fc - ticks)};
        }
    }
    return table;
}
inline constexpr std::array<std::array<FreqSettle, kCellPhase + 1>, 4> kFreqSteps = freq_steps_table();
// Past the end of the cell the phase window differs from the last entry's, but no
// correction tick is left to step the frequency.
static_assert(kCorrectionTicks[kCellPhase].ticks == 0);

// The transition's tick left the phase at `ph`: where in the cell it fell sets the
// corrections, and the correction ticks are taken up to the end of the correction or of
// the cell, whichever comes first. The phase correction lasts at least as long as the
// frequency one, so while it lasts every tick adds its fixed step to the phase, whatever
// the frequency does: how many of those ticks there are, and what they add, depend on
// the phase alone and are looked up.
struct Settled {
    uint32_t ph;     // the phase after the correction ticks
    uint32_t ticks;  // correction ticks taken
    uint32_t f;      // the frequency register after them
    uint32_t fc;     // frequency and phase corrections still to come
    uint32_t pc;
    uint32_t history;
};
constexpr Settled settle_transition(uint32_t ph, uint32_t f, uint32_t history, bool pll_off) {
    const uint32_t p = (ph >> 8) & 7;
    const uint32_t h = p >> 2;
    const uint32_t in_cell = ph < kCellPhase ? ph : kCellPhase;
    uint32_t fc = kFreqCorrectionByHistory[p][history & 3];
    const CorrectionTicks& corrections = kCorrectionTicks[in_cell];
    const uint32_t k = corrections.ticks;
    fc -= k < (fc & 7) ? k : (fc & 7);
    return {ph + corrections.phase_added, k, pll_off ? f : stepped_freq(f, kFreqSteps[history & 3][in_cell].step), fc,
            kPhaseCorrection[p] - k, h * 2 + (history & 0xFFFF) / 2};
}

// The same for a frequency register below kSmallFreq, whose tick can carry the phase no
// further than kSmallFreq past the end of the cell: there the phase window is the one
// the end of the cell falls in, so both counts left follow from the look-ups by the
// phase within the cell, without the window's own corrections and their arithmetic.
inline constexpr uint32_t kSmallFreq = 256;
constexpr Settled settle_small_freq(uint32_t ph, uint32_t f, uint32_t history, bool pll_off) {
    const uint32_t in_cell = ph < kCellPhase ? ph : kCellPhase;
    const CorrectionTicks& corrections = kCorrectionTicks[in_cell];
    const FreqSettle& freq = kFreqSteps[history & 3][in_cell];
    return {ph + corrections.phase_added,  corrections.ticks,   pll_off ? f : stepped_freq(f, freq.step),
            freq.count_left,               corrections.phase_count_left,
            ((ph >> 10) & 1) * 2 + (history & 0xFFFF) / 2};
}
// Checked for every phase a tick can reach from within the cell and every history.
constexpr bool small_freq_settles_alike() {
    for (uint32_t history = 0; history < 4; ++history) {
        for (uint32_t ph = 0; ph < kCellPhase + kSmallFreq; ++ph) {
            // Mid-range, so that no step is lost to the ends of the range.
            const Settled a = settle_transition(ph, (kFreqMin + kFreqMax) / 2, history, false);
            const Settled b = settle_small_freq(ph, (kFreqMin + kFreqMax) / 2, history, false);
            if (a.ph != b.ph || a.ticks != b.ticks || a.f != b.f || a.fc != b.fc || a.pc != b.pc ||
                a.history != b.history) {
                return false;
            }
        }
    }
    return true;
}
static_assert(small_freq_settles_alike());
// The register never leaves the range it starts in that holds kFreqMax as well.
static_assert(kFreqMax < kSmallFreq);

}  // namespace quen::pll
