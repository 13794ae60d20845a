#include "sector_fixture.h"

#include <cmath>
#include <sstream>

namespace quen::sectortest {
namespace {

struct XorShift {
    uint32_t s;
    double unit() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (static_cast<double>(s) / 4294967295.0) * 2.0 - 1.0;
    }
};

}  // namespace

std::unique_ptr<QuenStream> mem_stream(const std::vector<synth::MfmCells>& revs, const MemTiming& timing,
                                       const synth::MfmCells* lead_out) {
    synth::MfmCells lead;
    lead.bytes(0x4E, 8);
    std::vector<uint8_t> cells(lead.cells());
    std::vector<size_t> rev_start;
    for (const synth::MfmCells& r : revs) {
        rev_start.push_back(cells.size());
        cells.insert(cells.end(), r.cells().begin(), r.cells().end());
    }
    rev_start.push_back(cells.size());
    const synth::MfmCells& tail = lead_out ? *lead_out : lead;
    cells.insert(cells.end(), tail.cells().begin(), tail.cells().end());

    XorShift rng{timing.seed == 0 ? 1u : timing.seed};
    std::vector<uint64_t> at;  // transition times, at the end of their cells
    for (size_t j = 0; j < cells.size(); ++j) {
        if (cells[j] == 0) continue;
        double t = static_cast<double>(j + 1) * timing.cell_ns;
        if (timing.jitter_ns > 0) t += rng.unit() * timing.jitter_ns;
        for (const auto& [cell, ns] : timing.shifts) {
            if (cell + lead.size() == j) t += ns;
        }
        uint64_t v = static_cast<uint64_t>(std::llround(t));
        if (!at.empty() && v <= at.back()) v = at.back() + 1;
        at.push_back(v);
    }

    auto s = std::make_unique<QuenStream>();
    s->sck = 1e9;
    uint64_t prev = 0;
    for (uint64_t t : at) {
        s->flux.push_back({static_cast<uint32_t>(t - prev), 0});
        prev = t;
    }
    s->flux_count = static_cast<uint32_t>(s->flux.size());
    s->flux.push_back({0, 0});  // the trailing entry

    uint64_t previous_pulse = 0;
    size_t k = 0;
    for (size_t start : rev_start) {
        const uint64_t p = static_cast<uint64_t>(std::llround(static_cast<double>(start) * timing.cell_ns));
        while (k < at.size() && at[k] <= p) ++k;
        IndexRecord r{};
        r.flux_index = static_cast<uint32_t>(k);
        r.pre_index = static_cast<uint32_t>(p - (k == 0 ? 0 : at[k - 1]));
        r.rev_time = static_cast<uint32_t>(p - previous_pulse);
        previous_pulse = p;
        s->index.push_back(r);
    }
    s->index_count = static_cast<uint32_t>(s->index.size());
    return s;
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

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream ss(text);
    std::string line;
    while (std::getline(ss, line)) out.push_back(line);
    return out;
}

}  // namespace quen::sectortest
