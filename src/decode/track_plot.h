// The track decoder's plot files: sampled flux intervals (trans.dat) and the area spans (layout.dat).
#pragma once

#include <cstdint>
#include <cstdio>

#include "decode/plot.h"
#include "decode/layouts.h"
#include "base/options.h"

namespace quen {

struct TrackPlot {
    // layout.dat is created first, so that a failure to create it leaves no trans.dat behind.
    explicit TrackPlot(const RunOptions& opts);

    // Whether a file could not be created: the decoding ends at once.
    bool failed() const { return layout_file.failed() || trans_file.failed(); }

    // Writes every fifth interval, from the first on, to trans.dat.
    void sample(uint32_t total_ns, uint16_t clk, int32_t interval_ns, uint16_t cells);
    // Writes layout.dat from the finished layout and closes layout.dat, then trans.dat
    // unless layout.dat failed.
    void finish(const TrackLayout& layout);

    PlotFile layout_file;
    PlotFile trans_file;
    uint8_t sample_counter = 0;
};

void write_track_layout_plot(FILE* f, const TrackLayout& layout);

}  // namespace quen
