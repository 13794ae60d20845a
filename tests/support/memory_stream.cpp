#include "support/memory_stream.h"

#include <utility>

namespace quen::testing {

Decoded decode_bytes(const std::vector<uint8_t>& bytes) {
    auto s = std::make_unique<QuenStream>();
    // A copy of exactly the given length, so that the sanitizer sees any read past it.
    std::unique_ptr<uint8_t[]> copy(bytes.empty() ? nullptr : new uint8_t[bytes.size()]);
    for (size_t i = 0; i < bytes.size(); ++i) copy[i] = bytes[i];
    s->data = copy.get();
    s->data_len = static_cast<uint32_t>(bytes.size());
    const int code = s->decode();
    s->data = nullptr;
    return Decoded{code, std::move(s)};
}

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
