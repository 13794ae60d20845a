#include "decode/pll.h"

#include <cstdint>

namespace quen {
namespace {

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

constexpr uint16_t kCellPhase = 2048;
constexpr uint16_t kFreqMin = 116;
constexpr uint16_t kFreqMax = 140;
constexpr uint16_t kSlowTick = 29;
constexpr uint16_t kFastTick = 227;
constexpr uint32_t kTickNs = 125;

bool correcting(const PllState& s) {
    return (s.freq_count & 7) != 0 || (s.phase_count & 7) != 0 || s.freq_up || s.freq_down || s.phase_slow ||
           s.phase_fast;
}

// The part of a tick every tick shares: the frequency correction and the phase advance.
void advance(PllState& s, bool pll_off) {
    if (!pll_off) {
        if (s.freq_up && s.freq < kFreqMax) ++s.freq;
        if (s.freq_down && s.freq > kFreqMin) --s.freq;
    }
    s.phase = static_cast<uint16_t>(s.phase + (s.phase_slow ? kSlowTick : s.phase_fast ? kFastTick : s.freq));
}

void set_flags(PllState& s) {
    const bool freq_active = (s.freq_count & 7) != 0;
    s.freq_up = freq_active && !(s.freq_count & 8);
    s.freq_down = freq_active && (s.freq_count & 8);
    const bool phase_active = (s.phase_count & 7) != 0;
    s.phase_fast = phase_active && !(s.phase_count & 8);
    s.phase_slow = phase_active && (s.phase_count & 8);
}

// A tick that is not the transition's: the pending corrections run down by one.
void plain_tick(PllState& s, bool pll_off) {
    s.clock_ns += kTickNs;
    advance(s, pll_off);
    if (s.freq_count & 7) --s.freq_count;
    if (s.phase_count & 7) --s.phase_count;
    set_flags(s);
}

}  // namespace

uint16_t PllState::step(uint32_t target_ns, bool pll_off) {
    uint32_t cells = 1;
    // Up to the tick that reaches the transition. With no correction pending, the ticks
    // up to the one before the transition only add freq to the phase: they go in one
    // go, so a long gap (or a damaged dump's absurd interval) costs no more than a short one.
    for (;;) {
        if (!correcting(*this) && target_ns > clock_ns) {
            const uint32_t ticks_to_target = (target_ns - clock_ns + kTickNs - 1) / kTickNs;
            const uint64_t end_ns = uint64_t{clock_ns} + uint64_t{ticks_to_target} * kTickNs;
            if (ticks_to_target > 1 && end_ns <= UINT32_MAX) {
                const uint32_t skipped = ticks_to_target - 1;
                const uint64_t total_phase = uint64_t{phase} + uint64_t{skipped} * freq;
                cells += static_cast<uint32_t>(total_phase / kCellPhase);
                phase = static_cast<uint16_t>(total_phase % kCellPhase);
                clock_ns += skipped * kTickNs;
            }
        }
        if (clock_ns + kTickNs >= target_ns) break;
        plain_tick(*this, pll_off);
        if (phase >= kCellPhase) {
            phase = static_cast<uint16_t>(phase - kCellPhase);
            ++cells;
        }
    }

    // The transition's tick sets the corrections from where in the cell it fell.
    clock_ns += kTickNs;
    advance(*this, pll_off);
    const uint16_t p = (phase >> 8) & 7;
    const uint16_t h = p >> 2;
    const uint8_t r = kRun[h][history & 3];
    history = static_cast<uint16_t>(h * 2 + history / 2);
    freq_count = kFreqCorrection[p][r];
    phase_count = kPhaseCorrection[p];
    set_flags(*this);

    // Then on to the end of the cell: the corrections tick by tick, the plain ticks
    // after them in one go.
    while (phase < kCellPhase) {
        if (!correcting(*this)) {
            const uint32_t ticks = (kCellPhase - phase + freq - 1u) / freq;
            clock_ns += ticks * kTickNs;
            phase = static_cast<uint16_t>(phase + ticks * freq);
            break;
        }
        plain_tick(*this, pll_off);
    }
    phase = static_cast<uint16_t>(phase - kCellPhase);
    return static_cast<uint16_t>(cells);
}

}  // namespace quen
