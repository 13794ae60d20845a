#include "decode/separator.h"

#include <algorithm>

namespace quen {
namespace {

// Reading on past the index stops at the end of a field; a few thousand intervals hold any.
constexpr uint32_t kOverrunChunk = 2048;
// Results computed per pass through the stages: their times and results stay in the
// first-level cache from one stage to the next.
constexpr size_t kBatch = 1024;

}  // namespace

SeparatorRun::SeparatorRun(const FluxCapture* stream, uint8_t revolution, bool pll_off, LargeArena& arena)
    : cursor_(stream), pll_(PllState{}, pll_off), arena_(arena) {
    cursor_.start(revolution);
    revolution_intervals_ = cursor_.count;
}

size_t SeparatorRun::extent_for(uint32_t i) const {
    // The whole revolution at once, past it a chunk at a time.
    const uint64_t wanted = std::max<uint64_t>(uint64_t{i} + 1, size_ < revolution_intervals_
                                                                    ? revolution_intervals_
                                                                    : size_ + kOverrunChunk);
    const uint64_t in_stream = size_ + (cursor_.stream->flux_count - static_cast<uint32_t>(cursor_.next));
    return static_cast<size_t>(std::min(wanted, in_stream));
}

void SeparatorRun::make_room(size_t to) {
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
}

// The loop works on copies: a store of a result could be one to the cursor or to the
// pointers as far as the compiler knows, which would have it read them back each time.
// extent_for() never reaches past the stream's last interval.
void SeparatorRun::read_times(size_t to) {
    FluxCursor cursor = cursor_;
    uint32_t total_ns = total_ns_;
    Step* s = steps_ + size_;
    cursor.read_ns(static_cast<uint32_t>(to - size_), [&](int32_t interval_ns) {
        total_ns += static_cast<uint32_t>(interval_ns);
        (s++)->total_ns = total_ns;
    });
    cursor_ = cursor;
    total_ns_ = total_ns;
}

bool SeparatorRun::extend(uint32_t i) {
    if (cursor_.at_end()) return false;
    const size_t to = extent_for(i);
    make_room(to);
    while (size_ < to) {
        const size_t end = std::min(to, size_ + kBatch);
        read_times(end);
        pll_.step_many(end - size_, targets(), results());
        size_ = end;
    }
    return i < to;
}

SeparatorRun& SeparatorRuns::from(uint8_t revolution) {
    std::unique_ptr<SeparatorRun>& run = runs_[revolution];
    if (!run) run = std::make_unique<SeparatorRun>(stream_, revolution, pll_off_, arena_);
    return *run;
}

}  // namespace quen
