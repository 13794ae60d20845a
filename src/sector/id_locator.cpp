#include "sector/id_locator.h"

namespace quen {

uint8_t locate_ids(FluxCursor&, uint8_t, IdLayout& layout, ByteBuffer& id_buffer, const RunOptions&) {
    layout = IdLayout{};
    id_buffer.clear();
    return 0;
}

}  // namespace quen
