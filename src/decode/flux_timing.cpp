#include "decode/flux_timing.h"

#include <algorithm>

namespace quen {

void FluxTiming::add(uint32_t at_ns, int32_t interval_ns) {
    // A negative interval only comes from a sum that wrapped: it is no length to show.
    const uint32_t length_ns = interval_ns < 0 ? 0 : static_cast<uint32_t>(interval_ns);
    ++intervals;
    ++histogram[std::min<size_t>(length_ns / kBinNs, kBins - 1)];
    if (revolution_ns == 0) return;
    const size_t column = std::min<size_t>(static_cast<uint64_t>(at_ns) * kColumns / revolution_ns, kColumns - 1);
    const size_t row = std::min<size_t>(length_ns / kRowNs, kRows - 1);
    scatter[column][row / 64] |= uint64_t{1} << (row % 64);
}

FluxTiming summarise_flux_timing(SeparatorRun& run) {
    FluxTiming timing;
    const uint32_t n = run.revolution_intervals();
    if (n == 0 || !run.has(n - 1)) return timing;
    timing.revolution_ns = run.get(n - 1).total_ns;
    for (uint32_t i = 0; i < n; ++i) {
        const SeparatedInterval s = run.get(i);
        timing.add(s.total_ns, s.interval_ns);
    }
    return timing;
}

}  // namespace quen
