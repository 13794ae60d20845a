// The per-sector plot files: flux transitions, decoded bytes and the sector's areas.
#pragma once

#include <cstdint>
#include <cstdio>

#include "decode/plot.h"
#include "base/options.h"
#include "decode/layouts.h"

namespace quen {

// The transition and byte files a decoding of the chosen revolution writes.
struct SectorPlotFiles {
    PlotFile trans;
    PlotFile bytes;
};

// Creates sec_trans_N.dat, then sec_data_N.dat, each with its header; false, with the
// failure said, when either could not be created.
bool open_sector_plots(SectorPlotFiles& files, const RunOptions& opts, uint8_t sector);

// Why a byte line gets its colours.
struct ByteMarks {
    bool gap_mark = false;     // F5, F6 or F7 in a gap
    bool flux_fault = false;   // a faulty interval since the previous byte
    bool synch_fault = false;  // a synch fault counted at this byte
};

void write_sector_byte_line(FILE* f, uint32_t start_ns, uint32_t end_ns, uint8_t data, uint8_t clock,
                            uint16_t window, uint16_t clk, const ByteMarks& marks, uint8_t sync_count);

// Creates sec_layout_N.dat with its first header.
PlotFile open_sector_layout_plot(const RunOptions& opts, uint8_t sector);
// The area lines of a sector with a DATA field.
void write_sector_layout_lines(FILE* f, const SectorLayout& layout);

}  // namespace quen
