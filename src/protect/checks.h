// The checks that turn the decoders' measurements into protection findings.
#pragma once

#include <cstdint>

#include "decode/records.h"
#include "decode/layouts.h"
#include "base/options.h"
#include "protect/prot.h"

namespace quen {

void check_track_protections(Prot_list& list, const TrackLayout& track, const RunOptions& opts);
void check_id_protections(Prot_list& list, const IdLayout& ids, const ByteBuffer& id_buffer);
void check_sector_protections(Prot_list& list, const SectorLayout& sector, const ByteBuffer& buffer,
                              uint32_t prev_data_end);

}  // namespace quen
