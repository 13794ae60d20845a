#include "sector/fuzzy.h"

namespace quen {

std::optional<uint16_t> first_difference(const SectorLayout& own, const ByteBuffer& own_buffer,
                                         const ByteBuffer& pass_buffer) {
    const uint32_t n = own.area(AreaKind::DATA).bytes;
    const uint32_t k = own.data_start;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t at = k + i;
        if (at >= own_buffer.count) return std::nullopt;
        if (at >= pass_buffer.count || own_buffer.entries[at].data != pass_buffer.entries[at].data) {
            return static_cast<uint16_t>(i);
        }
    }
    return std::nullopt;
}

}  // namespace quen
