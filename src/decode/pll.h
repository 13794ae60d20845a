// Digital PLL data separator: turns the time of each flux transition into bit cells.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "decode/pll_rules.h"

namespace quen {

struct PllState {
    uint32_t clock_ns = 0;
    uint8_t freq_up = 0;
    uint8_t freq_down = 0;
    uint8_t phase_slow = 0;
    uint8_t phase_fast = 0;
    uint16_t freq = 128;
    uint16_t phase = 0;
    uint16_t history = 0;
    uint16_t freq_count = 0;
    uint16_t phase_count = 0;

    // Advances to the transition at absolute time target_ns and returns the number of
    // cells since the previous transition (modulo 65536). With pll_off the frequency
    // register is frozen; the phase corrections still act.
    uint16_t step(uint32_t target_ns, bool pll_off);
    // Bit period (two cells) in ns for the current frequency register.
    uint16_t clk() const { return clk_of(freq); }

    static uint16_t clk_of(uint32_t freq) {
        return freq < kClkByFreq.size() ? kClkByFreq[freq] : static_cast<uint16_t>(512000u / freq);
    }
    // 512000 / freq for every value the register can take, without a division.
    static const std::array<uint16_t, 256> kClkByFreq;
    // Sets the flags from the counts, as every tick leaves them.
    void set_flags();
};

// Steps the separator from transition to transition with the results of PllState::step,
// in less time. Between transitions step() keeps the state at the end of the last cell,
// which the plain ticks that fill the cell reach through a division that the next
// transition has to wait for. Here the state is kept where the last transition's
// corrections ended instead: from there, the cells up to the next transition follow from
// the ticks to it in one go, whatever the fill took.
class PllStepper {
public:
    PllStepper(const PllState& state, bool pll_off) : pll_off_(pll_off) { lane_ = lane_of(state); }

    // Steps through `count` transitions, the time of each from next_target(), and hands
    // each one's cells and bit period after it to take(cells, clk).
    template <class NextTarget, class Take>
    void step_many(size_t count, NextTarget next_target, Take take);
    // One transition, as PllState::step.
    uint16_t step(uint32_t target_ns) {
        uint16_t cells = 0;
        step_many(1, [&] { return target_ns; }, [&](uint16_t c, uint16_t) { cells = c; });
        return cells;
    }
    uint16_t clk() const { return PllState::clk_of(lane_.freq); }
    // The state as PllState::step leaves it.
    PllState state() const;

private:
    // Where the last transition's corrections ended. A phase at or past a whole cell means
    // the cell ended there, perhaps with corrections still to come.
    struct Lane {
        uint32_t clock_ns;
        uint32_t phase;
        uint32_t freq;
        uint32_t freq_count;
        uint32_t phase_count;
        uint32_t history;
    };
    struct Stepped {
        Lane lane;
        uint16_t cells;
    };
    // A lane while the loops step it. The clock only ever moves by whole ticks, so it is
    // kept as the ticks taken since a base time: the ticks from the base to a transition
    // then follow from the transition's time alone, and the division they take stays out
    // of the chain that leads from one transition to the next.
    //
    // The values each transition's result waits on are locals of the loop, each of its
    // own: a lane whose address is never taken stays in registers.
    struct Chain {
        uint32_t ticks_taken;
        uint32_t ph;
        uint32_t f;
        uint32_t history;
    };
    // The rest stay in the stepper, in memory: only the test for the usual case reads
    // them, a test the processor predicts rather than waits for. Left to itself, the
    // compiler would give them registers too and, short of registers, spill
    // values of the chain instead.
    struct Beside {
        uint32_t base_ns;
        uint32_t last_tick;  // the most ticks from the base before the clock's range ends
        uint32_t counts;     // freq_count | phase_count << 16
    };
    Chain start_walk(const Lane& lane) {
        beside_ = {lane.clock_ns, (UINT32_MAX - lane.clock_ns) / pll::kTickNs,
                   (lane.freq_count & 0xFFFF) | lane.phase_count << 16};
        return {0, lane.phase, lane.freq, lane.history};
    }
    Lane end_walk(const Chain& c) const {
        return {beside_.base_ns + c.ticks_taken * pll::kTickNs, c.ph, c.f, beside_.counts & 0xFFFF,
                beside_.counts >> 16, c.history};
    }
    // The transition at target_ns; returns its cells. The setting is fixed for a whole
    // loop, so it is no value the loop has to keep.
    template <bool kPllOff>
    uint32_t walk_to(Chain& c, uint32_t target_ns);
    template <bool kPllOff, class NextTarget, class Take>
    void walk_many(size_t count, NextTarget next_target, Take take);
    static Lane lane_of(const PllState& state);
    static PllState state_of(const Lane& lane);
    // Corrections pending, a transition behind the clock or inside the last cell, or a
    // clock about to wrap: step() takes those, from the state it would have left.
    // The lane goes in as separate values: gathered into one, the compiler would keep it
    // packed in a vector register through the usual case too.
    static Stepped stepped_slowly(uint32_t clock_ns, uint32_t phase, uint32_t freq, uint32_t freq_count,
                                  uint32_t phase_count, uint32_t history, uint32_t target_ns, bool pll_off);

    bool pll_off_;
    Lane lane_;
    Beside beside_{};
};

template <bool kPllOff>
inline uint32_t PllStepper::walk_to(Chain& c, uint32_t target_ns) {
    using namespace pll;
    // Ticks from the base to the first that reaches the transition.
    const uint32_t base_ns = beside_.base_ns;
    const uint32_t to_target = target_ns > base_ns ? ticks_to_cover(target_ns - base_ns) : 0;
    const uint32_t ticks = to_target - c.ticks_taken;
    // Both the fill of the last cell and the plain ticks after it add freq.
    const uint64_t before_transition = uint64_t{c.ph} + (uint64_t{ticks} - 1) * c.f;
    // The usual case: no correction pending, and the transition ahead of the clock,
    // past the end of the cell and short of the top of the clock's range.
    if ((beside_.counts & 0x70007) == 0 && to_target > c.ticks_taken && to_target <= beside_.last_tick &&
        before_transition >= kCellPhase) {
        // The transition's own tick adds freq once more.
        const Settled settled =
            settle_small_freq(static_cast<uint32_t>(before_transition % kCellPhase) + c.f, c.f, c.history, kPllOff);
        c = {to_target + settled.ticks, settled.ph, settled.f, settled.history};
        beside_.counts = settled.fc | settled.pc << 16;
        return static_cast<uint32_t>(before_transition / kCellPhase);
    }
    // The clock wraps modulo 2^32 as step() keeps it.
    const Lane lane = end_walk(c);
    const Stepped stepped = stepped_slowly(lane.clock_ns, lane.phase, lane.freq, lane.freq_count, lane.phase_count,
                                           lane.history, target_ns, kPllOff);
    c = start_walk(stepped.lane);
    return stepped.cells;
}

template <bool kPllOff, class NextTarget, class Take>
void PllStepper::walk_many(size_t count, NextTarget next_target, Take take) {
    if (lane_.freq >= pll::kSmallFreq) {
        // A register set beyond any the separator reaches by itself: step() takes every transition.
        for (size_t i = 0; i < count; ++i) {
            const Lane& l = lane_;
            const Stepped stepped = stepped_slowly(l.clock_ns, l.phase, l.freq, l.freq_count, l.phase_count,
                                                   l.history, next_target(), kPllOff);
            lane_ = stepped.lane;
            take(stepped.cells, clk());
        }
        return;
    }
    // Below kSmallFreq the register stays below it, and its bit period is a look-up.
    static_assert(pll::kSmallFreq <= PllState::kClkByFreq.size());
    Chain c = start_walk(lane_);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t cells = walk_to<kPllOff>(c, next_target());
        take(static_cast<uint16_t>(cells), PllState::kClkByFreq[c.f]);
    }
    lane_ = end_walk(c);
}

template <class NextTarget, class Take>
void PllStepper::step_many(size_t count, NextTarget next_target, Take take) {
    if (pll_off_) {
        walk_many<true>(count, next_target, take);
    } else {
        walk_many<false>(count, next_target, take);
    }
}

}  // namespace quen
