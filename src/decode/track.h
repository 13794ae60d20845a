// Track decoder: the whole revolution cut into gaps, index mark, ID and data fields.
#pragma once

#include <cstdint>
#include <vector>

#include "base/options.h"
#include "decode/records.h"
#include "decode/separator.h"
#include "stream/cursor.h"

namespace quen {

struct SectorSlot {
    AreaSet areas{};
    uint8_t used = 0;
    uint8_t T = 0;
    uint8_t H = 0;
    uint8_t S = 0;
    uint8_t Z = 2;
    uint16_t id_crc = 0;
    uint16_t data_crc = 0;

    AreaInfo& area(AreaKind k) { return areas[area_index(k)]; }
    const AreaInfo& area(AreaKind k) const { return areas[area_index(k)]; }
};

struct TrackLayout {
    // Slot 0 holds GAP1, IAM and GAP1a; sectors follow from slot 1 on. Starts with
    // kInitialSlots and grows so that every sector gets its own slot, up to kMaxSlots.
    static constexpr size_t kInitialSlots = 25;
    static constexpr size_t kMaxSlots = 256;

    std::vector<SectorSlot> slots;
    uint32_t total_ns = 0;
    uint32_t byte_start_ns = 0;
    uint16_t byte_count = 0;
    uint8_t synch_good = 0;
    uint8_t synch_bad = 0;
    uint8_t data_good = 0;
    uint8_t data_bad = 0;
    uint8_t id_good = 0;
    uint8_t id_bad = 0;
    uint32_t noflux_ns = 0;
};

// Visits slot 0 and the sector slots after it, up to the first slot not in use: the
// readers of a layout never look beyond it.
template <class Visit>
void for_each_used_slot(const TrackLayout& track, Visit&& visit) {
    for (size_t i = 0; i < track.slots.size() && track.slots[i].used != 0; ++i) visit(i, track.slots[i]);
}

// Room in the track buffer for a revolution of that many intervals: a revolution
// of well-formed MFM never makes the buffer grow, one with longer stretches may.
uint16_t track_buffer_entries(uint32_t revolution_intervals);

void init_track_layout(TrackLayout& layout);
void decode_track(TrackLayout& layout, FluxCursor& cursor, uint8_t revolution, ByteBuffer& buffer,
                  const RunOptions& opts);
// The same over the separator results of the revolution, shared with other decoders.
void decode_track(TrackLayout& layout, SeparatorRun& run, ByteBuffer& buffer, const RunOptions& opts);

}  // namespace quen
