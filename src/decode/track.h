// Track decoder: the whole revolution cut into gaps, index mark, ID and data fields.
#pragma once

#include <cstdint>
#include <vector>

#include "base/options.h"
#include "decode/layouts.h"
#include "decode/records.h"
#include "decode/separator.h"
#include "stream/cursor.h"

namespace quen {

// Room in the track buffer for a revolution of that many intervals: a revolution
// of well-formed MFM never makes the buffer grow, one with longer stretches may.
uint16_t track_buffer_entries(uint32_t revolution_intervals);

void init_track_layout(TrackLayout& layout);
// Decodes the revolution whose separator results `run` holds.
void decode_track(TrackLayout& layout, SeparatorRun& run, ByteBuffer& buffer, const RunOptions& opts);

}  // namespace quen
