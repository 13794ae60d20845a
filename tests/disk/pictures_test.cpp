// The disk map, the timing pictures and what they are drawn from: the run's placed
// sectors and flux timing, the states the summary gives the fields, and the choice and
// progress of the ploticus pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decode/flux_timing.h"
#include "disk/disk_map.h"
#include "disk/pictures.h"
#include "disk/summary.h"
#include "disk/timing_svg.h"
#include "disk/workers.h"
#include "driver/analysis.h"
#include "protect/prot.h"
#include "support/builder.h"
#include "support/capture.h"

namespace quen::testing {
namespace {

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(FluxTiming, PlacesEachIntervalInItsBinColumnAndRow) {
    const struct {
        uint32_t at_ns;
        int32_t interval_ns;
        size_t bin, column, row;
    } cases[] = {
        {0, 4000, 80, 0, 40},
        {100'000'000, 6049, 120, 300, 60},         // half way round
        {199'999'999, 7999, 159, 599, 79},          // the last column
        {200'000'000, 8000, 160, 599, 80},          // at the end: still the last column
        {50'000'000, 12'800, 255, 150, 127},        // the first length past the range...
        {50'000'000, 250'000, 255, 150, 127},       // ...and a no-flux area go to the top
        {50'000'000, -5, 0, 150, 0},                // a wrapped sum is no length
    };
    for (const auto& c : cases) {
        FluxTiming t;
        t.revolution_ns = 200'000'000;
        t.add(c.at_ns, c.interval_ns);
        EXPECT_EQ(t.histogram[c.bin], 1u) << c.interval_ns;
        EXPECT_TRUE(t.occupied(c.column, c.row)) << c.at_ns << " " << c.interval_ns;
        EXPECT_EQ(t.intervals, 1u);
    }
}

RunFigures figures_of(const std::vector<uint8_t>& bytes, uint8_t detail = kDetailSummary) {
    Capture out;
    const std::unique_ptr<FluxCapture> stream =
        load_stream_bytes(bytes.data(), bytes.size(), "track.raw", out.get()).capture;
    CaptureAnalysis analysis(*stream, "track.raw");
    RunOptions opts;
    opts.print_buffers = false;
    RunFigures figures;
    EXPECT_EQ(analysis.run(opts, {out.get(), out.get(), out.get()}, figures, detail), AnalysisEnd::Completed);
    return figures;
}

TEST(FluxTiming, SummarisesTheAnalysedRevolutionOnlyWhenAsked) {
    synth::TrackPlan plan = synth::standard_track(1, 0);
    plan.sectors[1].data_mark = 0xF8;       // sector 2 deleted
    plan.sectors[3].data_crc = 0x1234;      // sector 4 bad
    const std::vector<uint8_t> stream = synth::track_stream(synth::build_track(plan));
    for (uint8_t wanted : {kDetailSummary, kDetailTiming}) {
        const RunFigures figures = figures_of(stream, wanted);
        ASSERT_EQ(figures.placed.size(), 9u);
        for (size_t i = 0; i < figures.placed.size(); ++i) {
            const PlacedSectorFigure& p = figures.placed[i];
            EXPECT_EQ(p.sector, i + 1);
            EXPECT_EQ(p.mark == DataMark::kDeleted, p.sector == 2) << int(p.sector);
            EXPECT_EQ(p.data_crc_ok, p.sector != 4) << int(p.sector);
            EXPECT_TRUE(p.id_crc_ok);
            // 7 ID bytes and 515 data bytes of 32 us each.
            EXPECT_NEAR(p.id.length_ns, 7 * 32000, 4000);  // within a cell or two of framing
            EXPECT_NEAR(p.data.length_ns, 515 * 32000, 4000);
            EXPECT_GT(p.data.position_ns, p.id.position_ns + p.id.length_ns);
            if (i > 0) {
                EXPECT_GT(p.id.position_ns, figures.placed[i - 1].data.position_ns);
            }
        }
        EXPECT_EQ(figures.timing != nullptr, wanted == kDetailTiming);
        if (!figures.timing) continue;
        const FluxTiming& t = *figures.timing;
        EXPECT_NEAR(t.revolution_ns, figures.track_ns, 1);
        // Clean double density: the 4, 6 and 8 us peaks hold every interval but the one
        // the index cuts.
        uint32_t in_peaks = 0;
        for (size_t us : {4, 6, 8}) {
            for (size_t bin = us * 20 - 3; bin <= us * 20 + 3; ++bin) in_peaks += t.histogram[bin];
        }
        EXPECT_GE(in_peaks + 1, t.intervals);
        EXPECT_GT(t.intervals, 39'000u);
    }
}

// A track of gap bytes and a sync zone that no mark follows holds no sector to place.
TEST(FluxTiming, NoSectorPlacedOnATrackWithoutMarks) {
    synth::MfmCells blank;
    blank.bytes(0x4E, 3000);
    blank.bytes(0x00, 3250);
    EXPECT_TRUE(figures_of(synth::track_stream(blank)).placed.empty());
}

disk::TrackSummary mapped_track(int track, int side) {
    disk::TrackSummary t;
    t.file_name = "track00.0.raw";
    t.track = track;
    t.side = side;
    t.track_ns = 200'000'000;
    return t;
}

TEST(DiskMap, OneShapeAPerSectorColouredByItsState) {
    using F = disk::FieldState;
    disk::TrackSummary formatted = mapped_track(0, 0);
    formatted.map = {{1, {1'000'000, 112'000}, {2'000'000, 8'240'000}, F::Good, F::Good},
                     {2, {12'000'000, 112'000}, {13'000'000, 8'240'000}, F::BadCrc, F::Weak},
                     {3, {0, 0}, {24'000'000, 8'240'000}, F::Good, F::Deleted},  // a data field on its own
                     {4, {35'000'000, 112'000}, {0, 0}, F::Finding, F::Good}};   // an ID without data
    disk::TrackSummary blank = mapped_track(1, 0);
    disk::TrackSummary failed = mapped_track(1, 1);
    failed.failure = RunFailure::Undecodable;
    failed.failure_reason = "not <a> stream";
    const std::string svg = disk::disk_map_svg({formatted, blank, failed}, [](const disk::TrackSummary& t) {
        return disk::MapLinks{"#row" + std::to_string(t.track), t.track == 0 ? "r&amp;0.txt" : ""};
    });
    EXPECT_EQ(count(svg, "<a class=\"sec\" href=\"#row0\">"), 4u);
    EXPECT_EQ(count(svg, "<rect class=\"f-"), 6u);
    for (const char* state : {"good", "bad-crc", "weak", "deleted", "finding"}) {
        EXPECT_NE(svg.find("<rect class=\"f-" + std::string(state)), std::string::npos) << state;
    }
    // An ID field is a sliver of the revolution: it is drawn at least 2 px wide.
    EXPECT_NE(svg.find("width=\"2.0\" height=\"8\"><title>Track 00 side 0 sector 1: ID field at 1.00 ms, 0.11 ms long: "
                       "good</title>"),
              std::string::npos);
    EXPECT_EQ(count(svg, "class=\"unformatted\""), 1u);
    EXPECT_NE(svg.find("<title>Track 01 side 1: failed, not &lt;a&gt; stream</title>"), std::string::npos);
    EXPECT_NE(svg.find("<a href=\"r&amp;0.txt\"><text"), std::string::npos);  // the track number leads to its report
    EXPECT_EQ(count(svg, "<g class=\"side\""), 2u);
    EXPECT_EQ(svg.find("<script"), std::string::npos);
}

TEST(TrackSummary, MapStatesFromTheRunsFigures) {
    using F = disk::FieldState;
    constexpr int32_t kNone = -1;
    constexpr auto kSbd = static_cast<int32_t>(ProtType::SBD);
    constexpr auto kSid = static_cast<int32_t>(ProtType::SID);  // a note where the sector reads well
    const struct {
        const char* what;
        PlacedSectorFigure placed;
        uint16_t fuzzy;
        int32_t finding;  // the kind of a finding on sector 1
        F id, data;
        bool survives = true;
    } cases[] = {
        {"good", {1, {}, {}, true, true, DataMark::kNormal}, 0, kNone, F::Good, F::Good},
        {"bad ID", {1, {}, {}, false, true, DataMark::kNormal}, 0, kNone, F::BadCrc, F::Good},
        {"bad data", {1, {}, {}, true, false, DataMark::kNormal}, 0, kNone, F::Good, F::BadCrc},
        {"weak before bad", {1, {}, {}, true, false, DataMark::kNormal}, 12, kNone, F::Good, F::Weak},
        {"deleted", {1, {}, {}, true, true, DataMark::kDeleted}, 0, kNone, F::Good, F::Deleted},
        {"deleted before finding", {1, {}, {}, true, true, DataMark::kDeleted}, 0, kSbd, F::Finding, F::Deleted},
        {"finding", {1, {}, {}, true, true, DataMark::kNormal}, 0, kSbd, F::Finding, F::Finding},
        {"finding only in the default mode", {1, {}, {}, true, true, DataMark::kNormal}, 0, kSbd, F::Good, F::Good,
         false},
        {"bad CRC before finding", {1, {}, {}, false, false, DataMark::kNormal}, 0, kSbd, F::BadCrc, F::BadCrc},
        {"another sector's finding", {2, {}, {}, true, true, DataMark::kNormal}, 0, kSbd, F::Good, F::Good},
        {"note", {1, {}, {}, true, true, DataMark::kNormal}, 0, kSid, F::Note, F::Note},
        {"ID re-framed by an incidental pattern", {1, {}, {}, false, true, DataMark::kNormal}, 0, kSid, F::Note,
         F::Note},
    };
    for (const auto& c : cases) {
        RunFigures main;
        main.completed = true;
        main.sectors = {{1, true, true, true, c.fuzzy}};
        if (c.finding != kNone) main.findings = {{c.finding, 1, -1}};
        main.placed = {c.placed};
        RunFigures no_sync = main;
        if (!c.survives) no_sync.findings.clear();
        disk::TrackSummary t;
        disk::summarise_track(t, main, &no_sync);
        ASSERT_EQ(t.map.size(), 1u) << c.what;
        EXPECT_STREQ(disk::field_state_word(t.map[0].id_state), disk::field_state_word(c.id)) << c.what;
        EXPECT_STREQ(disk::field_state_word(t.map[0].data_state), disk::field_state_word(c.data)) << c.what;
    }
}

// However noisy the revolution, a scatter stays small: at most a few segments per column.
TEST(TimingSvg, StaysSmallAndEscapesItsCaption) {
    FluxTiming noise;
    noise.revolution_ns = 200'000'000;
    FluxTiming peaks = noise;
    for (size_t column = 0; column < FluxTiming::kColumns; ++column) {
        for (size_t row = 0; row < FluxTiming::kRows; row += 2) {
            noise.add(static_cast<uint32_t>(column * 333'334), static_cast<int32_t>(row * 100));
        }
        for (int32_t ns : {4000, 6000, 8000}) peaks.add(static_cast<uint32_t>(column * 333'334), ns);
    }
    const struct {
        const FluxTiming* timing;
        size_t segments;
    } cases[] = {{&noise, FluxTiming::kColumns * disk::kMaxSegmentsPerColumn}, {&peaks, FluxTiming::kColumns * 3}};
    for (const auto& c : cases) {
        const std::string scatter = disk::timing_scatter_svg(*c.timing, "<T&1>", disk::SvgStyle::kEmbedded);
        EXPECT_EQ(count(scatter, "V") - count(scatter, "DejaVu"), c.segments);
        EXPECT_LT(scatter.size(), 100'000u);
        const std::string histogram = disk::timing_histogram_svg(*c.timing, "<T&1>", disk::SvgStyle::kFromPage);
        for (const std::string* svg : {&scatter, &histogram}) {
            EXPECT_EQ(svg->find("<T&1>"), std::string::npos);
            EXPECT_NE(svg->find("&lt;T&amp;1&gt;: "), std::string::npos);
        }
        EXPECT_EQ(count(scatter, "<style>"), 1u);
        EXPECT_EQ(count(histogram, "<style>"), 0u);
    }
    // One bar per bin that holds an interval.
    EXPECT_EQ(count(disk::timing_histogram_svg(peaks, "t", disk::SvgStyle::kFromPage), "z"), 3u);
}

TEST(Pictures, ChoiceOfPictures) {
    const struct {
        std::string list;
        std::string choice;  // empty: refused
    } cases[] = {
        {"layout,allsect", "layout,allsect"},
        {"sec_data,layout,sec_data", "sec_data,layout"},
        {"all", "layout,trans,allsect,sec_layout,sec_data,sec_trans"},
        {"layout,", ""},
        {"", ""},
        {"layout,frob", ""},
        {"all,layout", ""},
    };
    for (const auto& c : cases) {
        if (c.choice.empty()) {
            EXPECT_THROW(disk::picture_choice(c.list), disk::DiskError) << c.list;
        } else {
            EXPECT_EQ(disk::picture_choice(c.list), c.choice) << c.list;
        }
    }
}

// In a log, a line for each tenth of the work, however many items.
TEST(Pictures, ProgressInALog) {
    const struct {
        size_t n;
        std::vector<size_t> told;
    } cases[] = {
        {160, {16, 32, 48, 64, 80, 96, 112, 128, 144, 160}},
        {3, {1, 2, 3}},
        {25, {3, 5, 8, 10, 13, 15, 18, 20, 23, 25}},
    };
    for (const auto& c : cases) {
        const std::string log = capture([&](FILE* f) {
            const disk::ProgressFn progress = disk::progress_log(f, "pictures");
            for (size_t k = 1; k <= c.n; ++k) progress(k, c.n, "track00.0.raw");
        });
        std::vector<std::string> lines = lines_of(log);
        ASSERT_EQ(lines.size(), c.told.size()) << log;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i], "pictures: " + std::to_string(c.told[i]) + " of " + std::to_string(c.n) +
                                    " started (" + std::to_string(c.told[i] * 100 / c.n) + "%)");
        }
    }
}

}  // namespace
}  // namespace quen::testing
