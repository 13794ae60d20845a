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

}  // namespace quen
