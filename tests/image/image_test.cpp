// quendisk's sector images of built disks, read back: the plain image byte for byte, the
// Extended DSK and ImageDisk files by small readers of their own, one row per sector kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "disk/cli.h"
#include "image/writers.h"
#include "support/capture.h"
#include "support/disk_builder.h"
#include "support/run_helper.h"

namespace quen::testing {
namespace {

namespace fs = std::filesystem;
using synth::BuiltSector;
using synth::SectorKind;

RunResult run_disk(const std::vector<std::string>& args) {
    Capture out;
    Capture err;
    disk::DiskIo io;
    io.out = out.get();
    io.err = err.get();
    io.default_jobs = 2;
    RunResult r;
    r.code = disk::run_quendisk(args, io);
    r.out = out.text();
    r.err = err.text();
    return r;
}

// ---------------------------------------------------------------- readers
uint32_t u16_at(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b.at(at)) | static_cast<uint32_t>(static_cast<uint8_t>(b.at(at + 1))) << 8;
}
uint8_t u8_at(const std::string& b, size_t at) { return static_cast<uint8_t>(b.at(at)); }
std::vector<uint8_t> bytes_at(const std::string& b, size_t at, size_t n) {
    const std::string part = b.substr(at, n);
    EXPECT_EQ(part.size(), n) << "the file ends inside a field";
    return {part.begin(), part.end()};
}

struct ImageSector {
    uint8_t c = 0, h = 0, r = 0, n = 0;
    uint8_t st1 = 0, st2 = 0;  // EDSK
    int type = -1;             // IMD record type
    std::vector<uint8_t> data;
};
using ImageTracks = std::map<std::pair<int, int>, std::vector<ImageSector>>;  // by cylinder, head

struct Edsk {
    int cylinders = 0;
    int heads = 0;
    std::vector<uint8_t> size_table;
    ImageTracks tracks;
};

Edsk read_edsk(const std::string& f) {
    Edsk e;
    EXPECT_EQ(f.substr(0, 34), "EXTENDED CPC DSK File\r\nDisk-Info\r\n");
    e.cylinders = u8_at(f, 0x30);
    e.heads = u8_at(f, 0x31);
    size_t block = 0x100;
    for (int i = 0; i < e.cylinders * e.heads; ++i) {
        const uint8_t size = u8_at(f, 0x34 + i);
        e.size_table.push_back(size);
        if (size == 0) continue;
        EXPECT_EQ(f.substr(block, 12), "Track-Info\r\n");
        const int count = u8_at(f, block + 0x15);
        std::vector<ImageSector>& t = e.tracks[{u8_at(f, block + 0x10), u8_at(f, block + 0x11)}];
        size_t data = block + (0x18 + 8 * count + 255) / 256 * 256;
        for (int k = 0; k < count; ++k) {
            const size_t at = block + 0x18 + 8 * k;
            ImageSector s{u8_at(f, at), u8_at(f, at + 1), u8_at(f, at + 2), u8_at(f, at + 3),
                          u8_at(f, at + 4), u8_at(f, at + 5), -1, {}};
            s.data = bytes_at(f, data, u16_at(f, at + 6));
            data += s.data.size();
            t.push_back(std::move(s));
        }
        EXPECT_LE(data, block + size * 256u);
        block += size * 256u;
    }
    EXPECT_EQ(block, f.size());
    return e;
}

struct Imd {
    std::string header;  // up to the 0x1A
    ImageTracks tracks;
    std::map<std::pair<int, int>, int> modes;
};

Imd read_imd(const std::string& f) {
    Imd m;
    size_t at = f.find('\x1A');
    m.header = f.substr(0, at);
    ++at;
    while (at < f.size()) {
        const int mode = u8_at(f, at), cyl = u8_at(f, at + 1), head = u8_at(f, at + 2);
        const int count = u8_at(f, at + 3), size_code = u8_at(f, at + 4), size = 128 << size_code;
        at += 5;
        const std::pair<int, int> key{cyl, head & 1};
        m.modes[key] = mode;
        std::vector<ImageSector>& t = m.tracks[key];
        for (int k = 0; k < count; ++k) {
            t.push_back({static_cast<uint8_t>(cyl), static_cast<uint8_t>(head & 1), u8_at(f, at + k),
                         static_cast<uint8_t>(size_code), 0, 0, -1, {}});
        }
        at += count;
        if (head & 0x80) {
            for (int k = 0; k < count; ++k) t[k].c = u8_at(f, at + k);
            at += count;
        }
        if (head & 0x40) {
            for (int k = 0; k < count; ++k) t[k].h = u8_at(f, at + k);
            at += count;
        }
        for (ImageSector& s : t) {
            s.type = u8_at(f, at++);
            EXPECT_LE(s.type, 8);
            if (s.type == 0) continue;
            if (s.type % 2 == 0) {
                s.data.assign(size, u8_at(f, at++));
            } else {
                s.data = bytes_at(f, at, size);
                at += size;
            }
        }
    }
    return m;
}

// ---------------------------------------------------------------- the disks
struct DiskRun {
    std::string dir;
    std::string out;  // the outputs' path without extension: the disk and the options
    std::vector<BuiltSector> built;
    RunResult result;
    std::string img, dsk, imd, json;  // the files' contents
};

DiskRun make_and_run(const std::string& root, const std::string& name, synth::ImageDiskShape shape,
                     std::vector<std::string> extra) {
    DiskRun d;
    d.dir = root + "/" + name;
    fs::create_directory(d.dir);
    d.built = synth::write_image_disk(d.dir, shape);
    d.out = root + "/" + name;
    for (const std::string& option : extra) d.out += option;
    const std::string& out = d.out;
    extra.insert(extra.end(), {d.dir, "--edsk", out + ".dsk", "--imd", out + ".imd", "--json", out + ".json"});
    if (shape == synth::ImageDiskShape::kUniform) extra.insert(extra.end(), {"--image", out + ".img"});
    d.result = run_disk(extra);
    d.img = fs::exists(out + ".img") ? read_file(out + ".img") : "";
    d.dsk = read_file(out + ".dsk");
    d.imd = read_file(out + ".imd");
    d.json = read_file(out + ".json");
    return d;
}

class Images : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = make_temp_dir();
        uniform_ = make_and_run(root_, "uniform", synth::ImageDiskShape::kUniform, {});
        for (const char* option : {"-s", "-f", "-v"}) {
            variants_.push_back(make_and_run(root_, "uniform", synth::ImageDiskShape::kUniform, {option}));
        }
        mixed_ = make_and_run(root_, "mixed", synth::ImageDiskShape::kMixed, {});
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }
    static inline std::string root_;
    static inline DiskRun uniform_;
    static inline std::vector<DiskRun> variants_;  // the uniform disk with other options
    static inline DiskRun mixed_;
};

// What every image makes of each kind of sector.
struct KindRow {
    SectorKind kind;
    const char* flagged_as;  // in the plain image's list; null: not listed
    uint8_t st1, st2;        // EDSK
    size_t copies;           // EDSK data copies
    int imd_type;            // -1: left out
};
const KindRow kKinds[] = {
    {SectorKind::kPlain, nullptr, 0x00, 0x00, 1, 1},
    {SectorKind::kBadDataCrc, "data CRC error", 0x20, 0x20, 1, 5},
    {SectorKind::kBadIdCrc, "ID CRC error", 0x20, 0x00, 1, -1},
    {SectorKind::kDeleted, nullptr, 0x00, 0x40, 1, 3},
    {SectorKind::kDeletedBadCrc, "data CRC error", 0x20, 0x60, 1, 7},
    {SectorKind::kWeak, "weak", 0x20, 0x20, 2, 5},  // the passes read two revolutions
    {SectorKind::kNoData, "no data", 0x01, 0x01, 0, 0},
};
const KindRow& row_of(SectorKind k) {
    for (const KindRow& r : kKinds) {
        if (r.kind == k) return r;
    }
    throw std::logic_error("no row");
}

std::string where(const BuiltSector& b) {
    return std::to_string(b.cylinder) + "." + std::to_string(b.head) + " sector " + std::to_string(b.sector);
}

TEST_F(Images, PlainImageHoldsTheBuiltSectorsAndListsTheBadOnes) {
    const DiskRun& d = uniform_;
    ASSERT_EQ(d.result.code, 0) << d.result.err;
    ASSERT_EQ(d.img.size(), 3u * 2 * 9 * 512);
    nlohmann::json expected_bad = nlohmann::json::array();
    std::string expected_err;
    for (const BuiltSector& b : d.built) {
        const size_t at = ((b.cylinder * 2 + b.head) * 9 + (b.sector - 1)) * 512;
        const std::vector<uint8_t> fill(512, image::kFillByte);
        const std::vector<uint8_t>& want = b.data.empty() ? fill : b.data[0];
        EXPECT_EQ(d.img.substr(at, 512), std::string(want.begin(), want.end())) << where(b);
        if (const char* why = row_of(b.kind).flagged_as) {
            const bool filled = b.data.empty();
            expected_bad.push_back(
                {{"cylinder", b.cylinder}, {"head", b.head}, {"sector", b.sector}, {"why", why}, {"filled", filled}});
            expected_err += "cylinder " + std::to_string(b.cylinder) + " head " + std::to_string(b.head) +
                            " sector " + std::to_string(b.sector) +
                            (filled ? " filled (" : " written from bad data (") + why + ")\n";
        }
    }
    const nlohmann::json image = nlohmann::json::parse(d.json)["image"];
    EXPECT_EQ(image["bad_sectors"], expected_bad);
    EXPECT_EQ(image["geometry"], nlohmann::json::parse(
                                     R"({"cylinders":3,"heads":2,"sectors":9,"first_sector":1,"sector_bytes":512})"));
    std::string err;
    for (const std::string& line : lines_of(d.result.err)) {
        if (line.find(".img: ") != std::string::npos) err += line.substr(line.find(".img: ") + 6) + "\n";
    }
    EXPECT_EQ(err, expected_err);
}

TEST_F(Images, ExtendedDskKeepsIdsStatusBytesAndWeakCopies) {
    const DiskRun& d = mixed_;
    const Edsk e = read_edsk(d.dsk);
    EXPECT_EQ(e.cylinders, 4);
    EXPECT_EQ(e.heads, 2);
    ASSERT_EQ(e.size_table.size(), 8u);
    EXPECT_EQ(e.size_table.back(), 0) << "the unformatted side has no block";
    std::map<std::pair<int, int>, size_t> next;
    for (const BuiltSector& b : d.built) {
        const auto t = e.tracks.find({b.cylinder, b.head});
        ASSERT_NE(t, e.tracks.end()) << where(b);
        const size_t k = next[{b.cylinder, b.head}]++;
        ASSERT_LT(k, t->second.size()) << where(b);
        const ImageSector& s = t->second[k];
        const KindRow& row = row_of(b.kind);
        EXPECT_EQ((std::vector<int>{s.c, s.h, s.r, s.n}),
                  (std::vector<int>{b.id_cylinder, b.id_head, b.sector, b.size_code})) << where(b);
        EXPECT_EQ(s.st1, row.st1) << where(b);
        EXPECT_EQ(s.st2, row.st2) << where(b);
        std::vector<uint8_t> want;
        for (size_t c = 0; c < row.copies; ++c) want.insert(want.end(), b.data[c].begin(), b.data[c].end());
        EXPECT_EQ(s.data, want) << where(b);
    }
    for (const auto& [key, sectors] : e.tracks) EXPECT_EQ(next[key], sectors.size()) << "extra sectors";
}

TEST_F(Images, ImageDiskKeepsRecordTypesAndMapsAndLeavesOutBadIds) {
    const DiskRun& d = mixed_;
    const Imd m = read_imd(d.imd);
    EXPECT_EQ(m.header.substr(0, 10), "IMD 1.18: ");
    EXPECT_NE(m.header.find("sector 3 left out: its ID field has a CRC error\r\n"), std::string::npos) << m.header;
    EXPECT_EQ(m.tracks.count({3, 1}), 0u) << "an unformatted side has no record";
    EXPECT_EQ(m.modes.at({0, 0}), 5);
    std::map<std::pair<int, int>, size_t> next;
    for (const BuiltSector& b : d.built) {
        const KindRow& row = row_of(b.kind);
        if (row.imd_type < 0) continue;
        const std::vector<ImageSector>& t = m.tracks.at({b.cylinder, b.head});
        const size_t k = next[{b.cylinder, b.head}]++;
        ASSERT_LT(k, t.size()) << where(b);
        const ImageSector& s = t[k];
        EXPECT_EQ((std::vector<int>{s.c, s.h, s.r, s.n, s.type}),
                  (std::vector<int>{b.id_cylinder, b.id_head, b.sector, b.size_code, row.imd_type})) << where(b);
        EXPECT_EQ(s.data, b.data.empty() ? std::vector<uint8_t>{} : b.data[0]) << where(b);
    }
    for (const auto& [key, sectors] : m.tracks) EXPECT_EQ(next[key], sectors.size()) << "extra sectors";
}

// Without the synch search inside fields, with all areas kept, with diagnostics.
TEST_F(Images, SameWhateverTheOptionsThatLeaveTheReadingAlone) {
    const auto after_date = [](const std::string& imd) { return imd.substr(imd.find('\n')); };
    ASSERT_FALSE(uniform_.img.empty());
    ASSERT_EQ(variants_.size(), 3u);
    for (const DiskRun& v : variants_) {
        EXPECT_EQ(v.result.code, 0) << v.result.err;
        EXPECT_TRUE(uniform_.img == v.img) << v.out;
        EXPECT_TRUE(uniform_.dsk == v.dsk) << v.out;
        EXPECT_TRUE(after_date(uniform_.imd) == after_date(v.imd)) << v.out;
    }
}

TEST_F(Images, PlainImageRefusedWithoutOneGeometry) {
    const std::string img = root_ + "/mixed.img";
    const RunResult r = run_disk({mixed_.dir, "--image", img, "--json", root_ + "/refused.json"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "quendisk: --image refused: track side 03.0 has 5 sectors 1-5 of 1024 bytes, not 9 sectors 1-9 of "
              "512 bytes as track side 00.0: a plain image needs one geometry; --edsk keeps every track as it is\n");
    EXPECT_FALSE(fs::exists(img));
    const nlohmann::json image = nlohmann::json::parse(read_file(root_ + "/refused.json"))["image"];
    EXPECT_FALSE(image["written"].get<bool>());
    EXPECT_TRUE(image["geometry"].is_null());
}

// ---------------------------------------------------------------- readings and states
struct Decoding {
    uint8_t first = 0;      // the data bytes are first, first + 1, ...
    uint16_t field = 515;   // DATA area bytes: mark, 512 data bytes and two CRC bytes when whole
    uint16_t data_crc = 0;  // 0: right
    uint16_t id_crc = 0;
    bool has_data = true;
};

void add(SectorReadings& r, uint8_t revolution, const Decoding& d) {
    SectorLayout layout;
    layout.has_data = d.has_data ? 1 : 0;
    layout.area(AreaKind::DATA).bytes = d.field;
    layout.area(AreaKind::DATA).crc = d.data_crc;
    layout.area(AreaKind::ID).crc = d.id_crc;
    ByteBuffer buffer;
    buffer.append({0xF8, 0, 0, 0});
    for (uint16_t i = 1; i < d.field; ++i) buffer.append({static_cast<uint8_t>(d.first + i - 1), 0, 0, 0});
    r.add(revolution, layout, buffer);
}

TEST(SectorReadings, DistinctReadingsUpToTheCapAndTheStateTheyMake) {
    using S = image::SectorState;
    const Decoding bad1{1, 515, 0x1234}, bad2{2, 515, 0x1234}, none{1, 0, 0, 0, false};
    struct Row {
        const char* name;
        std::vector<Decoding> decodings;              // revolution 0, 1, ...
        std::vector<std::pair<bool, uint16_t>> kept;  // crc_ok, revolutions of each distinct reading
        uint16_t dropped;
        S state;
        uint8_t best_first;  // first byte of the reading an image stores; 0: none
    };
    const Row rows[] = {
        {"the same every time", {{1}, {1}, {1}}, {{true, 3}}, 0, S::kGood, 1},
        {"good in one revolution", {bad1, {2}}, {{false, 1}, {true, 1}}, 0, S::kGood, 2},
        {"bad CRC, same bytes", {{1}, bad1}, {{true, 1}, {false, 1}}, 0, S::kGood, 1},
        {"bad ID CRC spoils good data", {{1, 515, 0, 0x1234}}, {{false, 1}}, 0, S::kIdError, 1},
        {"a field cut short is never good", {{1, 100}}, {{false, 1}}, 0, S::kDataError, 1},
        {"weak: the most frequent", {bad1, bad2, bad2}, {{false, 1}, {false, 2}}, 0, S::kWeak, 2},
        {"weak: a tie goes to the first", {bad1, bad2}, {{false, 1}, {false, 1}}, 0, S::kWeak, 1},
        {"no DATA field adds nothing", {none, {2}}, {{true, 1}}, 0, S::kGood, 2},
        {"nothing read", {none}, {}, 0, S::kNoData, 0},
        {"beyond the cap only counted", {{1}, {2}, {3}, {4}, {5}, {6}, {1}},
         {{true, 2}, {true, 1}, {true, 1}, {true, 1}}, 2, S::kGood, 1},
    };
    for (const Row& row : rows) {
        image::Sector s;
        for (size_t i = 0; i < row.decodings.size(); ++i) add(s.readings, static_cast<uint8_t>(i), row.decodings[i]);
        s.id_crc_ok = row.decodings[0].id_crc == 0;
        std::vector<std::pair<bool, uint16_t>> kept;
        for (const DataReading& d : s.readings.distinct) kept.emplace_back(d.crc_ok, d.revolutions);
        EXPECT_EQ(kept, row.kept) << row.name;
        EXPECT_EQ(s.readings.dropped, row.dropped) << row.name;
        EXPECT_EQ(s.deleted(), !row.kept.empty()) << row.name;
        EXPECT_EQ(s.state(), row.state) << row.name;
        EXPECT_EQ(s.best() != nullptr ? s.best()->bytes.at(0) : 0, row.best_first) << row.name;
    }
    SectorReadings cut;
    add(cut, 0, {7, 100});
    EXPECT_EQ(cut.distinct.at(0).bytes.size(), 99u) << "a cut field keeps what was read";
}

// ---------------------------------------------------------------- Extended DSK limits
TEST(ExtendedDsk, LongTracksGrowTheTrackInfoAndFitTheBlockLimit) {
    struct Row {
        int sectors;
        uint8_t size_code;
        size_t copies;          // distinct bad readings of every sector
        size_t header_bytes;    // of the Track-Info
        bool fits_whole;        // every copy and byte kept
    };
    const Row rows[] = {
        {9, 2, 1, 256, true},
        {29, 1, 1, 256, true},
        {30, 1, 1, 512, true},
        {40, 3, 1, 512, true},   // 41472 bytes
        {60, 3, 2, 512, false},  // 123392 bytes: weak copies go first, then data
        {255, 3, 1, 2304, false},
        {255, 255, 2, 2304, false},  // a size code above 8 stands for 32 KiB
    };
    for (const Row& row : rows) {
        image::Disk disk;
        image::TrackSide& t = disk.sides.emplace_back();
        for (int i = 0; i < row.sectors; ++i) {
            image::Sector s;
            s.sector = static_cast<uint8_t>(i + 1);
            s.size_code = row.size_code;
            s.readings.data_mark = 0xFB;
            for (size_t c = 0; c < row.copies; ++c) {
                s.readings.distinct.push_back(
                    {std::vector<uint8_t>(image::nominal_bytes(row.size_code), static_cast<uint8_t>(i * 3 + c)),
                     row.copies == 1, 1, 0});
            }
            t.sectors.push_back(std::move(s));
        }
        std::vector<std::string> warnings;
        const std::string file = capture([&](FILE* f) { warnings = image::write_edsk(f, disk); });
        const std::string what = std::to_string(row.sectors) + " sectors";
        const Edsk e = read_edsk(file);
        ASSERT_EQ(e.tracks.size(), 1u) << what;
        const std::vector<ImageSector>& sectors = e.tracks.begin()->second;
        EXPECT_EQ(sectors.size(), static_cast<size_t>(row.sectors)) << what;
        EXPECT_EQ(u8_at(file, 0x100 + row.header_bytes), 0) << what << ": the data starts behind the Track-Info";
        EXPECT_LE(e.size_table[0] * 256u, 65280u) << what;
        size_t stored = 0;
        for (size_t i = 0; i < sectors.size(); ++i) {
            stored += sectors[i].data.size();
            if (!sectors[i].data.empty()) {
                EXPECT_EQ(sectors[i].data[0], static_cast<uint8_t>(i * 3)) << what;
            }
        }
        const size_t whole = row.sectors * row.copies * image::nominal_bytes(row.size_code);
        EXPECT_EQ(stored == whole, row.fits_whole) << what;
        EXPECT_EQ(warnings.empty(), row.fits_whole) << what;
        EXPECT_EQ(0x100 + e.size_table[0] * 256u, file.size()) << what;
        EXPECT_GE(e.size_table[0] * 256u, row.header_bytes + stored) << what;
    }
}

}  // namespace
}  // namespace quen::testing
