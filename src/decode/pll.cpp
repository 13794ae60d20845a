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

}  // namespace

uint16_t PllState::step(uint32_t target_ns, bool pll_off) {
    uint32_t cells = 1;
    bool reached = false;
    for (;;) {
        // With no correction pending, the ticks up to the one before the transition only
        // add freq to the phase: take them in one go. The result is the same as ticking
        // through them, but a long gap (or a damaged dump's absurd interval) costs no more
        // than a short one.
        if (!reached && (freq_count & 7) == 0 && (phase_count & 7) == 0 && !freq_up && !freq_down &&
            !phase_slow && !phase_fast && target_ns > clock_ns) {
            const uint32_t ticks_to_target = (target_ns - clock_ns + 124) / 125;
            const uint64_t end_ns = uint64_t{clock_ns} + uint64_t{ticks_to_target} * 125;
            if (ticks_to_target > 1 && end_ns <= UINT32_MAX) {
                const uint32_t skipped = ticks_to_target - 1;
                const uint64_t total_phase = uint64_t{phase} + uint64_t{skipped} * freq;
                cells += static_cast<uint32_t>(total_phase / kCellPhase);
                phase = static_cast<uint16_t>(total_phase % kCellPhase);
                clock_ns += skipped * 125;
            }
        }
        clock_ns += 125;
        const bool transition_tick = !reached && clock_ns >= target_ns;
        if (transition_tick) reached = true;

        if (!pll_off) {
            if (freq_up && freq < kFreqMax) ++freq;
            if (freq_down && freq > kFreqMin) --freq;
        }

        phase = static_cast<uint16_t>(phase + (phase_slow ? kSlowTick : phase_fast ? kFastTick : freq));

        if (transition_tick) {
            const uint16_t p = (phase >> 8) & 7;
            const uint16_t h = p >> 2;
            const uint8_t r = kRun[h][history & 3];
            history = static_cast<uint16_t>(h * 2 + history / 2);
            freq_count = kFreqCorrection[p][r];
            phase_count = kPhaseCorrection[p];
        } else {
            if (freq_count & 7) --freq_count;
            if (phase_count & 7) --phase_count;
        }

        const bool freq_active = (freq_count & 7) != 0;
        freq_up = freq_active && !(freq_count & 8);
        freq_down = freq_active && (freq_count & 8);
        const bool phase_active = (phase_count & 7) != 0;
        phase_fast = phase_active && !(phase_count & 8);
        phase_slow = phase_active && (phase_count & 8);

        if (phase >= kCellPhase) {
            phase = static_cast<uint16_t>(phase - kCellPhase);
            if (reached) return static_cast<uint16_t>(cells);
            ++cells;
        }
    }
}

}  // namespace quen
