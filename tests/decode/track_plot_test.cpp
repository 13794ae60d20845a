#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "decode/track_plot.h"
#include "support/records.h"
#include "support/run_helper.h"
#include "track_fixture.h"

namespace quen::track_test {
namespace {

namespace fs = std::filesystem;
using quen::testing::make_temp_dir;
using quen::testing::read_file;
using quen::testing::area;

constexpr const char* kTransHeader = "//\n// Pos      clk  flux color\n//\n";
constexpr const char* kLayoutHeader = "//\n//strt end    phase\n//\n";

// A fresh plot directory, removed with everything in it at the end of the test.
struct TempDir {
    TempDir() : path(make_temp_dir()) {}
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string path;
};

struct PlotRun {
    TrackRun run;
    std::string dir;
    std::string err;
    bool stopped = false;  // the run was told to end
};

PlotRun decode_with_plot(const std::vector<uint32_t>& intervals, RunOptions opts, const std::string& dir) {
    PlotRun p;
    p.dir = dir;
    testing::Capture err;
    opts.plot = true;
    opts.plot_dir = p.dir;
    opts.err_out = err.get();
    RunStop stop;
    opts.stop = &stop;
    p.run = decode_intervals(intervals, opts);
    p.stopped = stop.stopped;
    p.err = err.text();
    return p;
}

// ------------------------------------------------------------------ trans.dat

TEST(TrackPlot, TransitionFileSamplesEveryFifthIntervalFromTheFirst) {
    // With the separator's frequency frozen the bit period stays 4000 ns.
    RunOptions opts;
    opts.pll_off = true;
    const std::vector<uint32_t> intervals = {4000, 4000, 4000, 4000, 4000, 250000,
                                             4000, 4000, 4000, 4000, 5000, 4000};
    const TempDir dir;
    const PlotRun p = decode_with_plot(intervals, opts, dir.path);
    ASSERT_FALSE(p.stopped) << p.err;
    EXPECT_EQ(read_file(p.dir + "/trans.dat"), std::string(kTransHeader) +
                                                   "4          4000  4000 blue\n"
                                                   "270        4000  12000 red\n"
                                                   "291        4000  5000 green\n");
}

TEST(TrackPlot, NegativeIntervalIsCappedLikeAHugeOne) {
    RunOptions opts;
    opts.pll_off = true;
    // 0xFFFFF000 ticks are handed out as -4096 ns.
    const TempDir dir;
    const PlotRun p = decode_with_plot({4000, 4000, 4000, 4000, 4000, 0xFFFFF000u}, opts, dir.path);
    ASSERT_FALSE(p.stopped) << p.err;
    EXPECT_EQ(read_file(p.dir + "/trans.dat"), std::string(kTransHeader) +
                                                   "4          4000  4000 blue\n"
                                                   "15         4000  12000 red\n");
}

// ------------------------------------------------------------------ layout.dat from a decode

TEST(TrackPlot, LayoutFileOfAnIndexMarkTrackWithOneSector) {
    synth::MfmCells c;
    c.bytes(0x4E, 40);
    c.bytes(0x00, 12);
    c.sync_c2(3);
    c.byte(0xFC);
    c.bytes(0x4E, 20);
    synth::SectorPlan s;
    s.sector = 1;
    synth::write_sector(c, s);
    const std::vector<uint32_t> intervals = intervals_from_cells(c);
    const TempDir dir;
    const PlotRun p = decode_with_plot(intervals, RunOptions{}, dir.path);
    ASSERT_FALSE(p.stopped) << p.err;
    EXPECT_EQ(p.err, "");
    // GAP1 1282 + IAM 512 + GAP1a 640 us; the sector's areas follow from 2434 us on,
    // the last of its 80 4E bytes never completed.
    EXPECT_EQ(read_file(p.dir + "/layout.dat"),
              std::string(kLayoutHeader) +
                  "0      2434   G1 brightgreen\n"
                  "2434   2912   G2 green\n"
                  "2912   3136   1 yellow\n"
                  "3136   4320   G3 kelleygreen\n"
                  "4320   20802  \"DATA for Sector 1 Position=4320 Length=16482 Avg Clock=4.00\" blue\n"
                  "20802  23330  G4 teal\n");
    const std::string trans = read_file(p.dir + "/trans.dat");
    ASSERT_EQ(trans.rfind(kTransHeader, 0), 0u);
    const size_t lines = static_cast<size_t>(std::count(trans.begin(), trans.end(), '\n')) - 3;
    EXPECT_EQ(lines, (intervals.size() + 4) / 5);
}

TEST(TrackPlot, NothingIsWrittenWithoutThePlotOption) {
    const TempDir dir;
    RunOptions opts;
    opts.plot_dir = dir.path;
    decode_intervals({4000, 4000}, opts);
    EXPECT_TRUE(fs::is_empty(dir.path));
}

// ------------------------------------------------------------------ layout.dat lines

std::string layout_text(const TrackLayout& layout) {
    return testing::capture([&](FILE* f) { write_track_layout_plot(f, layout); });
}

TEST(TrackPlot, LayoutLinesFollowTheirOwnLengthRules) {
    struct Case {
        const char* name;
        std::function<void(TrackLayout&)> fill;
        std::string lines;
    };
    const Case cases[] = {
        {"head areas each under a microsecond: no G1",
         [](TrackLayout& t) {
             t.slots[0].area(AreaKind::GAP1) = area(1, 0, 999);
             t.slots[0].area(AreaKind::IAM) = area(1, 999, 999);
             t.slots[0].area(AreaKind::GAP1a) = area(1, 1998, 999);
         },
         ""},
        {"G1 sums the head areas' microseconds",
         [](TrackLayout& t) {
             t.slots[0].area(AreaKind::GAP1) = area(1, 0, 1999);
             t.slots[0].area(AreaKind::IAM) = area(1, 1999, 1999);
             t.slots[0].area(AreaKind::GAP1a) = area(1, 3998, 1000);
         },
         "0      3      G1 brightgreen\n"},
        {"short GAP4 is drawn, short GAP2, ID and GAP3 are not",
         [](TrackLayout& t) {
             SectorSlot& s = t.slots[1];
             s.used = 1;
             s.S = 7;
             s.area(AreaKind::GAP2) = area(1, 10000, 999);
             s.area(AreaKind::ID) = area(1, 10999, 999);
             s.area(AreaKind::GAP3) = area(1, 11998, 999);
             s.area(AreaKind::GAP4) = area(1, 12997, 500);
         },
         "12     12     G4 teal\n"},
        {"bad and good DATA",
         [](TrackLayout& t) {
             t.slots[1].used = 1;
             t.slots[1].S = 3;
             t.slots[1].area(AreaKind::DATA) = area(515, 5000000, 16480000, {.crc = 0x1234});
             t.slots[2].used = 1;
             t.slots[2].S = 4;
             t.slots[2].area(AreaKind::DATA) = area(515, 30000000, 16480000);
         },
         "5000   21480  \"DATA for Sector 3 Position=5000 Length=16480 Avg Clock=4.00\" red\n"
         "30000  46480  \"DATA for Sector 4 Position=30000 Length=16480 Avg Clock=4.00\" blue\n"},
        {"drawing stops at the first unused slot",
         [](TrackLayout& t) {
             t.slots[2].used = 1;
             t.slots[2].area(AreaKind::GAP4) = area(1, 100000, 5000);
         },
         ""},
        {"slots beyond the first 25",
         [](TrackLayout& t) {
             t.slots.resize(40);
             for (size_t i = 1; i < 40; ++i) t.slots[i].used = 1;
             t.slots[39].area(AreaKind::GAP3) = area(1, 7000, 2000);
         },
         "7      9      G3 kelleygreen\n"},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        TrackLayout layout;
        init_track_layout(layout);
        tc.fill(layout);
        EXPECT_EQ(layout_text(layout), kLayoutHeader + tc.lines);
    }
}

// ------------------------------------------------------------------ failures

TEST(TrackPlot, LayoutFileThatCannotBeCreatedEndsTheRunBeforeTheTransitionFile) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    fs::create_directory(dir + "/layout.dat");  // a directory cannot be opened for writing
    const PlotRun p = decode_with_plot({4000}, RunOptions{}, dir);
    EXPECT_TRUE(p.stopped);
    EXPECT_EQ(p.err, "Could not open plot layout file\n");
    EXPECT_FALSE(fs::exists(dir + "/trans.dat"));
}

TEST(TrackPlot, TransitionFileThatCannotBeCreatedEndsTheRun) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    fs::create_directory(dir + "/trans.dat");
    const PlotRun p = decode_with_plot({4000}, RunOptions{}, dir);
    EXPECT_TRUE(p.stopped);
    EXPECT_EQ(p.err, "Could not open plot transition file\n");
    EXPECT_TRUE(fs::is_regular_file(dir + "/layout.dat"));
}

TEST(TrackPlot, MissingPlotDirectoryFailsOnTheLayoutFile) {
    const TempDir tmp;
    const PlotRun p = decode_with_plot({4000}, RunOptions{}, tmp.path + "/missing");
    EXPECT_TRUE(p.stopped);
    EXPECT_EQ(p.err, "Could not open plot layout file\n");
}

TEST(TrackPlot, WriteErrorIsReportedWhenTheFileIsClosed) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    for (const char* name : {"layout.dat", "trans.dat"}) {
        SCOPED_TRACE(name);
        const TempDir tmp;
        const std::string& dir = tmp.path;
        fs::create_symlink("/dev/full", dir + "/" + name);
        const PlotRun p = decode_with_plot({4000, 4000}, RunOptions{}, dir);
        EXPECT_TRUE(p.stopped);
        EXPECT_EQ(p.err, "Error writing file " + dir + "/" + name + "\n");
    }
}

}  // namespace
}  // namespace quen::track_test
