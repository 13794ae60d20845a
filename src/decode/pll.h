// Digital PLL data separator: turns the time of each flux transition into bit cells.
#pragma once

#include <array>
#include <cstdint>

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
    uint16_t clk() const { return freq < kClkByFreq.size() ? kClkByFreq[freq] : static_cast<uint16_t>(512000u / freq); }

    // 512000 / freq for every value the register can take, without a division.
    static const std::array<uint16_t, 256> kClkByFreq;
};

}  // namespace quen
