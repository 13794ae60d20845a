// A compact picture of one revolution's flux timing: the intervals' histogram and a
// scatter of interval length against time from the index, thinned to a fixed grid so
// that its size does not grow with the revolution.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "decode/separator.h"

namespace quen {

struct FluxTiming {
    // 50 ns bins from 0 to 12.8 us: the 4, 6 and 8 us peaks of double density and the
    // long intervals past them; the last bin takes every longer interval too.
    static constexpr uint32_t kBinNs = 50;
    static constexpr size_t kBins = 256;
    // The scatter: columns across the revolution, rows of 100 ns over the same range,
    // the top row again taking everything longer (no-flux areas).
    static constexpr size_t kColumns = 600;
    static constexpr uint32_t kRowNs = 100;
    static constexpr size_t kRows = 128;
    using Column = std::array<uint64_t, kRows / 64>;  // bit r: an interval fell into row r

    uint32_t revolution_ns = 0;  // time from the index to the last transition
    uint32_t intervals = 0;
    std::array<uint32_t, kBins> histogram{};
    std::array<Column, kColumns> scatter{};

    void add(uint32_t at_ns, int32_t interval_ns);
    bool occupied(size_t column, size_t row) const { return (scatter[column][row / 64] >> (row % 64) & 1) != 0; }
};

// The timing of the intervals between the run's index and the next one.
FluxTiming summarise_flux_timing(SeparatorRun& run);

}  // namespace quen
