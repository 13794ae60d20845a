#include "stream/stream.h"

#include <algorithm>

namespace quen {

int QuenStream::resolve_indexes() {
    const uint32_t n = index_count;
    const uint32_t f = flux_count;
    if (n == 0 || f == 0) return kStreamOk;
    // The placement may read the trailing entry behind the last interval.
    if (index.size() < n || flux.size() < static_cast<size_t>(f) + 1) return kStreamIndexUnresolved;

    uint32_t placed = 0;
    uint32_t target = index[0].stream_pos;
    uint32_t ticks_since_pulse = 0;
    for (uint32_t j = 0; j < f && placed < n; ++j) {
        // The interval whose end reaches the pulse is looked for by halves, as the stream
        // positions rise from interval to interval; up to it only the time is taken, a
        // plain sum, for a revolution holds some forty thousand intervals.
        const FluxItem* const first = flux.data() + j;
        const auto before_pulse = [target](const FluxItem& i) { return i.stream_pos < target; };
        const FluxItem* const item = std::partition_point(first + 1, first + (f - j), before_pulse) - 1;
        uint32_t ticks = 0;
        for (const FluxItem* i = first; i != item; ++i) ticks += i->value;
        ticks_since_pulse += ticks + item->value;
        j = static_cast<uint32_t>(item - flux.data());
        if (flux[j + 1].stream_pos < target) continue;
        const uint32_t c = (j == 0 && flux[0].stream_pos >= target) ? 0 : j + 1;

        IndexRecord& rec = index[placed];
        rec.flux_index = c;
        uint32_t v = flux[c].value;
        if (rec.sample_counter == 0) rec.sample_counter = v % 65536;
        // A pulse at the very end of the stream lengthens the time kept after the last transition.
        if (c == f && flux[c].stream_pos == target) {
            v += rec.sample_counter;
            flux[c].value = v;
        }
        // Every stream byte between the Index block's position and the flux block that ends the
        // interval is taken for one Ovl16 block, so there cannot be more of them than overflows.
        const uint32_t bytes_before_end = flux[c].stream_pos - target;
        const uint32_t overflows = v / 65536;
        if (overflows < bytes_before_end) return kStreamIndexUnresolved;
        rec.pre_index = (overflows - bytes_before_end) * 65536 + rec.sample_counter;
        rec.post_index = v - rec.pre_index;

        const uint32_t since_previous =
            ticks_since_pulse - (placed != 0 ? index[placed - 1].pre_index : 0);
        rec.rev_time = rec.pre_index + (c != 0 ? since_previous : 0);

        ++placed;
        target = placed < n ? index[placed].stream_pos : 0;
        // Interval c is added whole by the next step; its part before this pulse is taken
        // off at the next placement.
        if (c != 0) ticks_since_pulse = 0;
    }
    return placed < n ? kStreamIndexUnresolved : kStreamOk;
}

}  // namespace quen
