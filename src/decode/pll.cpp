#include "decode/pll.h"

#include <algorithm>
#include <cstdint>

namespace quen {
namespace {

constexpr uint16_t kCellPhase = 2048;
constexpr uint16_t kFreqMin = 116;
constexpr uint16_t kFreqMax = 140;
constexpr uint16_t kSlowTick = 29;
constexpr uint16_t kFastTick = 227;
constexpr uint32_t kTickNs = 125;

// Run length of equal halves, by the half of this transition and the history of the last two.
constexpr uint8_t kRun[2][4] = {
    {2, 1, 0, 0},
    {0, 0, 1, 2},
};

// Frequency correction by phase window p and run r: bits 0-2 ticks, bit 3 set = downward.
constexpr uint16_t kFreqCorrection[8][3] = {
    {0, 3, 4}, {0, 2, 3}, {0, 1, 2}, {0, 0, 1}, {0, 8, 9}, {0, 9, 10}, {0, 10, 11}, {0, 11, 12},
};

// Phase correction by phase window p: bits 0-2 ticks, bit 3 set = slow ticks.
constexpr uint16_t kPhaseCorrection[8] = {4, 3, 2, 1, 9, 10, 11, 12};

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
};
constexpr std::array<CorrectionTicks, kCellPhase + 1> correction_ticks_table() {
    std::array<CorrectionTicks, kCellPhase + 1> table{};
    for (uint32_t phase = 0; phase < kCellPhase; ++phase) {
        const uint16_t correction = kPhaseCorrection[(phase >> 8) & 7];
        const uint32_t step = (correction & 8) ? kSlowTick : kFastTick;
        const uint32_t to_cell_end = (kCellPhase - phase + step - 1) / step;
        const uint32_t ticks = std::min<uint32_t>(correction & 7, to_cell_end);
        table[phase] = {static_cast<uint16_t>(ticks * step), static_cast<uint8_t>(ticks)};
    }
    return table;  // from the end of the cell on, none
}
constexpr std::array<CorrectionTicks, kCellPhase + 1> kCorrectionTicks = correction_ticks_table();

constexpr std::array<uint16_t, 256> clk_table() {
    std::array<uint16_t, 256> table{};
    for (uint32_t f = 1; f < table.size(); ++f) table[f] = static_cast<uint16_t>(512000u / f);
    return table;
}

// 2^32 / f rounded up: a quotient of a phase difference (below 2^13) by f then comes
// out exact from a multiplication, without the division the separator would wait for.
constexpr std::array<uint64_t, 256> reciprocal_table() {
    std::array<uint64_t, 256> table{};
    for (uint64_t f = 1; f < table.size(); ++f) table[f] = (uint64_t{1} << 32) / f + 1;
    return table;
}
constexpr std::array<uint64_t, 256> kReciprocal = reciprocal_table();

// Ticks of `f` each until `phase_needed` is reached: the ceiling of the quotient.
uint32_t ticks_to_fill(uint32_t phase_needed, uint32_t f) {
    const uint32_t n = phase_needed + f - 1;
    if (f < kReciprocal.size() && n < (1u << 13)) return static_cast<uint32_t>((n * kReciprocal[f]) >> 32);
    return n / f;
}

// Plain ticks taken before the tick that reaches the transition: the smallest k for which
// (clock + kTickNs * (k + 1)) mod 2^32 >= target_ns. The clock wraps modulo 2^32 as the
// times do, so a target behind the clock, or one that the clock can only reach at the top
// of its range, takes the ticks of whole laps around the range (up to about 125 of them,
// until the laps' offsets bring a tick's end into [target_ns, 2^32)); they are counted lap
// by lap here instead of ticked through.
uint64_t plain_ticks_before(uint32_t clock, uint32_t target_ns) {
    constexpr uint64_t kRange = uint64_t{1} << 32;
    uint64_t c = clock;
    uint64_t taken = 0;
    for (;;) {
        // Ticks whose end stays inside this lap.
        const uint64_t in_lap = (kRange - 1 - c) / kTickNs;
        const uint64_t first_reaching = c + kTickNs >= target_ns ? 1 : (target_ns - c + kTickNs - 1) / kTickNs;
        if (first_reaching <= in_lap) return taken + first_reaching - 1;
        // The lap ends short of the target; the next tick's end wraps to the bottom.
        c += in_lap * kTickNs;
        taken += in_lap;
        const uint64_t wrapped = c + kTickNs - kRange;
        if (wrapped >= target_ns) return taken;
        c = wrapped;
        ++taken;
    }
}

// The frequency after `ticks` ticks of the correction `fc`, each a step up or down that
// stops at the end of the range (a frequency already past it stays where it is). The
// direction goes in as a sign, not a branch: it is as likely one way as the other.
uint32_t nudged(uint32_t f, uint32_t fc, uint32_t ticks) {
    const int32_t now = static_cast<int32_t>(f);
    const int32_t down = -static_cast<int32_t>((fc >> 3) & 1);  // all ones when downward
    const int32_t moved = now + ((static_cast<int32_t>(ticks) ^ down) - down);
    const int32_t lowest = now < kFreqMin ? now : kFreqMin;
    const int32_t highest = now > kFreqMax ? now : kFreqMax;
    return static_cast<uint32_t>(moved < lowest ? lowest : moved > highest ? highest : moved);
}

}  // namespace

const std::array<uint16_t, 256> PllState::kClkByFreq = clk_table();

// The flags always follow the counts (each tick sets them from the counts it leaves), so
// the ticks below read the counts and set the flags once, at the end.
uint16_t PllState::step(uint32_t target_ns, bool pll_off) {
    uint32_t clock = clock_ns;
    uint32_t f = freq;
    uint32_t ph = phase;
    uint32_t fc = freq_count;
    uint32_t pc = phase_count;
    uint32_t cells = 1;

    // One tick other than the transition's: the pending corrections act and run down by one.
    auto correct_freq = [&] {
        if (!pll_off) f = nudged(f, fc, (fc & 7) != 0);
    };
    auto phase_step = [&] {
        const uint32_t correction = (pc & 8) ? kSlowTick : kFastTick;
        return (pc & 7) ? correction : f;
    };
    auto correction_tick = [&] {
        clock += kTickNs;
        correct_freq();
        ph += phase_step();
        if (fc & 7) --fc;
        if (pc & 7) --pc;
    };

    // Up to the tick that reaches the transition. With no correction pending, the ticks
    // up to the one before the transition only add freq to the phase: they go in one
    // go, so a long gap (or a damaged dump's absurd interval, or a time that wraps)
    // costs no more than a short one.
    auto plain_ticks_to_transition = [&] {
        // The usual case, a transition ahead of the clock within its range, in one division.
        const uint32_t ticks_to_target = target_ns > clock ? (target_ns - clock + kTickNs - 1) / kTickNs : 0;
        const bool within_range = ticks_to_target != 0 && uint64_t{clock} + uint64_t{ticks_to_target} * kTickNs <= UINT32_MAX;
        const uint64_t skipped = within_range ? ticks_to_target - 1 : plain_ticks_before(clock, target_ns);
        const uint64_t total_phase = uint64_t{ph} + skipped * f;
        cells += static_cast<uint32_t>(total_phase / kCellPhase);
        ph = static_cast<uint32_t>(total_phase % kCellPhase);
        clock += static_cast<uint32_t>(skipped * kTickNs);
    };
    if ((fc & 7) == 0 && (pc & 7) == 0) {
        // Nearly always: the last transition's corrections ran out before its cell did,
        // and the transition's own tick is a plain one too.
        plain_ticks_to_transition();
        clock += kTickNs;
        ph += f;
    } else {
        for (;;) {
            if ((fc & 7) == 0 && (pc & 7) == 0) plain_ticks_to_transition();
            if (clock + kTickNs >= target_ns) break;
            correction_tick();
            if (ph >= kCellPhase) {
                ph -= kCellPhase;
                ++cells;
            }
        }
        clock += kTickNs;
        correct_freq();
        ph += phase_step();
    }

    // The transition's tick sets the corrections from where in the cell it fell.
    const uint32_t p = (ph >> 8) & 7;
    const uint32_t h = p >> 2;
    const uint8_t r = kRun[h][history & 3];
    history = static_cast<uint16_t>(h * 2 + history / 2);
    fc = kFreqCorrection[p][r];
    pc = kPhaseCorrection[p];

    // Then on to the end of the cell. The phase correction lasts at least as long as the
    // frequency one, so while it lasts every tick adds its fixed step to the phase,
    // whatever the frequency does: how many of those ticks come before the end of the
    // cell, and what they add, depend on the phase alone and are looked up.
    const CorrectionTicks& corrections = kCorrectionTicks[std::min(ph, uint32_t{kCellPhase})];
    const uint32_t k = corrections.ticks;
    ph += corrections.phase_added;
    clock += k * kTickNs;
    pc -= k;
    const uint32_t kf = std::min(k, fc & 7);
    fc -= kf;
    if (!pll_off) f = nudged(f, fc, kf);
    // Short of the end of the cell, both corrections are spent: plain ticks fill it.
    if (ph < kCellPhase) {
        const uint32_t ticks = ticks_to_fill(kCellPhase - ph, f);
        clock += ticks * kTickNs;
        ph += ticks * f;
    }

    clock_ns = clock;
    freq = static_cast<uint16_t>(f);
    phase = static_cast<uint16_t>(ph - kCellPhase);
    freq_count = static_cast<uint16_t>(fc);
    phase_count = static_cast<uint16_t>(pc);
    const bool freq_active = (fc & 7) != 0;
    freq_up = freq_active && !(fc & 8);
    freq_down = freq_active && (fc & 8);
    const bool phase_active = (pc & 7) != 0;
    phase_fast = phase_active && !(pc & 8);
    phase_slow = phase_active && (pc & 8);
    return static_cast<uint16_t>(cells);
}

}  // namespace quen
