// Hex dump and the layout reports of the track, the ID fields and the sectors.
#pragma once

#include <cstdint>
#include <cstdio>

#include "decode/records.h"
#include "decode/layouts.h"
#include "base/options.h"

namespace quen {

// Prints n entries from `start`, sixteen to a line; returns start + n. Never reads
// beyond the buffer's count.
int32_t hex_dump(uint16_t n, FILE* out, const ByteBuffer& buffer, int32_t start, const RunOptions& opts);

void print_track_layout(FILE* out, const TrackLayout& track);
void print_track_detail(FILE* out, const TrackLayout& track, const ByteBuffer& buffer, const RunOptions& opts);

void print_id_layout(FILE* out, const IdLayout& ids, const ByteBuffer& id_buffer);
void print_id_buffer(FILE* out, const IdLayout& ids, const ByteBuffer& id_buffer, const RunOptions& opts);

void print_all_sectors(FILE* out, int32_t n, const SectorLayout* sectors);
void print_sector_detail(FILE* out, const SectorLayout& sector, const ByteBuffer& buffer, const RunOptions& opts);

}  // namespace quen
