#include "support/builder.h"

#include <cmath>
#include <stdexcept>

#include "decode/mfm.h"
#include "decode/records.h"

namespace quen::synth {
namespace {

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> u32s(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values) put_u32(out, v);
    return out;
}

// Small deterministic generator, so that jittered tracks are the same on every machine.
struct XorShift {
    uint32_t s;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    // Uniform in [-1, 1].
    double unit() { return (static_cast<double>(next()) / 4294967295.0) * 2.0 - 1.0; }
};

}  // namespace

// ---------------------------------------------------------------- stream blocks

void StreamWriter::flux(uint32_t ticks) {
    for (uint32_t i = 0; i < (ticks >> 16); ++i) ovl16();
    const uint16_t rest = static_cast<uint16_t>(ticks & 0xFFFF);
    if (rest >= 0x0E && rest <= 0xFF) {
        flux1(static_cast<uint8_t>(rest));
    } else if (rest <= 0x7FF) {
        flux2(rest);
    } else {
        flux3(rest);
    }
}

void StreamWriter::flux1(uint8_t v) {
    bytes_.push_back(v);
    pos_ += 1;
}

void StreamWriter::flux2(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>((v >> 8) & 0x07));
    bytes_.push_back(static_cast<uint8_t>(v & 0xFF));
    pos_ += 2;
}

void StreamWriter::flux3(uint16_t v) {
    bytes_.push_back(0x0C);
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    bytes_.push_back(static_cast<uint8_t>(v & 0xFF));
    pos_ += 3;
}

void StreamWriter::ovl16() {
    bytes_.push_back(0x0B);
    pos_ += 1;
}

void StreamWriter::nop1() {
    bytes_.push_back(0x08);
    pos_ += 1;
}

void StreamWriter::nop2() {
    bytes_.insert(bytes_.end(), {0x09, 0x00});
    pos_ += 2;
}

void StreamWriter::nop3() {
    bytes_.insert(bytes_.end(), {0x0A, 0x00, 0x00});
    pos_ += 3;
}

void StreamWriter::oob(uint8_t type, const std::vector<uint8_t>& payload) {
    oob_raw(type, static_cast<uint16_t>(payload.size()), payload);
}

void StreamWriter::oob_raw(uint8_t type, uint16_t size, const std::vector<uint8_t>& payload) {
    bytes_.push_back(0x0D);
    bytes_.push_back(type);
    bytes_.push_back(static_cast<uint8_t>(size & 0xFF));
    bytes_.push_back(static_cast<uint8_t>(size >> 8));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
}

void StreamWriter::stream_info(uint32_t pos, uint32_t transfer_ms) { oob(1, u32s({pos, transfer_ms})); }

void StreamWriter::index(uint32_t pos, uint32_t sample_counter, uint32_t index_counter) {
    oob(2, u32s({pos, sample_counter, index_counter}));
}

void StreamWriter::stream_end(uint32_t pos, uint32_t result) { oob(3, u32s({pos, result})); }

void StreamWriter::info(const std::string& text) {
    std::vector<uint8_t> payload(text.begin(), text.end());
    payload.push_back(0);
    oob(4, payload);
}

void StreamWriter::eof() { oob_raw(13, 0x0D0D, {}); }

void StreamWriter::raw(const std::vector<uint8_t>& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }

std::vector<uint8_t> encode_stream(const std::vector<uint32_t>& intervals_ticks, const std::vector<IndexPulse>& pulses,
                                   const StreamOptions& opts) {
    StreamWriter w;
    if (opts.stream_info) w.stream_info(0);
    if (!opts.info.empty()) w.info(opts.info);
    size_t next_pulse = 0;
    uint32_t index_counter = 0;
    for (uint32_t i = 0; i < intervals_ticks.size(); ++i) {
        const uint32_t v = intervals_ticks[i];
        const uint32_t first_block_pos = w.stream_pos();
        w.flux(v);
        const uint32_t flux_block_pos = first_block_pos + (v >> 16);
        while (next_pulse < pulses.size() && pulses[next_pulse].interval == i) {
            const IndexPulse& p = pulses[next_pulse++];
            if (p.pre_ticks >= v || (p.pre_ticks & 0xFFFF) == 0) {
                throw std::invalid_argument("index pulse cannot be encoded at that place");
            }
            // The Index block names the Ovl16 block (or the flux block) in which the
            // pulse fell, and the ticks of the current 65536-tick period before it.
            const uint32_t periods_before = p.pre_ticks >> 16;
            const uint32_t pos = flux_block_pos - ((v >> 16) - periods_before);
            index_counter += 3003428 / 5;  // about one turn of the index clock
            w.index(pos, p.pre_ticks & 0xFFFF, index_counter);
        }
    }
    if (opts.stream_end) w.stream_end(w.stream_pos(), 0);
    if (opts.eof) w.eof();
    return w.bytes();
}

// ---------------------------------------------------------------- MFM cells

void MfmCells::put_cell(uint8_t c) { cells_.push_back(c); }

void MfmCells::byte(uint8_t v) {
    // A track is circular: its first byte follows the data bit 1 that ends the
    // previous byte, so no clock transition stands right behind the index.
    uint8_t prev = cells_.empty() ? 1 : cells_.back();
    for (int i = 7; i >= 0; --i) {
        const uint8_t d = (v >> i) & 1;
        put_cell((prev == 0 && d == 0) ? 1 : 0);
        put_cell(d);
        prev = d;
    }
    crc_ = crc_ccitt_byte(crc_, v);
}

void MfmCells::bytes(uint8_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) byte(v);
}

void MfmCells::bytes(const std::vector<uint8_t>& v) {
    for (uint8_t b : v) byte(b);
}

void MfmCells::sync_a1(size_t n) {
    for (size_t i = 0; i < n; ++i) {
        pattern(kSyncA1);
        crc_ = crc_ccitt_byte(crc_, 0xA1);
    }
}

void MfmCells::sync_c2(size_t n) {
    for (size_t i = 0; i < n; ++i) {
        pattern(kSyncC2);
        crc_ = crc_ccitt_byte(crc_, 0xC2);
    }
}

void MfmCells::pattern(uint16_t cells16) {
    for (int i = 15; i >= 0; --i) put_cell((cells16 >> i) & 1);
}

void MfmCells::raw(const std::string& cells01) {
    for (char c : cells01) {
        if (c == '0' || c == '1') put_cell(static_cast<uint8_t>(c - '0'));
    }
}

void MfmCells::no_flux(size_t n) { cells_.insert(cells_.end(), n, 0); }

void MfmCells::crc_bytes() {
    const uint16_t crc = crc_;
    byte(static_cast<uint8_t>(crc >> 8));
    byte(static_cast<uint8_t>(crc & 0xFF));
}

uint16_t crc_of(std::initializer_list<std::vector<uint8_t>> parts) {
    uint16_t crc = 0xFFFF;
    for (const std::vector<uint8_t>& part : parts) {
        for (uint8_t b : part) crc = crc_ccitt_byte(crc, b);
    }
    return crc;
}

void MfmCells::append(const MfmCells& other) { cells_.insert(cells_.end(), other.cells_.begin(), other.cells_.end()); }

// ---------------------------------------------------------------- IBM track

std::vector<uint8_t> pattern_data(size_t n) {
    std::vector<uint8_t> d(n);
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(0xE5 ^ (i & 0x0F));
    return d;
}

TrackPlan standard_track(uint8_t track, uint8_t head) {
    TrackPlan t;
    for (uint8_t s = 1; s <= 9; ++s) {
        SectorPlan sec;
        sec.track = track;
        sec.head = head;
        sec.sector = s;
        t.sectors.push_back(sec);
    }
    return t;
}

void write_id_field(MfmCells& cells, const SectorPlan& s) {
    cells.bytes(0x00, s.gap2_zeros);
    cells.crc_reset();
    cells.sync_a1(s.id_syncs);
    cells.bytes({s.id_mark, s.track, s.head, s.sector, s.size_code});
    if (s.id_crc) {
        cells.bytes({static_cast<uint8_t>(*s.id_crc >> 8), static_cast<uint8_t>(*s.id_crc & 0xFF)});
    } else {
        cells.crc_bytes();
    }
}

void write_data_mark(MfmCells& cells, const SectorPlan& s) {
    cells.bytes(0x00, s.gap3_zeros);
    cells.crc_reset();
    cells.sync_a1(s.data_syncs);
    cells.byte(s.data_mark);
}

void write_sector(MfmCells& cells, const SectorPlan& s) {
    write_id_field(cells, s);
    cells.bytes(0x4E, s.gap3_4e);
    if (!s.has_data) return;
    write_data_mark(cells, s);
    cells.bytes(s.data.empty() ? pattern_data(sector_size(s.size_code)) : s.data);
    if (s.data_crc) {
        cells.bytes({static_cast<uint8_t>(*s.data_crc >> 8), static_cast<uint8_t>(*s.data_crc & 0xFF)});
    } else {
        cells.crc_bytes();
    }
    cells.bytes(0x4E, s.gap4_4e);
}

MfmCells build_track(const TrackPlan& plan) {
    MfmCells c;
    c.bytes(0x4E, plan.gap1_4e);
    if (plan.index_mark) {
        c.bytes(0x00, 12);
        c.sync_c2(3);
        c.byte(0xFC);
        c.bytes(0x4E, plan.gap1a_4e);
    }
    for (const SectorPlan& s : plan.sectors) write_sector(c, s);
    while (c.size() / 16 < plan.total_bytes) c.byte(0x4E);
    return c;
}

// ---------------------------------------------------------------- flux timing

LaidOutCells lay_out(const std::vector<MfmCells>& revs, const MfmCells* lead_out) {
    MfmCells lead;
    lead.bytes(0x4E, 8);
    LaidOutCells out{lead.cells(), {}};
    for (const MfmCells& r : revs) {
        out.rev_start.push_back(out.cells.size());
        out.cells.insert(out.cells.end(), r.cells().begin(), r.cells().end());
    }
    out.rev_start.push_back(out.cells.size());
    const MfmCells& tail = lead_out != nullptr ? *lead_out : lead;
    out.cells.insert(out.cells.end(), tail.cells().begin(), tail.cells().end());
    return out;
}

std::vector<uint64_t> transition_ticks(const std::vector<uint8_t>& cells, const FluxTiming& timing,
                                       const CellShifts& shifts) {
    const double ticks_per_ns = timing.sck / 1e9;
    const double cell_ns = timing.cell_ns / timing.speed;
    XorShift rng{timing.seed == 0 ? 1u : timing.seed};
    std::vector<uint64_t> at;
    uint64_t last = 0;
    for (size_t j = 0; j < cells.size(); ++j) {
        if (cells[j] == 0) continue;
        double t_ns = static_cast<double>(j + 1) * cell_ns;
        if (timing.jitter_ns > 0) t_ns += rng.unit() * timing.jitter_ns;
        for (const auto& [cell, ns] : shifts) {
            if (cell == j) t_ns += ns;
        }
        uint64_t t = static_cast<uint64_t>(std::llround(t_ns * ticks_per_ns));
        if (t <= last) t = last + 1;
        at.push_back(t);
        last = t;
    }
    return at;
}

std::vector<uint32_t> intervals_between(const std::vector<uint64_t>& transitions_ticks) {
    std::vector<uint32_t> intervals;
    uint64_t prev = 0;
    for (uint64_t t : transitions_ticks) {
        intervals.push_back(static_cast<uint32_t>(t - prev));
        prev = t;
    }
    return intervals;
}

FluxTrack revolutions_to_flux(const std::vector<MfmCells>& revs, const FluxTiming& timing) {
    // The lead-out lets the last index pulse fall inside a flux interval.
    const LaidOutCells laid = lay_out(revs);
    const double ticks_per_ns = timing.sck / 1e9;
    const double cell_ns = timing.cell_ns / timing.speed;
    const std::vector<uint64_t> at = transition_ticks(laid.cells, timing);

    const std::vector<uint32_t> intervals = intervals_between(at);

    std::vector<IndexPulse> pulses;
    size_t k = 0;
    for (size_t start_cell : laid.rev_start) {
        // A quarter cell into the revolution's first cell: the separator then frames the
        // first byte correctly, and the first interval (3.75 cells behind a 4E start)
        // lies clear of the border windows.
        const double pulse_ns = (static_cast<double>(start_cell) + 0.25) * cell_ns;
        uint64_t p = static_cast<uint64_t>(std::llround(pulse_ns * ticks_per_ns));
        while (k < at.size() && at[k] <= p) ++k;
        if (k >= at.size()) throw std::invalid_argument("no flux after an index pulse");
        const uint64_t before = k == 0 ? 0 : at[k - 1];
        uint32_t pre = static_cast<uint32_t>(p - before);
        // A sample counter of 0 would mean "at the flux transition": keep clear of it.
        if ((pre & 0xFFFF) == 0) pre += 1;
        if (pre >= intervals[k]) throw std::invalid_argument("index pulse too close to a transition");
        pulses.push_back({static_cast<uint32_t>(k), pre});
    }
    return {intervals, pulses};
}

std::vector<uint8_t> revolutions_to_stream(const std::vector<MfmCells>& revs, const FluxTiming& timing,
                                           const StreamOptions& opts) {
    const FluxTrack flux = revolutions_to_flux(revs, timing);
    return encode_stream(flux.intervals_ticks, flux.pulses, opts);
}

std::vector<uint8_t> track_stream(const MfmCells& track, int revolutions, const FluxTiming& timing,
                                  const StreamOptions& opts) {
    std::vector<MfmCells> revs(static_cast<size_t>(revolutions), track);
    return revolutions_to_stream(revs, timing, opts);
}

std::vector<uint8_t> hostile_stream(HostileShape shape, int revolutions) {
    // A revolution is 100,000 cells; 255 ID fields of 21 bytes fill most of it.
    constexpr size_t kRevolutionCells = 100000;
    MfmCells ids;
    ids.bytes(0x4E, 16);
    for (int sector = 1; sector <= 255; ++sector) {
        SectorPlan plan;
        plan.sector = static_cast<uint8_t>(sector);
        plan.gap2_zeros = 3;
        write_id_field(ids, plan);
        ids.bytes(0x4E, 8);
    }
    ids.bytes(0x4E, (kRevolutionCells - ids.size()) / 16);
    std::vector<MfmCells> revs{ids};
    uint32_t seed = 7;
    for (int r = 0; r < (shape == HostileShape::kLongGaps ? 254 : revolutions); ++r) {
        MfmCells rev;
        switch (shape) {
            case HostileShape::kLongGaps:
                for (int i = 0; i < 4; ++i) {
                    rev.no_flux(kRevolutionCells / 4 - 1);
                    rev.raw("1");
                }
                break;
            case HostileShape::kNoise:
                while (rev.size() < kRevolutionCells) {
                    seed = seed * 1664525u + 1013904223u;
                    rev.byte(static_cast<uint8_t>(seed >> 24));
                }
                break;
            case HostileShape::kShortIntervals:
                rev.raw(std::string(60000, '1'));
                rev.no_flux(kRevolutionCells - 60000);
                rev.raw("1");
                break;
        }
        revs.push_back(rev);
    }
    return revolutions_to_stream(revs);
}

std::vector<uint8_t> noisy_revolutions_stream(int revolutions, size_t noise_cells) {
    constexpr size_t kRevolutionCells = 100000;
    SectorPlan plan;
    plan.size_code = 0;
    MfmCells rev;
    rev.bytes(0x4E, 16);
    for (uint8_t sector = 1; sector <= 3; ++sector) {
        if (sector == 3) {
            rev.raw(std::string(noise_cells, '1'));
            rev.bytes(0x4E, 16);
        }
        plan.sector = sector;
        write_sector(rev, plan);
    }
    if (rev.size() < kRevolutionCells) rev.no_flux(kRevolutionCells - rev.size());
    return revolutions_to_stream(std::vector<MfmCells>(static_cast<size_t>(revolutions), rev));
}

void damage_stream(std::vector<uint8_t>& bytes, Damage damage, uint32_t& rng_state) {
    const auto next = [&rng_state] { return rng_state = rng_state * 1664525u + 1013904223u; };
    switch (damage) {
        case Damage::kScatteredBytes:
            for (int i = 0; i < 40; ++i) bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
            break;
        case Damage::kGarbageBurst:
            for (size_t at = next() % (bytes.size() - 600), i = 0; i < 500; ++i) {
                bytes[at + i] = static_cast<uint8_t>(next());
            }
            break;
        case Damage::kNoFluxStretch:
            for (size_t at = next() % (bytes.size() - 300), i = 0; i < 200; ++i) {
                bytes[at + i] = (i % 3 == 0) ? 0x0B : 0xFF;
            }
            break;
        case Damage::kCutShort:
            bytes.resize(next() % bytes.size());
            break;
    }
}

}  // namespace quen::synth
