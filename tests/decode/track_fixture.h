// Drives the track decoder over synthetic revolutions held in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/track.h"
#include "stream/stream.h"
#include "support/builder.h"
#include "support/capture.h"
#include "support/decoders.h"
#include "support/memory_stream.h"

namespace quen::track_test {

// One nanosecond per tick and a revolution declared 200 ms long: the cursor hands the
// intervals out unscaled.
inline std::unique_ptr<QuenStream> stream_from_intervals(const std::vector<uint32_t>& intervals_ns) {
    IndexRecord end{};
    end.flux_index = static_cast<uint32_t>(intervals_ns.size());
    end.rev_time = 200000000;
    return testing::memory_stream(intervals_ns, {IndexRecord{}, end});
}

// A transition stands at the end of its cell; cells after the last transition are lost.
inline std::vector<uint32_t> intervals_from_cells(const synth::MfmCells& cells, uint32_t cell_ns = 2000) {
    std::vector<uint32_t> out;
    uint32_t gap = 0;
    for (uint8_t c : cells.cells()) {
        gap += cell_ns;
        if (c != 0) {
            out.push_back(gap);
            gap = 0;
        }
    }
    return out;
}

struct TrackRun {
    TrackLayout layout;
    ByteBuffer buffer{10000};
    std::string diag;

    const SectorSlot& slot(size_t i) const { return layout.slots.at(i); }
    const AreaInfo& area(size_t i, AreaKind k) const { return slot(i).area(k); }
};

inline TrackRun decode_intervals(const std::vector<uint32_t>& intervals_ns, RunOptions opts = {}) {
    auto stream = stream_from_intervals(intervals_ns);
    testing::Capture diag;
    opts.diag_out = diag.get();
    opts.revolution = 0;
    TrackRun run;
    testing::decode_track_from_index(run.layout, *stream, 0, run.buffer, opts);
    run.diag = diag.text();
    return run;
}

inline TrackRun decode_cells(const synth::MfmCells& cells, RunOptions opts = {}) {
    return decode_intervals(intervals_from_cells(cells), opts);
}

}  // namespace quen::track_test
