#include "stream/cursor.h"

namespace quen {

void FluxCursor::start(uint8_t r) {
    flux = stream->flux.empty() ? nullptr : stream->flux.data();
    const IndexRecord& from = stream->index[r];
    const IndexRecord& to = stream->index[r + 1u];
    next = static_cast<int32_t>(from.flux_index);
    pending_offset = from.pre_index;
    count = to.flux_index - from.flux_index;
    const double t = static_cast<double>(to.rev_time);
    const double sck = stream->sck;
    // A revolution without any time gets the factor 0 rather than inf or nan.
    ns_per_sample = to.rev_time == 0 ? 0.0 : (0.2 / (t / sck)) * (1e9 / sck);
}

bool FluxCursor::at_end() const {
    return flux == nullptr || next < 0 || static_cast<uint32_t>(next) >= stream->flux_count;
}

int32_t FluxCursor::next_ns() {
    if (at_end()) return 0;
    uint32_t v = flux[next].value;
    if (pending_offset != 0) {
        v -= pending_offset;
        pending_offset = 0;
    }
    ++next;
    double ns = static_cast<double>(v) * ns_per_sample;
    // An absurd sample clock must not turn into an undefined conversion.
    if (!(ns >= 0.0 && ns < 9.0e18)) ns = 0.0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(ns)));
}

}  // namespace quen
