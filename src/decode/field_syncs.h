// Sync patterns inside a field that was read in its own byte framing. Bits that happen to
// form A1 or C2 with a missing clock bit at some offset are common in ordinary data (a
// sector of 0x14 bytes has them in its CRC, and so do some ID CRC pairs). Only a run of
// such patterns followed by an address mark in their own alignment can make a controller
// read a field inside the field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/records.h"

namespace quen {

struct FieldSyncs {
    uint16_t patterns = 0;   // sync patterns lying wholly inside the field's cells, at any offset
    bool then_mark = false;  // a run of them as long as an address mark needs, then an address mark
};

// Searches the cells of `n` decoded bytes (clock and data bits interleaved).
FieldSyncs find_field_syncs(const DecodedByte* bytes, size_t n);

}  // namespace quen
