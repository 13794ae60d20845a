#include "support/decoders.h"

#include "decode/separator.h"
#include "decode/track.h"
#include "sector/id_locator.h"
#include "sector/sector.h"
#include "support/capture.h"

namespace quen::testing {

void decode_track_from_index(TrackLayout& layout, const FluxCapture& stream, uint8_t revolution, ByteBuffer& buffer,
                             const RunOptions& opts) {
    SeparatorRuns runs(&stream, opts.pll_off);
    decode_track(layout, runs.from(revolution), buffer, opts);
}

uint8_t locate_ids_from_index(const FluxCapture& stream, uint8_t revolution, IdLayout& layout, ByteBuffer& id_buffer,
                              const RunOptions& opts) {
    SeparatorRuns runs(&stream, opts.pll_off);
    return locate_ids(runs.from(revolution), layout, id_buffer, opts);
}

bool decode_sector_alone(const FluxCapture& stream, uint8_t revolution, SectorLayout& layout, uint8_t wanted_sector,
                         uint32_t expected_pos_ns, ByteBuffer& buffer, const RunOptions& opts) {
    SeparatorRuns runs(&stream, opts.pll_off);
    SectorPasses passes(runs, {expected_pos_ns});
    return passes.decode(revolution, layout, wanted_sector, expected_pos_ns, buffer, opts, SectorPlots::kWritten);
}

bool analyse_sector_alone(SectorLayout& layout, ByteBuffer& buffer, const FluxCapture& stream, uint8_t revolution,
                          uint8_t wanted_sector, uint32_t expected_pos_ns, const RunOptions& opts) {
    SeparatorRuns runs(&stream, opts.pll_off);
    SectorPasses passes(runs, {expected_pos_ns});
    return analyse_sector(layout, buffer, passes, revolution, wanted_sector, expected_pos_ns, opts);
}

DecodedTrack decode_all(const FluxCapture& stream, DecoderPath path, RunOptions opts) {
    Capture text;
    opts.diag_out = text.get();
    opts.err_out = text.get();
    WorkBudget budget(opts.limits);
    opts.budget = &budget;
    const uint8_t rev = opts.revolution;
    const bool shared = path == DecoderPath::kShared;
    SeparatorRuns shared_runs(&stream, opts.pll_off);

    DecodedTrack d;
    if (shared) {
        decode_track(d.track, shared_runs.from(rev), d.track_buffer, opts);
    } else {
        decode_track_from_index(d.track, stream, rev, d.track_buffer, opts);
    }
    const uint8_t n = shared ? locate_ids(shared_runs.from(rev), d.ids, d.id_buffer, opts)
                             : locate_ids_from_index(stream, rev, d.ids, d.id_buffer, opts);

    std::vector<uint32_t> expected_ns(n);
    for (uint32_t i = 0; i < n; ++i) expected_ns[i] = d.ids.ids[i].position_ns;
    SectorPasses shared_passes(shared_runs, expected_ns);
    d.sectors.resize(n);
    d.found.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        d.sector_buffers.emplace_back(kSectorBufferEntries);
        const uint8_t wanted = id_byte(d.id_buffer, i, IdEntry::kSector);
        if (shared) {
            d.found[i] = analyse_sector(d.sectors[i], d.sector_buffers[i], shared_passes, rev, wanted, expected_ns[i],
                                        opts);
            continue;
        }
        // Every revolution is read once per sector: separator runs of the sector's own are
        // each stepped afresh, and no expected position means every decoding starts at the index.
        SeparatorRuns own_runs(&stream, opts.pll_off);
        SectorPasses own_passes(own_runs, {});
        d.found[i] = analyse_sector(d.sectors[i], d.sector_buffers[i], own_passes, rev, wanted, expected_ns[i], opts);
        d.passes_skipped += own_passes.skipped;
    }
    if (shared) d.passes_skipped = shared_passes.skipped;
    d.text = text.text();
    return d;
}

}  // namespace quen::testing
