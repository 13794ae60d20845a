#include "sector_fixture.h"

#include <cmath>

#include "support/memory_stream.h"

namespace quen::sectortest {

std::unique_ptr<QuenStream> mem_stream(const std::vector<synth::MfmCells>& revs, const MemTiming& timing,
                                       const synth::MfmCells* lead_out) {
    const synth::LaidOutCells laid = synth::lay_out(revs, lead_out);
    synth::FluxTiming flux_timing;
    flux_timing.cell_ns = timing.cell_ns;
    flux_timing.jitter_ns = timing.jitter_ns;
    flux_timing.seed = timing.seed;
    flux_timing.sck = 1e9;
    synth::CellShifts shifts;
    for (const auto& [cell, ns] : timing.shifts) shifts.push_back({laid.rev_start[0] + cell, ns});
    const std::vector<uint64_t> at = synth::transition_ticks(laid.cells, flux_timing, shifts);

    // Each pulse stands where its revolution's first cell begins.
    std::vector<IndexRecord> index;
    uint64_t previous_pulse = 0;
    size_t k = 0;
    for (size_t start : laid.rev_start) {
        const uint64_t p = static_cast<uint64_t>(std::llround(static_cast<double>(start) * timing.cell_ns));
        while (k < at.size() && at[k] <= p) ++k;
        IndexRecord r{};
        r.flux_index = static_cast<uint32_t>(k);
        r.pre_index = static_cast<uint32_t>(p - (k == 0 ? 0 : at[k - 1]));
        r.rev_time = static_cast<uint32_t>(p - previous_pulse);
        previous_pulse = p;
        index.push_back(r);
    }
    return testing::memory_stream(synth::intervals_between(at), index);
}

std::unique_ptr<QuenStream> mem_track_stream(const synth::MfmCells& track, int revolutions, const MemTiming& timing) {
    return mem_stream(std::vector<synth::MfmCells>(static_cast<size_t>(revolutions), track), timing);
}

std::string cells_text(const synth::MfmCells& track) {
    std::string text;
    for (uint8_t c : track.cells()) text.push_back(static_cast<char>('0' + c));
    return text;
}

synth::MfmCells from_text(const std::string& cells01) {
    synth::MfmCells out;
    out.raw(cells01);
    return out;
}

synth::MfmCells rotate(const synth::MfmCells& track, size_t offset) {
    const std::string text = cells_text(track);
    return from_text(text.substr(offset) + text.substr(0, offset));
}

synth::MfmCells padded(synth::MfmCells track) {
    while (track.size() < kRevolutionCells) track.byte(0x4E);
    return track;
}

synth::MfmCells with_cells(const synth::MfmCells& track, size_t first, const std::string& cells01) {
    return from_text(cells_text(track).replace(first, cells01.size(), cells01));
}

synth::MfmCells first_cells(const synth::MfmCells& track, size_t n) { return from_text(cells_text(track).substr(0, n)); }

RunOptions capture_opts(const Capture& diag, const Capture& err, bool verbose) {
    RunOptions o;
    o.verbose = verbose;
    o.diag_out = diag.get();
    o.err_out = err.get();
    return o;
}

Located locate(const QuenStream& s, uint8_t revolution) {
    Capture diag, err;
    Located r;
    r.n = testing::locate_ids_from_index(s, revolution, r.layout, r.buffer, capture_opts(diag, err, true));
    r.diag = diag.text();
    return r;
}

}  // namespace quen::sectortest
