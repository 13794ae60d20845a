#include "sector/sector.h"

namespace quen {

bool decode_sector(FluxCursor&, SectorLayout& layout, uint8_t, uint8_t, uint32_t, ByteBuffer& buffer, const RunOptions&) {
    layout = SectorLayout{};
    buffer.clear();
    return false;
}

bool analyse_sector(SectorLayout& layout, ByteBuffer& buffer, FluxCursor& cursor, uint8_t revolution,
                    uint8_t wanted_sector, uint32_t expected_pos_ns, const RunOptions& opts) {
    return decode_sector(cursor, layout, revolution, wanted_sector, expected_pos_ns, buffer, opts);
}

}  // namespace quen
