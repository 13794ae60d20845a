#include "support/scp_builder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace quen::synth {
namespace {

constexpr size_t kTableAt = 0x10;

void put_le32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// One interval as flux words: a word of 0 for each 65536 ticks, then the rest. An exact
// multiple of 65536 cannot be written and loses one tick.
void put_words(std::vector<uint16_t>& out, uint32_t ticks) {
    uint32_t spans = ticks >> 16;
    uint32_t rest = ticks & 0xFFFF;
    if (rest == 0 && spans != 0) {
        --spans;
        rest = 0xFFFF;
    }
    out.insert(out.end(), spans, 0);
    out.push_back(static_cast<uint16_t>(rest));
}

uint32_t slot_of(TrackSide t) { return t.cylinder * 2u + t.side; }

std::string hex(size_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%zX", v);
    return buf;
}

// Three revolutions of 100 intervals of 4000 ns, each index pulse 1000 ns into an interval.
FluxTrack plain_flux() {
    FluxTrack f;
    f.intervals_ticks.assign(310, 160);
    for (uint32_t i = 0; i < 4; ++i) f.pulses.push_back({5 + 100 * i, 40});
    return f;
}

}  // namespace

size_t scp_table_entry_at(TrackSide t) { return kTableAt + 4 * slot_of(t); }

std::vector<uint8_t> encode_scp(const std::vector<ScpTrackSide>& sides, const ScpOptions& opts) {
    std::vector<ScpRawSide> raw;
    for (const ScpTrackSide& s : sides) {
        if (s.flux.pulses.size() < 2) throw std::invalid_argument("a track side needs two index pulses");
        ScpRawSide side{s.where, {}};
        const std::vector<uint32_t>& v = s.flux.intervals_ticks;
        for (size_t r = 0; r + 1 < s.flux.pulses.size(); ++r) {
            const IndexPulse from = s.flux.pulses[r];
            const IndexPulse to = s.flux.pulses[r + 1];
            ScpRevolution rev{0, {}};
            uint64_t ticks = 0;
            for (uint32_t i = from.interval; i < to.interval; ++i) {
                const uint32_t t = i == from.interval ? v[i] - from.pre_ticks : v[i];
                put_words(rev.words, t);
                ticks += t;
            }
            rev.index_time = static_cast<uint32_t>(ticks + to.pre_ticks);
            side.revs.push_back(std::move(rev));
        }
        raw.push_back(std::move(side));
    }
    return encode_scp_words(raw, opts);
}

std::vector<uint8_t> encode_scp_words(const std::vector<ScpRawSide>& sides, const ScpOptions& opts) {
    size_t revolutions = 0;
    uint32_t first_slot = 0xFF;
    uint32_t last_slot = 0;
    for (const ScpRawSide& s : sides) {
        revolutions = std::max(revolutions, s.revs.size());
        first_slot = std::min(first_slot, slot_of(s.where));
        last_slot = std::max(last_slot, slot_of(s.where));
    }
    if (revolutions > 255) throw std::invalid_argument("more than 255 revolutions");
    std::vector<uint8_t> out(kScpFirstTrackHeader, 0);
    out[0] = 'S';
    out[1] = 'C';
    out[2] = 'P';
    out[3] = 0x25;
    out[4] = opts.disk_type;
    out[5] = static_cast<uint8_t>(revolutions);
    out[6] = static_cast<uint8_t>(sides.empty() ? 0 : first_slot);
    out[7] = static_cast<uint8_t>(last_slot);
    out[8] = opts.flags;
    out[0x0A] = opts.heads;
    out[0x0B] = opts.resolution;
    for (const ScpRawSide& s : sides) {
        const size_t header = out.size();
        put_le32(out, scp_table_entry_at(s.where), static_cast<uint32_t>(header));
        out.insert(out.end(), {'T', 'R', 'K', static_cast<uint8_t>(slot_of(s.where))});
        out.resize(out.size() + 12 * revolutions, 0);
        for (size_t r = 0; r < s.revs.size(); ++r) {
            const size_t entry = header + 4 + 12 * r;
            put_le32(out, entry, s.revs[r].index_time);
            put_le32(out, entry + 4, static_cast<uint32_t>(s.revs[r].words.size()));
            put_le32(out, entry + 8, static_cast<uint32_t>(out.size() - header));
            for (uint16_t w : s.revs[r].words) {
                out.push_back(static_cast<uint8_t>(w >> 8));
                out.push_back(static_cast<uint8_t>(w & 0xFF));
            }
        }
    }
    if (opts.checksum) fix_scp_checksum(out);
    return out;
}

void fix_scp_checksum(std::vector<uint8_t>& image) {
    uint32_t sum = 0;
    for (size_t i = kScpChecksumAt + 4; i < image.size(); ++i) sum += image[i];
    put_le32(image, kScpChecksumAt, sum);
}

std::vector<uint8_t> stream_at_scp_clock(const FluxTrack& flux) {
    StreamOptions opts;
    opts.info = "sck=40000000";
    return encode_stream(flux.intervals_ticks, flux.pulses, opts);
}

std::vector<DamagedScp> damaged_scp_images() {
    const TrackSide t00{0, 0};
    ScpOptions no_sum;
    no_sum.checksum = false;
    const std::vector<uint8_t> one = encode_scp({{t00, plain_flux()}}, no_sum);
    // The track header of 0.0 is 40 bytes (three revolutions); each revolution is 100 words.
    const size_t h = kScpFirstTrackHeader;
    const size_t rev_at[3] = {h + 40, h + 240, h + 440};
    const auto with = [&](std::initializer_list<std::pair<size_t, uint32_t>> fields) {
        std::vector<uint8_t> b = one;
        for (const auto& [at, v] : fields) put_le32(b, at, v);
        return b;
    };
    const auto with_byte = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> b = one;
        b[at] = v;
        return b;
    };
    std::vector<DamagedScp> out;
    out.push_back({"short_header", {one.begin(), one.begin() + 10}, t00, "shorter than its 16-byte header"});
    out.push_back({"eight_bit_words", with_byte(9, 8), t00, "flux words of 8 bits (only 16-bit words are read)"});
    out.push_back({"extended_mode", with_byte(8, 0xC1), t00,
                   "extended mode (a tape or hard drive image), not a floppy image"});
    out.push_back({"no_revolutions", with_byte(5, 0), t00, "no revolution per track (revolutions byte 0)"});
    out.push_back({"three_heads", with_byte(0x0A, 3), t00, "heads byte 3 (0, 1 or 2 expected)"});

    // What the reader says of an image whose bytes no longer add up to its checksum.
    const auto checksum_fault = [](const std::vector<uint8_t>& image) {
        uint32_t sum = 0;
        for (size_t i = kScpChecksumAt + 4; i < image.size(); ++i) sum += image[i];
        uint32_t stated = 0;
        for (int i = 3; i >= 0; --i) stated = stated << 8 | image[kScpChecksumAt + static_cast<size_t>(i)];
        char text[96];
        std::snprintf(text, sizeof text, "checksum 0x%08X, but the bytes sum to 0x%08X: damaged or cut", stated, sum);
        return std::string(text);
    };
    std::vector<uint8_t> flipped = encode_scp({{t00, plain_flux()}});
    flipped[rev_at[1]] ^= 0x01;
    out.push_back({"bad_checksum", flipped, t00, checksum_fault(flipped)});
    std::vector<uint8_t> cut = encode_scp({{t00, plain_flux()}});
    cut.resize(rev_at[2] + 100);
    out.push_back({"cut_with_checksum", cut, t00, checksum_fault(cut)});
    std::vector<uint8_t> cut_plain(one.begin(), one.begin() + static_cast<long>(rev_at[2] + 100));
    out.push_back({"cut", cut_plain, t00, "track 0.0 revolution 3: 100 flux words at " + hex(rev_at[2]) +
                                              " run past the end of the file"});

    out.push_back({"entry_in_table", with({{scp_table_entry_at({0, 1}), 0x10}}), t00,
                   "table entry 1 points into the header or the table (0x10)"});
    out.push_back({"entry_past_end", with({{scp_table_entry_at({1, 0}), static_cast<uint32_t>(one.size() - 10)}}), t00,
                   "table entry 2: the track header at " + hex(one.size() - 10) + " runs past the end of the file"});
    out.push_back({"track_absent", one, {5, 1}, "track 5.1 is not in the image"});
    out.push_back({"no_trk", with_byte(h, 'X'), t00, "track 0.0: no track header at " + hex(h)});
    out.push_back({"wrong_track_number", with_byte(h + 3, 7), t00,
                   "track 0.0: the track header at " + hex(h) + " is for table entry 7, not 0"});
    out.push_back({"words_in_track_header", with({{h + 4 + 8, 8}}), t00,
                   "track 0.0 revolution 1: its flux words at offset 8 lie in its track header"});
    out.push_back({"length_all_ones", with({{h + 16 + 4, 0xFFFFFFFF}}), t00,
                   "track 0.0 revolution 2: 4294967295 flux words at " + hex(rev_at[1]) +
                       " run past the end of the file"});
    out.push_back({"offset_all_ones", with({{h + 4 + 8, 0xFFFFFFF0}}), t00,
                   "track 0.0 revolution 1: 100 flux words at " + hex(h + 0xFFFFFFF0) +
                       " run past the end of the file"});
    // Every revolution names all the track's words: three times what the file holds.
    out.push_back({"revolutions_fill_memory",
                   with({{h + 8, 300}, {h + 12, 40}, {h + 20, 300}, {h + 24, 40}, {h + 32, 300}, {h + 36, 40}}), t00,
                   "track 0.0: its revolutions hold more flux words than the file"});
    std::vector<uint8_t> half_tracks = with({{scp_table_entry_at({0, 1}), static_cast<uint32_t>(h)}});
    half_tracks[4] = 0x00;
    half_tracks[0x0A] = 1;
    out.push_back({"half_tracks", half_tracks, t00,
                   "a single-head image with half-tracks (disk type 0x00) is not read"});

    return out;
}

}  // namespace quen::synth
