// The comparison that reveals fuzzy data: a sector's DATA field read again in another
// revolution, byte by byte against the analysed revolution's reading.
#pragma once

#include <cstdint>
#include <optional>

#include "decode/layouts.h"
#include "decode/records.h"

namespace quen {

// The first position of the DATA field at which a pass read differently; entries the
// pass did not decode count as different, entries the sector itself lacks end the comparison.
std::optional<uint16_t> first_difference(const SectorLayout& own, const ByteBuffer& own_buffer,
                                         const ByteBuffer& pass_buffer);

}  // namespace quen
