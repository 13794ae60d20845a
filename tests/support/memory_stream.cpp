#include "support/memory_stream.h"

namespace quen::testing {

std::unique_ptr<QuenStream> memory_stream(const std::vector<uint32_t>& intervals_ticks,
                                          const std::vector<IndexRecord>& index, double sck) {
    auto s = std::make_unique<QuenStream>();
    s->sck = sck;
    for (uint32_t v : intervals_ticks) s->flux.push_back(FluxItem{v, static_cast<uint32_t>(s->flux.size())});
    s->flux_count = static_cast<uint32_t>(intervals_ticks.size());
    s->flux.push_back(FluxItem{kTrailingTicks, s->flux_count});
    s->index = index;
    s->index_count = static_cast<uint32_t>(index.size());
    return s;
}

}  // namespace quen::testing
