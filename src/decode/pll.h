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
};

template <class NextTarget, class Take>
void PllStepper::step_many(size_t count, NextTarget next_target, Take take) {
    using namespace pll;
    // The clock only ever moves by whole ticks, so it is kept as the ticks taken since a
    // base time: the ticks from the base to a transition then follow from the
    // transition's time alone, and the division they take stays out of the chain that
    // leads from one transition to the next.
    uint32_t base_ns = 0;
    uint32_t ticks_taken = 0;
    uint32_t last_tick = 0;  // the most ticks from the base before the clock's range ends
    auto rebase = [&](uint32_t clock_ns) {
        base_ns = clock_ns;
        ticks_taken = 0;
        last_tick = (UINT32_MAX - clock_ns) / kTickNs;
    };
    rebase(lane_.clock_ns);
    // Each in a local of its own: a lane whose address is never taken stays in registers.
    uint32_t ph = lane_.phase;
    uint32_t f = lane_.freq;
    uint32_t fc = lane_.freq_count;
    uint32_t pc = lane_.phase_count;
    uint32_t history = lane_.history;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t target_ns = next_target();
        // Ticks from the base to the first that reaches the transition.
        const uint32_t to_target =
            target_ns > base_ns ? static_cast<uint32_t>((uint64_t{target_ns} - base_ns + kTickNs - 1) / kTickNs) : 0;
        const uint32_t ticks = to_target - ticks_taken;
        // Both the fill of the last cell and the plain ticks after it add freq.
        const uint64_t before_transition = uint64_t{ph} + (uint64_t{ticks} - 1) * f;
        uint32_t cells;
        // The usual case: no correction pending, and the transition ahead of the clock,
        // past the end of the cell and short of the top of the clock's range.
        if (((fc | pc) & 7) == 0 && to_target > ticks_taken && to_target <= last_tick &&
            before_transition >= kCellPhase) {
            cells = static_cast<uint32_t>(before_transition / kCellPhase);
            // The transition's own tick adds freq once more.
            const Settled settled =
                settle_transition(static_cast<uint32_t>(before_transition % kCellPhase) + f, f, history, pll_off_);
            ticks_taken = to_target + settled.ticks;
            ph = settled.ph;
            f = settled.f;
            fc = settled.fc;
            pc = settled.pc;
            history = settled.history;
        } else {
            // The clock wraps modulo 2^32 as step() keeps it.
            const Stepped stepped = stepped_slowly(base_ns + ticks_taken * kTickNs, ph, f, fc, pc, history,
                                                   target_ns, pll_off_);
            rebase(stepped.lane.clock_ns);
            ph = stepped.lane.phase;
            f = stepped.lane.freq;
            fc = stepped.lane.freq_count;
            pc = stepped.lane.phase_count;
            history = stepped.lane.history;
            cells = stepped.cells;
        }
        take(static_cast<uint16_t>(cells), PllState::clk_of(f));
    }
    lane_ = Lane{base_ns + ticks_taken * kTickNs, ph, f, fc, pc, history};
}

}  // namespace quen
