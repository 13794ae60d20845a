// ID field locator: finds every ID field of the revolution with its seven bytes.
#pragma once

#include <array>
#include <cstdint>

#include "base/options.h"
#include "decode/marks.h"
#include "decode/records.h"
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

// Where a byte of an ID field stands among the field's entries in the ID buffer.
enum class IdEntry : uint8_t { kMark = 0, kTrack = 1, kHead = 2, kSector = 3, kSize = 4 };

// That entry of ID field `field`, or null when the buffer does not hold it.
inline const DecodedByte* id_entry(const ByteBuffer& id_buffer, size_t field, IdEntry which) {
    const size_t at = marks::kIdFieldBytes * field + static_cast<size_t>(which);
    return at < id_buffer.count ? &id_buffer.entries[at] : nullptr;
}
// Its byte, or 0 when the buffer does not hold it.
inline uint8_t id_byte(const ByteBuffer& id_buffer, size_t field, IdEntry which) {
    const DecodedByte* e = id_entry(id_buffer, field, which);
    return e != nullptr ? e->data : 0;
}

}  // namespace quen
