// ID field locator: finds every ID field of the revolution with its seven bytes.
#pragma once

#include <array>
#include <cstdint>

#include "base/options.h"
#include "decode/marks.h"
#include "decode/layouts.h"
#include "decode/records.h"
#include "decode/separator.h"
#include "stream/cursor.h"

namespace quen {

// Returns the number of ID fields found (equal to layout.id_count). The buffer
// receives 7 entries per ID field: mark, T, H, S, Z, CRC1, CRC2.
uint8_t locate_ids(SeparatorRun& run, IdLayout& layout, ByteBuffer& id_buffer, const RunOptions& opts);

}  // namespace quen
