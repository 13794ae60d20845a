#include <gtest/gtest.h>

#include <filesystem>

#include "sector/sector.h"
#include "sector_fixture.h"
#include "support/run_helper.h"

namespace quen::sectortest {
namespace {

using synth::MfmCells;
using synth::SectorPlan;

constexpr const char* kLayoutHeader = "//\n//st   end    phase\n//\n";
constexpr const char* kTransHeader = "//\n// Pos      clk  flux color\n//\n";
constexpr const char* kDataHeader = "//\n//st   end    DT CK BOTH color_data color_clock color_both\n//\n";

// Sector 3 of the standard track: its ID mark is track byte 1469.
constexpr uint32_t kSector3Ns = 1469 * 32000;

struct Plotted {
    std::string dir;
    SectorLayout layout;
    std::string err;
    bool stopped = false;  // the run was told to end

    std::string file(const char* kind) const { return testing::read_file(dir + "/sec_" + kind + "_3.dat"); }
};

Plotted plot_sector(const QuenStream& s, uint32_t expected_ns = kSector3Ns, const std::string& dir = "") {
    Capture diag, err;
    Plotted p;
    p.dir = dir.empty() ? testing::make_temp_dir() : dir;
    RunOptions opts = capture_opts(diag, err);
    opts.plot = true;
    opts.plot_dir = p.dir;
    ByteBuffer buffer(10000);
    RunStop stop;
    opts.stop = &stop;
    testing::analyse_sector_alone(p.layout, buffer, s, 1, 3, expected_ns, opts);
    p.stopped = stop.stopped;
    p.err = err.text();
    return p;
}

MfmCells sector3_track(const std::function<void(SectorPlan&)>& change = [](SectorPlan&) {}) {
    synth::TrackPlan t = synth::standard_track();
    change(t.sectors[2]);
    return synth::build_track(t);
}

TEST(SectorPlot, WritesTheThreeFilesOfASector) {
    // Revolution 0 reads data byte 39 differently: the sector is fuzzy from position 40.
    const MfmCells plain = sector3_track();
    const MfmCells weak = sector3_track([](SectorPlan& s) {
        s.data = synth::pattern_data(512);
        s.data[39] = 0x00;
    });
    const auto s = mem_stream({weak, plain, plain});
    const Plotted p = plot_sector(*s);
    EXPECT_EQ(p.layout.FZP, 40);
    EXPECT_EQ(p.file("layout"), std::string(kLayoutHeader) +
                                    "//\n//strt end    phase\n//\n"
                                    "47008  47232  3 yellow\n"
                                    "47232  48416  GAP3 kelleygreen\n"
                                    "48416  64898  \"DATA for Sector 3 Position=48416 Length=16482 Avg Clock=4.00\" orange\n"
                                    "64898  67458  GAP4 kelleygreen\n");

    const std::vector<std::string> bytes = lines_of(p.file("data"));
    ASSERT_EQ(bytes.size(), 3 + 4 + 37 + 515 + 80 + 1);
    EXPECT_EQ(p.file("data").substr(0, std::string(kDataHeader).size()), kDataHeader);
    // From the sector byte on; the data mark's synch bytes are yellow.
    EXPECT_EQ(bytes[3], "47106  47136  03 FC AAA5 gray(0.6) gray(0.6) gray(0.6)");
    EXPECT_EQ(bytes[3 + 4 + 34], "48324  48352  A1 0A 4489 gray(0.6) gray(0.6) yellow");
    // Data byte 39 as the chosen revolution read it: the passes write nothing.
    EXPECT_EQ(bytes[3 + 4 + 37 + 40].substr(14, 2), "E2");
    EXPECT_EQ(bytes.back(), "67458  67490  00 FF AAAA gray(0.6) gray(0.6) gray(0.6)");

    const std::vector<std::string> trans = lines_of(p.file("trans"));
    EXPECT_EQ(p.file("trans").substr(0, std::string(kTransHeader).size()), kTransHeader);
    ASSERT_GT(trans.size(), 4u);
    EXPECT_EQ(trans[3], "47142      4000  6000 blue");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(p.dir), {}), 3);
}

struct ColourCase {
    const char* name;
    std::function<void(SectorPlan&)> change;
    const char* id_colour;
    const char* data_colour;
};

const ColourCase kColourCases[] = {
    {"good", [](SectorPlan&) {}, " yellow\n", "\" blue\n"},
    {"bad data crc", [](SectorPlan& s) { s.data_crc = 0x1234; }, " yellow\n", "\" red\n"},
    {"bad id crc", [](SectorPlan& s) { s.id_crc = 0x1234; }, " red\n", "\" blue\n"},
};

TEST(SectorPlot, ColoursTheAreasByTheirCrc) {
    for (const ColourCase& c : kColourCases) {
        SCOPED_TRACE(c.name);
        const auto s = mem_track_stream(sector3_track(c.change));
        const std::vector<std::string> lines = lines_of(plot_sector(*s).file("layout"));
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_EQ(lines[6].substr(0, 7), "47008  ");
        EXPECT_EQ(lines[6].substr(14) + "\n", std::string("3") + c.id_colour);
        EXPECT_NE((lines[8] + "\n").find(c.data_colour), std::string::npos) << lines[8];
    }
}

TEST(SectorPlot, MarksFuzzyDataOrangeEvenWithABadCrc) {
    const MfmCells bad = sector3_track([](SectorPlan& s) { s.data_crc = 0x1234; });
    const MfmCells other = sector3_track([](SectorPlan& s) {
        s.data.assign(512, 0x00);
        s.data_crc = 0x1234;
    });
    const auto s = mem_stream({other, bad, bad});
    const std::vector<std::string> lines = lines_of(plot_sector(*s).file("layout"));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[8].substr(lines[8].size() - 8), "\" orange");
}

TEST(SectorPlot, ColoursTheTransitions) {
    // In sector 3's GAP4 (track bytes 2028 on): one transition 1000 ns late, and
    // ten bytes without flux.
    const MfmCells track = sector3_track();
    size_t late = byte_cell(2040);
    while (track.cells()[late] == 0) ++late;
    const MfmCells holed = with_cells(track, byte_cell(2060), std::string(byte_cell(10), '0'));
    MemTiming timing;
    timing.shifts.push_back({holed.size() + late, 1000.0});  // in the chosen revolution
    const auto s = mem_stream({holed, holed, holed}, timing);
    const Plotted p = plot_sector(*s);
    const std::string trans = p.file("trans");
    EXPECT_NE(trans.find(" 5000 green\n"), std::string::npos);
    EXPECT_NE(trans.find(" 12000 red\n"), std::string::npos);
    EXPECT_NE(p.layout.noflux_ns, 0u);
}

TEST(SectorPlot, WritesHeadersOnlyWithoutTheSectorOrItsData) {
    const auto s = mem_track_stream(sector3_track());
    const Plotted missing = plot_sector(*s, 150000000);
    EXPECT_EQ(missing.file("layout"), kLayoutHeader);
    EXPECT_EQ(missing.file("trans"), kTransHeader);
    EXPECT_EQ(missing.file("data"), kDataHeader);

    const auto far = mem_track_stream(sector3_track([](SectorPlan& s) { s.gap3_4e = 29; }));
    const Plotted no_data = plot_sector(*far);
    EXPECT_EQ(no_data.file("layout"), kLayoutHeader);
    EXPECT_GT(lines_of(no_data.file("data")).size(), 3u);
    EXPECT_GT(lines_of(no_data.file("trans")).size(), 3u);
}

TEST(SectorPlot, TheLaterSectorOfTheSameNumberReplacesTheFiles) {
    synth::TrackPlan t = synth::standard_track();
    t.sectors[3].sector = 3;
    const auto s = mem_track_stream(synth::build_track(t));
    const Plotted first = plot_sector(*s);
    plot_sector(*s, (1469 + 654) * 32000, first.dir);
    EXPECT_EQ(lines_of(first.file("layout"))[6], "67936  68160  3 yellow");
}

TEST(SectorPlot, EndsTheRunWhenAFileCannotBeCreatedOrWritten) {
    const auto s = mem_track_stream(sector3_track());
    const Plotted no_dir = plot_sector(*s, kSector3Ns, "/nonexistent/quen");
    EXPECT_EQ(no_dir.err, "Could not open plot layout file\n");
    EXPECT_TRUE(no_dir.stopped);

    enum class Block { kDirectory, kFullDisk };  // the name is a directory, or a link to /dev/full
    struct Case {
        const char* blocked;
        Block block;
        const char* line;  // with a full disk, followed by the file's path
        const char* created;
        const char* missing;
    };
    const Case cases[] = {
        {"trans", Block::kDirectory, "Could not open plot transition file\n", "layout", "data"},
        {"data", Block::kDirectory, "Could not open plot data file\n", "trans", nullptr},
        {"trans", Block::kFullDisk, "Error writing file ", "data", nullptr},
        {"data", Block::kFullDisk, "Error writing file ", "trans", nullptr},
        {"layout", Block::kFullDisk, "Error writing file ", "data", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.blocked) + (c.block == Block::kFullDisk ? " full" : ""));
        const std::string dir = testing::make_temp_dir();
        const std::string blocked = dir + "/sec_" + c.blocked + "_3.dat";
        if (c.block == Block::kDirectory) {
            std::filesystem::create_directory(blocked);
        } else {
            if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
            std::filesystem::create_symlink("/dev/full", blocked);
        }
        const Plotted p = plot_sector(*s, kSector3Ns, dir);
        EXPECT_EQ(p.err, c.block == Block::kDirectory ? std::string(c.line) : c.line + blocked + "\n");
        EXPECT_TRUE(p.stopped);
        EXPECT_TRUE(std::filesystem::exists(dir + "/sec_" + c.created + "_3.dat"));
        if (c.missing) {
            EXPECT_FALSE(std::filesystem::exists(dir + "/sec_" + c.missing + "_3.dat"));
        }
    }
}

}  // namespace
}  // namespace quen::sectortest
