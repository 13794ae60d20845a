// Sector decoder: one sector from its ID field through GAP3, DATA and GAP4, with the
// comparison over the other revolutions that reveals fuzzy data.
#pragma once

#include <cstdint>

#include "decode/records.h"
#include "base/options.h"
#include "decode/separator.h"
#include "stream/cursor.h"

namespace quen {

struct SectorLayout {
    AreaSet areas{};
    uint8_t T = 0;
    uint8_t H = 0;
    uint8_t S = 0;
    uint8_t Z = 2;
    uint16_t id_crc = 0;
    uint16_t data_crc = 0;
    uint16_t DOI = 0;
    uint8_t has_data = 0;
    uint16_t FZP = 0;
    uint16_t data_start = 0;
    uint32_t noflux_ns = 0;

    AreaInfo& area(AreaKind k) { return areas[area_index(k)]; }
    const AreaInfo& area(AreaKind k) const { return areas[area_index(k)]; }
};

// Decodes the wanted sector in one revolution; returns whether its ID field was found.
bool decode_sector(FluxCursor& cursor, SectorLayout& layout, uint8_t revolution, uint8_t wanted_sector,
                   uint32_t expected_pos_ns, ByteBuffer& buffer, const RunOptions& opts);
bool decode_sector(SeparatorRun& run, SectorLayout& layout, uint8_t wanted_sector, uint32_t expected_pos_ns,
                   ByteBuffer& buffer, const RunOptions& opts);

// Decodes the sector in the chosen revolution, then in the other revolutions to find
// its fuzzy position; writes the sector's layout plot file with -t.
bool analyse_sector(SectorLayout& layout, ByteBuffer& buffer, FluxCursor& cursor, uint8_t revolution,
                    uint8_t wanted_sector, uint32_t expected_pos_ns, const RunOptions& opts);
// The same with every decoding reading the run's shared separator results.
bool analyse_sector(SectorLayout& layout, ByteBuffer& buffer, SeparatorRuns& runs, uint8_t revolution,
                    uint8_t wanted_sector, uint32_t expected_pos_ns, const RunOptions& opts);

}  // namespace quen
