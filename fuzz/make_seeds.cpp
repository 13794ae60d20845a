// Writes the seed corpora of the fuzz targets, made with the test stream builder:
// make_seeds DIR writes DIR/stream_reader/* (stream bytes), DIR/scp_reader/* (SCP images)
// and DIR/analysis/* (option bytes, then stream bytes). Every seed stays below the 64 KB the short runs allow.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "run_args.h"
#include "support/builder.h"
#include "support/scp_builder.h"

namespace {

using quen::synth::MfmCells;
using quen::synth::SectorPlan;
using quen::synth::TrackPlan;

// A turn is 100,000 cells of 2000 ns. Short written tracks, the rest of the turn without
// flux, keep several revolutions within 64 KB of stream.
constexpr size_t kCellsPerTurn = 100000;

MfmCells short_track(const std::vector<SectorPlan>& sectors) {
    TrackPlan plan;
    plan.gap1_4e = 20;
    plan.gap1a_4e = 20;
    plan.total_bytes = 0;
    plan.sectors = sectors;
    for (SectorPlan& s : plan.sectors) s.gap4_4e = 24;
    MfmCells cells = quen::synth::build_track(plan);
    cells.no_flux(kCellsPerTurn - cells.size());
    return cells;
}

SectorPlan small_sector(uint8_t number) {
    SectorPlan s;
    s.sector = number;
    s.size_code = 0;  // 128 bytes
    return s;
}

std::vector<uint8_t> jittered(const std::vector<MfmCells>& revs) {
    quen::synth::FluxTiming timing;
    timing.jitter_ns = 60.0;
    timing.seed = 7;
    return quen::synth::revolutions_to_stream(revs, timing);
}

struct Seed {
    std::string name;
    std::vector<uint8_t> stream;
    std::vector<std::vector<uint8_t>> prefixes;  // option bytes of the analysis seeds
};

std::vector<Seed> seeds() {
    namespace f = quen::fuzz;
    std::vector<Seed> out;

    SectorPlan standard;  // 512 bytes, as on a PC floppy
    SectorPlan second_standard;
    second_standard.sector = 2;
    const MfmCells clean = short_track({standard, second_standard});
    const std::vector<uint8_t> clean_stream = jittered({clean, clean, clean, clean});
    out.push_back({"clean",
                   clean_stream,
                   {{0x00, 0x00},
                    {0x20 /* -t */, f::kOutputFile},
                    {0xD4 /* -vcfm */, 4 /* -r2 */},
                    {0x0B /* -spb */, 5 /* -r3 */ | f::kSeparateFlags | f::kExtraLoneDash}}});

    // A bad DATA CRC, data that differs between revolutions, a deleted-data mark and an ID
    // field without data.
    SectorPlan bad_crc = small_sector(1);
    bad_crc.data_crc = 0x1234;
    SectorPlan fuzzy = small_sector(2);
    SectorPlan deleted = small_sector(3);
    deleted.data_mark = 0xF8;
    SectorPlan no_data = small_sector(4);
    no_data.has_data = false;
    const MfmCells first = short_track({bad_crc, fuzzy, deleted, no_data});
    fuzzy.data = quen::synth::pattern_data(128);
    fuzzy.data[40] ^= 0x10;
    const MfmCells second = short_track({bad_crc, fuzzy, deleted, no_data});
    out.push_back({"protected", jittered({first, second, first, second}), {{0x00, 0x00}, {0x24 /* -vt */, 3}}});

    // Many ID fields without data in one revolution, nearly empty revolutions behind it.
    std::vector<SectorPlan> ids;
    for (uint8_t n = 1; n <= 40; ++n) {
        SectorPlan s = small_sector(n);
        s.has_data = false;
        s.gap3_4e = 4;
        ids.push_back(s);
    }
    const MfmCells empty = short_track({});
    out.push_back({"many_ids", jittered({short_track(ids), empty, empty, empty}), {{0x00, 0x00}}});

    const MfmCells one_sector = short_track({small_sector(1)});
    out.push_back({"many_revolutions", jittered(std::vector<MfmCells>(12, one_sector)), {{0x00, 8 /* -r9 */}}});

    // -v text kept for replay in every revolution: what all of them keep together is bounded.
    out.push_back({"noisy_revolutions", quen::synth::noisy_revolutions_stream(4, 2000), {{0x0C /* -vb */, 0x00}}});

    // Malformed: cut short, no EOF, an unknown OOB block, a failed transfer, too few revolutions.
    out.push_back({"truncated", {clean_stream.begin(), clean_stream.begin() + clean_stream.size() / 2}, {{0, 0}}});
    quen::synth::StreamOptions no_eof;
    no_eof.eof = false;
    out.push_back({"no_eof", quen::synth::revolutions_to_stream({clean, clean, clean}, {}, no_eof), {{0, 0}}});
    quen::synth::StreamWriter w;
    w.stream_info(0);
    for (int i = 0; i < 50; ++i) w.flux(100);
    w.oob(0x07, {1, 2, 3, 4});
    w.eof();
    out.push_back({"unknown_oob", w.bytes(), {{0, 0}}});
    quen::synth::StreamWriter failed;
    failed.stream_info(0);
    failed.index(0, 10);
    for (int i = 0; i < 50; ++i) failed.flux(0x700);
    failed.stream_end(failed.stream_pos(), 1);
    failed.eof();
    out.push_back({"transfer_failed", failed.bytes(), {{0, 0}}});
    out.push_back({"two_revolutions", jittered({clean, clean}), {{0, 0}}});
    return out;
}

struct Image {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Images of the short tracks above (about 16 KB a revolution), sound and odd, and every damaged image the reader's
// tests know. The start track byte names the second side the fuzz target reads.
std::vector<Image> scp_seeds() {
    using quen::synth::encode_scp;
    using quen::synth::ScpOptions;
    quen::synth::FluxTiming timing;
    timing.sck = quen::kScpSampleClock;
    timing.jitter_ns = 60.0;
    timing.seed = 7;
    const auto flux = [&](const std::vector<MfmCells>& revs) { return quen::synth::revolutions_to_flux(revs, timing); };
    SectorPlan bad_crc = small_sector(2);
    bad_crc.data_crc = 0x1234;
    const MfmCells clean = short_track({small_sector(1), small_sector(3)});
    const MfmCells damaged = short_track({bad_crc, small_sector(4)});
    std::vector<Image> out;
    out.push_back({"two_sides",
                   encode_scp({{{0, 0}, flux({clean, clean})}, {{1, 1}, flux({damaged})}})});
    ScpOptions rewritable;
    rewritable.flags = 0x9C;  // not cued, 360 rpm, normalised, read/write
    rewritable.checksum = false;
    out.push_back({"not_cued", encode_scp({{{0, 0}, flux({clean, clean, clean})}}, rewritable)});
    ScpOptions single;
    single.heads = 2;
    out.push_back({"side_one_only", encode_scp({{{0, 1}, flux({damaged, damaged, damaged})}}, single)});
    ScpOptions coarse;
    coarse.resolution = 1;
    out.push_back(
        {"coarse", quen::synth::encode_scp_words({{{0, 0}, {{400, {100, 90, 0, 7}}, {300, {80, 60}}}}}, coarse)});
    for (const quen::synth::DamagedScp& d : quen::synth::damaged_scp_images()) {
        out.push_back({"damaged_" + d.name, d.image});
    }
    // The fuzz target reads the side the start track byte names.
    for (Image& i : out) {
        if (i.bytes.size() > 6) i.bytes[6] = 3;
    }
    return out;
}

bool write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir / "stream_reader");
    std::filesystem::create_directories(dir / "analysis");
    std::filesystem::create_directories(dir / "scp_reader");
    for (const Image& i : scp_seeds()) {
        if (!write_file(dir / "scp_reader" / i.name, i.bytes)) {
            std::fprintf(stderr, "make_seeds: cannot write the seed %s\n", i.name.c_str());
            return 1;
        }
    }
    for (const Seed& s : seeds()) {
        bool ok = write_file(dir / "stream_reader" / s.name, s.stream);
        for (size_t i = 0; i < s.prefixes.size(); ++i) {
            std::vector<uint8_t> bytes = s.prefixes[i];
            bytes.insert(bytes.end(), s.stream.begin(), s.stream.end());
            ok = ok && write_file(dir / "analysis" / (s.name + "_" + std::to_string(i)), bytes);
        }
        if (!ok) {
            std::fprintf(stderr, "make_seeds: cannot write the seed %s\n", s.name.c_str());
            return 1;
        }
    }
    return 0;
}
