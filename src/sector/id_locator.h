// ID field locator: finds every ID field of the revolution with its seven bytes.
#pragma once

#include <array>
#include <cstdint>

#include "decode/records.h"
#include "base/options.h"
#include "decode/separator.h"
#include "stream/cursor.h"

namespace quen {

struct IdLayout {
    // Entries 0..254 hold the ID fields found (id_count is 8-bit); entry 255 only
    // collects the faults that follow the 255th field and is read by no report.
    static constexpr size_t kMaxIds = 255;

    std::array<AreaInfo, kMaxIds + 1> ids{};
    uint8_t id_count = 0;
    uint32_t total_ns = 0;
    uint32_t byte_start_ns = 0;
    uint16_t byte_count = 0;
};

// Returns the number of ID fields found (equal to layout.id_count). The buffer
// receives 7 entries per ID field: mark, T, H, S, Z, CRC1, CRC2.
uint8_t locate_ids(FluxCursor& cursor, uint8_t revolution, IdLayout& layout, ByteBuffer& id_buffer,
                   const RunOptions& opts);
// The same over the separator results of the revolution, shared with other decoders.
uint8_t locate_ids(SeparatorRun& run, IdLayout& layout, ByteBuffer& id_buffer, const RunOptions& opts);

}  // namespace quen
