#include "decode/separator.h"

#include <algorithm>

#include "decode/mfm.h"
#include "decode/records.h"

namespace quen {
namespace {

// Reading on past the index stops at the end of a field; a few thousand intervals hold any.
constexpr uint32_t kOverrunChunk = 2048;

}  // namespace

uint8_t classify_interval(int32_t interval_ns, uint16_t cells, uint16_t clk) {
    if (cells > kNoFluxCells) return kIntervalNoFlux;
    uint8_t classes = in_border_window(clk, interval_ns, cells) ? kIntervalBorder : 0;
    if (cells < 2) classes |= kIntervalShort;
    if (cells > 4) classes |= kIntervalLong;
    return classes;
}

SeparatorRun::SeparatorRun(const FluxCapture* stream, uint8_t revolution, bool pll_off, LargeArena& arena)
    : cursor_(stream), pll_(PllState{}, pll_off), arena_(arena) {
    cursor_.start(revolution);
    revolution_intervals_ = cursor_.count;
}

bool SeparatorRun::extend(uint32_t i) {
    if (cursor_.at_end()) return false;
    // The whole revolution at once, past it a chunk at a time.
    const uint64_t wanted = std::max<uint64_t>(uint64_t{i} + 1, size_ < revolution_intervals_
                                                                    ? revolution_intervals_
                                                                    : size_ + kOverrunChunk);
    const uint64_t in_stream = size_ + (cursor_.stream->flux_count - static_cast<uint32_t>(cursor_.next));
    const size_t to = static_cast<size_t>(std::min(wanted, in_stream));
    if (capacity_ < to) {
        // The room outgrown stays in the arena until the analysis ends: at most as much again.
        const size_t capacity = std::max(to, 2 * capacity_);
        auto* steps = static_cast<Step*>(arena_.allocate(capacity * sizeof(Step)));
        auto* classes = static_cast<uint8_t*>(arena_.allocate(capacity));
        std::copy_n(steps_, size_, steps);
        std::copy_n(classes_, size_, classes);
        steps_ = steps;
        classes_ = classes;
        capacity_ = capacity;
    }
    Step* step = steps_ + size_;
    uint8_t* classes = classes_ + size_;
    int32_t interval_ns = 0;
    uint32_t total_ns = total_ns_;
    pll_.step_many(
        to - size_,
        [&] {
            interval_ns = cursor_.next_ns();
            return total_ns += static_cast<uint32_t>(interval_ns);
        },
        [&](uint16_t cells, uint16_t clk) {
            *step++ = {total_ns, cells, clk};
            *classes++ = classify_interval(interval_ns, cells, clk);
        });
    total_ns_ = total_ns;
    size_ = to;
    return i < to;
}

SeparatorRun& SeparatorRuns::from(uint8_t revolution) {
    std::unique_ptr<SeparatorRun>& run = runs_[revolution];
    if (!run) run = std::make_unique<SeparatorRun>(stream_, revolution, pll_off_, arena_);
    return *run;
}

}  // namespace quen
