#include "decode/pll.h"

#include <cstdint>

namespace quen {

using namespace pll;

namespace {

constexpr std::array<uint16_t, 256> clk_table() {
    std::array<uint16_t, 256> table{};
    for (uint32_t f = 1; f < table.size(); ++f) table[f] = static_cast<uint16_t>(512000u / f);
    return table;
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

    const Settled settled = settle_transition(ph, f, history, pll_off);
    ph = settled.ph;
    clock += settled.ticks * kTickNs;
    f = settled.f;
    fc = settled.fc;
    pc = settled.pc;
    history = static_cast<uint16_t>(settled.history);
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
    set_flags();
    return static_cast<uint16_t>(cells);
}

void PllState::set_flags() {
    const bool freq_active = (freq_count & 7) != 0;
    freq_up = freq_active && !(freq_count & 8);
    freq_down = freq_active && (freq_count & 8);
    const bool phase_active = (phase_count & 7) != 0;
    phase_fast = phase_active && !(phase_count & 8);
    phase_slow = phase_active && (phase_count & 8);
}

PllStepper::Lane PllStepper::lane_of(const PllState& state) {
    // The cell ended where step() left the clock.
    return {state.clock_ns, uint32_t{state.phase} + kCellPhase, state.freq, state.freq_count, state.phase_count,
            state.history};
}

PllState PllStepper::state_of(const Lane& lane) {
    PllState state;
    uint32_t clock = lane.clock_ns;
    uint32_t ph = lane.phase;
    // Short of the end of the cell, both corrections are spent: plain ticks fill it.
    if (ph < kCellPhase) {
        const uint32_t ticks = ticks_to_fill(kCellPhase - ph, lane.freq);
        clock += ticks * kTickNs;
        ph += ticks * lane.freq;
    }
    state.clock_ns = clock;
    state.phase = static_cast<uint16_t>(ph - kCellPhase);
    state.freq = static_cast<uint16_t>(lane.freq);
    state.freq_count = static_cast<uint16_t>(lane.freq_count);
    state.phase_count = static_cast<uint16_t>(lane.phase_count);
    state.history = static_cast<uint16_t>(lane.history);
    state.set_flags();
    return state;
}

PllState PllStepper::state() const { return state_of(lane_); }

PllStepper::Stepped PllStepper::stepped_slowly(uint32_t clock_ns, uint32_t phase, uint32_t freq, uint32_t freq_count,
                                               uint32_t phase_count, uint32_t history, uint32_t target_ns, bool pll_off) {
    PllState full = state_of({clock_ns, phase, freq, freq_count, phase_count, history});
    const uint16_t cells = full.step(target_ns, pll_off);
    return {lane_of(full), cells};
}

}  // namespace quen
