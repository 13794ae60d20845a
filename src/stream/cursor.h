// Hands out the intervals of one revolution as nanoseconds normalised to a 200 ms turn.
#pragma once

#include <cstdint>

#include "stream/capture.h"

namespace quen {

struct FluxCursor {
    explicit FluxCursor(const FluxCapture* s) : stream(s) {}

    // Prepares the cursor for 0-based revolution r (0 <= r <= index_count - 2).
    void start(uint8_t r);
    // True when no real interval is left in the stream (the trailing entry is never handed out).
    bool at_end() const {
        return flux == nullptr || next < 0 || static_cast<uint32_t>(next) >= stream->flux_count;
    }
    // The next interval in normalised ns; 0 without moving when at_end().
    int32_t next_ns() {
        if (at_end()) return 0;
        int32_t ns = 0;
        read_ns(1, [&ns](int32_t interval_ns) { ns = interval_ns; });
        return ns;
    }
    // Hands the next `count` intervals in normalised ns to take(ns), one after the other.
    // The stream must hold them all: count is at most flux_count - next, and 0 at_end().
    template <class Take>
    void read_ns(uint32_t count, Take take) {
        if (count == 0) return;
        const FluxItem* item = flux + next;
        next += static_cast<int32_t>(count);
        take(ns_of(item->value - pending_offset));
        pending_offset = 0;
        for (const FluxItem* const end = item + count; ++item != end;) take(ns_of(item->value));
    }
    // `ticks` of the sample clock in normalised ns.
    int32_t ns_of(uint32_t ticks) const {
        double ns = static_cast<double>(ticks) * ns_per_sample;
        // An absurd sample clock must not turn into an undefined conversion.
        if (!(ns >= 0.0 && ns < 9.0e18)) ns = 0.0;
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(ns)));
    }

    const FluxCapture* stream = nullptr;
    const FluxItem* flux = nullptr;
    int32_t next = 0;
    uint32_t count = 0;
    double ns_per_sample = 0.0;
    // Ticks to take off the next interval handed out (the part before the index pulse).
    // Kept per cursor so that runs in one process cannot see each other's value.
    uint32_t pending_offset = 0;
};

}  // namespace quen
