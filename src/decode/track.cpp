#include "decode/track.h"

namespace quen {

void init_track_layout(TrackLayout& layout) { layout = TrackLayout{}; }
void close_area(DecoderState&, TrackLayout&) {}
void decode_track(TrackLayout& layout, FluxCursor&, uint8_t, ByteBuffer& buffer, const RunOptions&) {
    init_track_layout(layout);
    buffer.clear();
}

}  // namespace quen
