// The decoders read the separator's results shared across one analysis, and the sector
// decodes take up each revolution's approach read once: whatever the track, that must
// find what each decoder stepping the separator afresh from the index finds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "stream/capture_load.h"
#include "support/builder.h"
#include "support/capture.h"
#include "support/decoders.h"
#include "support/run_helper.h"

namespace quen::testing {
namespace {

// Every field of what the decoders found, one line per area, so that a difference
// shows where it lies.
std::string describe(const AreaInfo& a) {
    char line[160];
    std::snprintf(line, sizeof line, "bytes=%u len=%u pos=%u crc=%04x TMV=%u BRD=%u BS=%u IDG=%u over=%u under=%u\n",
                  a.bytes, a.length_ns, a.position_ns, a.crc, a.TMV, a.BRD, a.BS, a.IDG, a.over_clocked,
                  a.under_clocked);
    return line;
}

std::string describe(const IdFieldRecord& r) {
    char line[96];
    std::snprintf(line, sizeof line, "T=%u H=%u S=%u Z=%u id_crc=%04x data_crc=%04x\n", r.T, r.H, r.S, r.Z, r.id_crc,
                  r.data_crc);
    return line;
}

std::string describe(const ByteBuffer& b) {
    std::string s = "buffer " + std::to_string(b.count) + "\n";
    for (uint32_t i = 0; i < b.count; ++i) {
        const DecodedByte& e = b.entries[i];
        s += std::to_string(e.data) + " " + std::to_string(e.clock) + " " + std::to_string(e.clk) + " " +
             std::to_string(e.position_ns) + "\n";
    }
    return s;
}

std::string describe(const DecodedTrack& d) {
    std::string s = "track total=" + std::to_string(d.track.total_ns) + " bytes=" +
                    std::to_string(d.track.byte_count) + " noflux=" + std::to_string(d.track.noflux_ns) + " id " +
                    std::to_string(d.track.id_good) + "/" + std::to_string(d.track.id_bad) + " data " +
                    std::to_string(d.track.data_good) + "/" + std::to_string(d.track.data_bad) + " synch " +
                    std::to_string(d.track.synch_good) + "/" + std::to_string(d.track.synch_bad) + "\n";
    for (const SectorSlot& slot : d.track.slots) {
        s += "slot used=" + std::to_string(slot.used) + " " + describe(static_cast<const IdFieldRecord&>(slot));
        for (const AreaInfo& a : slot.areas) s += describe(a);
    }
    s += describe(d.track_buffer);
    s += "ids " + std::to_string(d.ids.id_count) + "\n";
    for (uint32_t i = 0; i < d.ids.id_count; ++i) s += describe(d.ids.ids[i]);
    s += describe(d.id_buffer);
    for (size_t i = 0; i < d.sectors.size(); ++i) {
        const SectorLayout& l = d.sectors[i];
        s += "sector found=" + std::to_string(d.found[i]) + " DOI=" + std::to_string(l.DOI) +
             " data=" + std::to_string(l.has_data) + " FZP=" + std::to_string(l.FZP) +
             " start=" + std::to_string(l.data_start) + " noflux=" + std::to_string(l.noflux_ns) + " " +
             describe(static_cast<const IdFieldRecord&>(l));
        for (const AreaInfo& a : l.areas) s += describe(a);
        s += describe(d.sector_buffers[i]);
    }
    s += "skipped " + std::to_string(d.passes_skipped) + "\n";
    return s;
}

std::vector<uint8_t> sample_bytes() {
    const std::string s = read_file(std::string(QUEN_SOURCE_DIR) + "/samples/dd9.raw");
    return {s.begin(), s.end()};
}

std::vector<uint8_t> damaged_sample(synth::Damage damage, uint32_t seed) {
    std::vector<uint8_t> bytes = sample_bytes();
    synth::damage_stream(bytes, damage, seed);
    return bytes;
}

std::vector<uint8_t> standard_track_stream() {
    return synth::track_stream(synth::build_track(synth::standard_track()));
}

std::vector<uint8_t> jittered_track_stream() {
    synth::FluxTiming timing;
    timing.jitter_ns = 600.0;
    return synth::track_stream(synth::build_track(synth::standard_track()), 4, timing);
}

constexpr uint64_t kAmple = UINT64_MAX;

struct PathCase {
    const char* name;
    std::vector<uint8_t> (*stream)();
    bool verbose;
    bool all_areas;  // -f
    bool pll_off;    // -p
    uint8_t revolution;  // 0-based
    uint64_t diag_bytes = WorkLimits::kDiagBytes;
};

const PathCase kPathCases[] = {
    {"standard track", standard_track_stream, true, false, false, 0},
    {"standard track, all areas, second revolution", standard_track_stream, true, true, false, 1},
    {"standard track, PLL off", standard_track_stream, false, false, true, 0},
    {"jittered track", jittered_track_stream, true, true, false, 2},
    {"sample", sample_bytes, true, false, false, 0},
    {"sample, all areas, PLL off", sample_bytes, true, true, true, 1},
    {"sample, -v cut short", sample_bytes, true, false, false, 0, 20000},
    {"sample, scattered byte errors", [] { return damaged_sample(synth::Damage::kScatteredBytes, 1); }, true, true,
     false, 0},
    {"sample, scattered byte errors again", [] { return damaged_sample(synth::Damage::kScatteredBytes, 7); }, true,
     false, true, 1},
    {"sample, garbage burst", [] { return damaged_sample(synth::Damage::kGarbageBurst, 2); }, true, true, false, 0},
    {"sample, garbage burst again", [] { return damaged_sample(synth::Damage::kGarbageBurst, 9); }, true, false,
     false, 1},
    {"sample, no-flux stretch", [] { return damaged_sample(synth::Damage::kNoFluxStretch, 3); }, true, true, true, 0},
    {"sample, no-flux stretch again", [] { return damaged_sample(synth::Damage::kNoFluxStretch, 11); }, true, false,
     false, 0},
    {"sample, cut short", [] { return damaged_sample(synth::Damage::kCutShort, 4); }, true, true, false, 0},
    {"hostile noise, -v cut in the sector decodes", [] { return synth::hostile_stream(synth::HostileShape::kNoise, 2); },
     true, false, false, 0, 200000},
    {"hostile short intervals", [] { return synth::hostile_stream(synth::HostileShape::kShortIntervals, 2); }, true,
     false, false, 0, 300000},
    {"noisy revolutions, every text kept", [] { return synth::noisy_revolutions_stream(6, 3000); }, true, false,
     false, 0, kAmple},
    {"noisy revolutions, limit in the first texts", [] { return synth::noisy_revolutions_stream(24, 3000); }, true,
     false, false, 0, 1000000},
    {"noisy revolutions, limit below one text", [] { return synth::noisy_revolutions_stream(24, 3000); }, true, false,
     false, 0, 500000},
};

TEST(DecoderPaths, SharedResultsFindWhatEachDecoderFindsAlone) {
    for (const PathCase& c : kPathCases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = c.stream();
        Capture load_err;
        const CaptureLoad load = load_capture(bytes.data(), bytes.size(), "track.raw", std::nullopt, load_err.get());
        if (!load.capture) {
            // A stream cut too short to decode reaches no decoder.
            EXPECT_NE(load.fault, CaptureLoad::Fault::None);
            continue;
        }
        // Revolutions past the stream's end are refused before the decoders run.
        if (load.capture->index_count < 4 || c.revolution + 1u > load.capture->index_count - 1) continue;
        RunOptions opts;
        opts.verbose = c.verbose;
        opts.sector_all_areas = c.all_areas;
        opts.pll_off = c.pll_off;
        opts.revolution = c.revolution;
        opts.limits = {kAmple, c.diag_bytes};
        const DecodedTrack shared = decode_all(*load.capture, DecoderPath::kShared, opts);
        const DecodedTrack plain = decode_all(*load.capture, DecoderPath::kPlain, opts);
        EXPECT_TRUE(describe(shared) == describe(plain)) << describe(shared).size() << " against "
                                                         << describe(plain).size();
        EXPECT_TRUE(shared.text == plain.text) << shared.text.size() << " bytes against " << plain.text.size();
        if (c.verbose) {
            EXPECT_FALSE(shared.text.empty());
        }
    }
}

}  // namespace
}  // namespace quen::testing
