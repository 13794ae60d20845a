// Whole runs on track sides of SCP images: the same track as a stream and as an image
// gives the same analysis, and a damaged image ends the run with one line.
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/run_helper.h"
#include "support/scp_builder.h"

namespace quen::testing {
namespace {

const char kAbnormal[] = "Abnormal termination code 2\n   Press return to exit program\n";

// The report from its third line on: the banner and the stream line name the input.
std::string after_stream_line(const std::string& report) {
    const size_t banner = report.find('\n');
    const size_t stream = report.find('\n', banner + 1);
    return stream == std::string::npos ? "" : report.substr(stream + 1);
}

std::string stream_line(const std::string& report) {
    const size_t banner = report.find('\n');
    return report.substr(banner + 1, report.find('\n', banner + 1) - banner);
}

// Two sides of one cylinder: a plain one, and one with a bad DATA CRC, a deleted-data
// mark and data that differs between revolutions.
std::vector<synth::MfmCells> side_revolutions(uint8_t side) {
    synth::TrackPlan plan = synth::standard_track(2, side);
    if (side == 0) return {synth::build_track(plan), synth::build_track(plan), synth::build_track(plan)};
    plan.sectors[1].data_crc = 0x1234;
    plan.sectors[4].data_mark = 0xF8;
    const synth::MfmCells first = synth::build_track(plan);
    plan.sectors[6].data = synth::pattern_data(512);
    plan.sectors[6].data[100] ^= 0x08;
    return {first, synth::build_track(plan), first};
}

synth::FluxTiming jittered(double sck) {
    synth::FluxTiming t;
    t.sck = sck;
    t.jitter_ns = 120.0;
    t.seed = 11;
    return t;
}

TEST(ScpRun, SameTicksAsAStreamGiveTheSameReport) {
    const synth::FluxTiming timing = jittered(kScpSampleClock);
    const synth::FluxTrack side0 = synth::revolutions_to_flux(side_revolutions(0), timing);
    const synth::FluxTrack side1 = synth::revolutions_to_flux(side_revolutions(1), timing);
    const std::string image = write_temp_file(synth::encode_scp({{{2, 0}, side0}, {{2, 1}, side1}}), "disk.scp");
    const std::string stream = write_temp_file(synth::stream_at_scp_clock(side1));
    const std::vector<std::string> option_sets[] = {{}, {"-v"}, {"-fc"}, {"-r2", "-m"}, {"-r3", "-p"}};
    for (const std::vector<std::string>& options : option_sets) {
        SCOPED_TRACE(options.empty() ? "no option" : options[0]);
        std::vector<std::string> scp_args = options;
        scp_args.insert(scp_args.end(), {"--track", "2.1", image});
        std::vector<std::string> raw_args = options;
        raw_args.push_back(stream);
        const RunResult a = run_analyser(scp_args);
        const RunResult b = run_analyser(raw_args);
        ASSERT_EQ(a.code, 1) << a.err;
        ASSERT_EQ(b.code, 1) << b.err;
        EXPECT_EQ(stream_line(a.out), "  Stream file '" + image + "' track 2.1 3 revolutions - Average RPM=300\n");
        EXPECT_EQ(after_stream_line(a.out), after_stream_line(b.out));
        EXPECT_EQ(a.err, b.err);
    }
}

RunFigures figures_of(const std::string& path, std::optional<TrackSide> track = std::nullopt) {
    AnalysisResult r = analyse_file(path, {}, track);
    EXPECT_EQ(r.code, 1) << r.err;
    return std::move(r.figures);
}

// The decoded bytes of every hex dump line, without the times and clocks beside them.
std::string dumped_bytes(const std::string& report) {
    static const std::regex line("^  [0-9a-f]{4} +[0-9]+ +[0-9]+  (.*)$");
    std::string bytes;
    for (const std::string& l : lines_of(report)) {
        std::smatch m;
        if (std::regex_match(l, m, line)) bytes += m[1].str() + "\n";
    }
    return bytes;
}

// At its own clock each capture times the transitions a little differently, but what
// is read from them is the same.
TEST(ScpRun, StreamAndImageOfOneTrackReadTheSame) {
    const std::vector<synth::MfmCells> revs = side_revolutions(1);
    const std::string stream = write_temp_file(synth::revolutions_to_stream(revs, jittered(kDefaultSampleClock)));
    const synth::FluxTrack flux = synth::revolutions_to_flux(revs, jittered(kScpSampleClock));
    const std::string image = write_temp_file(synth::encode_scp({{{2, 1}, flux}}), "disk.scp");

    const RunFigures a = figures_of(image, TrackSide{2, 1});
    const RunFigures b = figures_of(stream);
    ASSERT_TRUE(a.completed);
    const auto counts = [](const RunFigures& f) {
        return std::vector<int>{f.revolutions, f.track_bytes, f.id_good, f.id_bad, f.data_good, f.data_bad,
                                f.synch_good, f.synch_bad};
    };
    EXPECT_EQ(counts(a), counts(b));
    const auto sectors = [](const RunFigures& f) {
        std::vector<int> v;
        for (const IdFigure& id : f.ids) v.insert(v.end(), {id.sector, id.crc_ok});
        for (const SectorFigure& s : f.sectors) v.insert(v.end(), {s.data_crc_ok, s.fuzzy_position});
        for (const FindingFigure& p : f.findings) v.insert(v.end(), {p.kind, p.sector});
        return v;
    };
    EXPECT_EQ(sectors(a), sectors(b));
    ASSERT_EQ(a.sectors.size(), 9u);
    EXPECT_FALSE(a.sectors[1].data_crc_ok);
    EXPECT_NE(a.sectors[6].fuzzy_position, 0);
    const std::string bytes = dumped_bytes(run_analyser({"--track", "2.1", image}).out);
    EXPECT_GT(bytes.size(), 6000u * 3);
    EXPECT_EQ(bytes, dumped_bytes(run_analyser({stream}).out));
}

TEST(ScpRun, ADamagedImageEndsWithOneLine) {
    for (const synth::DamagedScp& d : synth::damaged_scp_images()) {
        SCOPED_TRACE(d.name);
        const std::string image = write_temp_file(d.image, "d.scp");
        const std::string side = std::to_string(d.track.cylinder) + "." + std::to_string(d.track.side);
        const RunResult r = run_analyser({"-b", "--track", side, image});
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, "SCP file '" + image + "': " + d.fault + "\n");
        EXPECT_EQ(r.out, kAbnormal);
    }
}

TEST(ScpRun, TrackSideIsForImagesAndImagesNeedIt) {
    const synth::FluxTrack flux = synth::revolutions_to_flux(side_revolutions(0), jittered(kScpSampleClock));
    const std::string image = write_temp_file(synth::encode_scp({{{2, 0}, flux}}), "disk.scp");
    const std::string stream = write_temp_file(synth::stream_at_scp_clock(flux));
    struct Case {
        std::vector<std::string> args;
        std::string err;
        std::string out;  // the start of standard output
    };
    const Case cases[] = {
        {{"--track", "2.0", stream},
         "Stream file '" + stream + "' holds one track side: --track is only for SCP images\n", kAbnormal},
        {{image}, "SCP file '" + image + "': --track C.S is required, an image holds many tracks\n", kAbnormal},
        // After the input, it is the output's name: options come first.
        {{image, "--track", "2.0"}, "SCP file '" + image + "': --track C.S is required, an image holds many tracks\n",
         kAbnormal},
        {{"--track", "2.1", image}, "SCP file '" + image + "': track 2.1 is not in the image\n", kAbnormal},
        {{"-b", "--track", "2.0", "-r4", image}, "Invalid value 4 for revolution number\n", "QuenAnalyze V1.2 ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const RunResult r = run_analyser(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
    }
}

}  // namespace
}  // namespace quen::testing
