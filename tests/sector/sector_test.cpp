#include "sector/sector.h"

#include <gtest/gtest.h>

#include <functional>

#include "sector_fixture.h"

namespace quen::sectortest {
namespace {

using synth::MfmCells;
using synth::pattern_data;
using synth::SectorPlan;
using synth::TrackPlan;

// Byte offsets of the standard track: the first ID mark, and the length of one sector.
constexpr size_t kFirstIdMark = 161;
constexpr size_t kSectorBytes = 654;

uint32_t id_pos_ns(int sector) { return static_cast<uint32_t>((kFirstIdMark + kSectorBytes * (sector - 1)) * 32000); }

struct Analysed {
    SectorLayout layout;
    ByteBuffer buffer{10000};
    bool found = false;
    std::string diag;
    std::string err;
};

Analysed analyse(const QuenStream& s, uint8_t sector, uint32_t expected_ns, bool all_areas = false,
                 uint8_t revolution = 1) {
    Capture diag, err;
    RunOptions opts = capture_opts(diag, err, true);
    opts.sector_all_areas = all_areas;
    Analysed r;
    r.found = testing::analyse_sector_alone(r.layout, r.buffer, s, revolution, sector, expected_ns, opts);
    r.diag = diag.text();
    r.err = err.text();
    return r;
}

TrackPlan with_sector(int number, const std::function<void(SectorPlan&)>& change) {
    TrackPlan t = synth::standard_track();
    change(t.sectors[number - 1]);
    return t;
}

TEST(SectorDecoder, FollowsAStandardSectorThroughItsAreas) {
    const auto s = mem_track_stream(synth::build_track(synth::standard_track()));
    for (bool all_areas : {false, true}) {
        SCOPED_TRACE(all_areas);
        const Analysed r = analyse(*s, 3, id_pos_ns(3), all_areas);
        ASSERT_TRUE(r.found);
        const SectorLayout& l = r.layout;
        EXPECT_EQ(l.area(AreaKind::ID).position_ns, id_pos_ns(3));
        EXPECT_EQ(l.area(AreaKind::ID).bytes, 7);
        EXPECT_EQ(l.area(AreaKind::ID).crc, 0);
        EXPECT_EQ(l.area(AreaKind::GAP3).bytes, 37);
        EXPECT_EQ(l.area(AreaKind::DATA).bytes, 515);
        EXPECT_EQ(l.area(AreaKind::DATA).crc, 0);
        EXPECT_EQ(l.area(AreaKind::GAP4).bytes, 80);
        EXPECT_EQ(l.area(AreaKind::DATA).position_ns, l.area(AreaKind::GAP3).position_ns +
                                                          l.area(AreaKind::GAP3).length_ns);
        EXPECT_EQ(l.T, 0);
        EXPECT_EQ(l.H, 0);
        EXPECT_EQ(l.S, 3);
        EXPECT_EQ(l.Z, 2);
        EXPECT_EQ(l.has_data, 1);
        EXPECT_EQ(l.DOI, 0);
        EXPECT_EQ(l.FZP, 0);
        EXPECT_EQ(l.noflux_ns, 0u);
        EXPECT_EQ(r.err, "");
        const uint16_t k = all_areas ? 44 : 0;
        EXPECT_EQ(l.data_start, k);
        ASSERT_EQ(r.buffer.count, all_areas ? 7 + 37 + 515 + 80 : 515);
        EXPECT_EQ(r.buffer.entries[k].data, 0xFB);
        const std::vector<uint8_t> data = pattern_data(512);
        for (size_t i = 0; i < 512; ++i) ASSERT_EQ(r.buffer.entries[k + 1 + i].data, data[i]) << i;
        EXPECT_EQ(l.data_crc, r.buffer.entries[k + 513].data * 256 + r.buffer.entries[k + 514].data);
        if (all_areas) {
            EXPECT_EQ(r.buffer.entries[0].data, 0xFE);
            EXPECT_EQ(r.buffer.entries[3].data, 3);
            EXPECT_EQ(l.id_crc, r.buffer.entries[5].data * 256 + r.buffer.entries[6].data);
        }
    }
}

struct Variant {
    const char* name;
    std::function<void(SectorPlan&)> change;
    uint8_t has_data;
    uint16_t data_bytes;
    uint8_t first_data;
    bool crc_good;
};

const Variant kVariants[] = {
    {"bad data crc", [](SectorPlan& s) { s.data_crc = 0x1234; }, 1, 515, 0xFB, false},
    {"deleted data", [](SectorPlan& s) { s.data_mark = 0xF8; }, 1, 515, 0xF8, true},
    {"size code 3", [](SectorPlan& s) { s.size_code = 3; }, 1, 1027, 0xFB, true},
    {"size code 0", [](SectorPlan& s) { s.size_code = 0; }, 1, 515, 0xFB, true},
    {"size code 4", [](SectorPlan& s) { s.size_code = 4; }, 1, 515, 0xFB, true},
    {"mark 43 bytes on", [](SectorPlan& s) { s.gap3_4e = 28; }, 1, 515, 0xFB, true},
    {"mark 44 bytes on", [](SectorPlan& s) { s.gap3_4e = 29; }, 0, 0, 0, false},
    {"no data field", [](SectorPlan& s) { s.has_data = false; }, 0, 0, 0, false},
};

TEST(SectorDecoder, ReadsTheDataFieldsVariants) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        const auto s = mem_track_stream(synth::build_track(with_sector(3, v.change)));
        const Analysed r = analyse(*s, 3, 0);
        ASSERT_TRUE(r.found);
        EXPECT_EQ(r.layout.has_data, v.has_data);
        EXPECT_EQ(r.layout.area(AreaKind::DATA).bytes, v.data_bytes);
        ASSERT_EQ(r.buffer.count, v.data_bytes);
        if (v.has_data) {
            EXPECT_EQ(r.buffer.entries[0].data, v.first_data);
            EXPECT_EQ(r.layout.area(AreaKind::DATA).crc == 0, v.crc_good);
        } else {
            // The next sector's ID mark ends the decoding.
            EXPECT_NE(r.diag.find("Another ID found => no DATA block\n"), std::string::npos);
        }
    }
}

TEST(SectorDecoder, CountsGapMarksAndSynchPatternsInTheAreasTheyFallIn) {
    // Sector 3: ID mark at track byte 1469, GAP3 from 1476, data mark at 1513, GAP4 from 2028.
    MfmCells f5;
    f5.bytes({0xF5, 0x4E});
    MfmCells track = synth::build_track(with_sector(3, [](SectorPlan& s) {
        s.data.assign(512, 0xF5);  // F5 is ordinary data inside the field
    }));
    const std::string f5_cells = cells_text(f5);
    track = with_cells(track, byte_cell(1480), f5_cells);
    track = with_cells(track, byte_cell(2040), f5_cells);
    // An A1 synch pattern one cell off the byte grid of the data (a sector within the
    // sector): counted, but the field keeps its own alignment.
    track = with_cells(track, byte_cell(1513 + 100) + 1, "0100010010001001");
    const auto s = mem_track_stream(track);
    const Analysed r = analyse(*s, 3, id_pos_ns(3));
    const SectorLayout& l = r.layout;
    EXPECT_EQ(l.area(AreaKind::GAP3).IDG, 1);
    EXPECT_EQ(l.area(AreaKind::GAP4).IDG, 1);
    EXPECT_EQ(l.area(AreaKind::DATA).IDG, 0);
    EXPECT_EQ(l.area(AreaKind::DATA).BS, 1);
    EXPECT_EQ(l.area(AreaKind::DATA).bytes, 515);
    EXPECT_EQ(r.buffer.entries[99].data, 0xF5);
    EXPECT_EQ(r.buffer.entries[102].data, 0xF5);
}

TEST(SectorDecoder, AcceptsTheIdFieldOnlyFromThePositionWindowOn) {
    const auto s = mem_track_stream(synth::build_track(synth::standard_track()));
    const Analysed early = analyse(*s, 3, static_cast<uint32_t>(id_pos_ns(3) / 0.95));
    EXPECT_FALSE(early.found);
    EXPECT_EQ(early.layout.S, 9);  // the last ID field started
    EXPECT_EQ(early.layout.Z, 2);
    EXPECT_EQ(early.layout.has_data, 0);
    EXPECT_EQ(early.layout.area(AreaKind::ID).position_ns, id_pos_ns(9));
    EXPECT_EQ(early.err, "");  // no passes after a failure

    EXPECT_TRUE(analyse(*s, 3, static_cast<uint32_t>(id_pos_ns(3) / 0.96)).found);

    // Sector 2 lies inside the window: its ID field is read, then dropped.
    const Analysed after_other = analyse(*s, 3, id_pos_ns(2), true);
    ASSERT_TRUE(after_other.found);
    EXPECT_EQ(after_other.buffer.entries[0].data, 0xFE);
    EXPECT_EQ(after_other.buffer.entries[3].data, 3);
    EXPECT_EQ(after_other.layout.data_start, 44);
}

TEST(SectorDecoder, TellsTwoSectorsOfTheSameNumberByPosition) {
    const TrackPlan t = with_sector(4, [](SectorPlan& s) {
        s.sector = 3;
        s.data.assign(512, 0x33);
    });
    const auto s = mem_track_stream(synth::build_track(t));
    const Analysed first = analyse(*s, 3, id_pos_ns(3));
    const Analysed second = analyse(*s, 3, id_pos_ns(4));
    EXPECT_EQ(first.buffer.entries[1].data, pattern_data(1)[0]);
    EXPECT_EQ(second.buffer.entries[1].data, 0x33);
    EXPECT_EQ(second.layout.area(AreaKind::ID).position_ns, id_pos_ns(4));
}

TEST(SectorDecoder, CountsTheBytesReadBehindTheIndex) {
    const MfmCells track = synth::build_track(synth::standard_track());
    // Sector 9's data mark is byte 5437 of the track; the index falls on its data byte 100.
    const size_t turn = 5437 + 1 + 100;
    const auto s = mem_track_stream(rotate(track, byte_cell(turn)));
    const Analysed r = analyse(*s, 9, static_cast<uint32_t>((5437 - 44 + 6250 - turn) * 32000));
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.layout.area(AreaKind::DATA).bytes, 515);
    EXPECT_EQ(r.layout.area(AreaKind::DATA).crc, 0);
    // GAP4 runs through the track's padding and GAP1 up to the index mark's 00 bytes.
    const uint16_t turned_gap4 = 80 + (6250 - 6032) + 80;
    EXPECT_EQ(r.layout.area(AreaKind::GAP4).bytes, turned_gap4);
    // Data bytes 99 (completed by the first transition behind the index) to 511,
    // the two CRC bytes, GAP4 and the 00 that ends it.
    EXPECT_EQ(r.layout.DOI, 413 + 2 + turned_gap4 + 1);

    // The standard track's last sector: GAP4 runs up to the index and ends there.
    const auto plain = mem_track_stream(track);
    const Analysed last = analyse(*plain, 9, id_pos_ns(9));
    EXPECT_EQ(last.layout.DOI, 0);
    const AreaInfo& gap4 = last.layout.area(AreaKind::GAP4);
    // From GAP4's first byte (track byte 5952) up to the last byte completed, 6248.
    EXPECT_EQ(gap4.bytes, 6248 - 5952);
    EXPECT_GT(gap4.position_ns + gap4.length_ns, 199900000u);
}

TEST(SectorDecoder, StopsWhereTheFluxDataEnds) {
    const MfmCells track = synth::build_track(synth::standard_track());
    const MfmCells rev = rotate(track, byte_cell(5437 + 1 + 100));
    const MfmCells hundred_bytes = first_cells(rev, byte_cell(100));
    const auto s = mem_stream({rev, rev}, {}, &hundred_bytes);
    const Analysed r = analyse(*s, 9, 0);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.layout.has_data, 1);
    // The mark and 100 data bytes before the index, 99 behind it: the area is closed
    // at the last byte completed, which the buffer holds as well.
    EXPECT_EQ(r.layout.area(AreaKind::DATA).bytes, 199);
    EXPECT_EQ(r.buffer.count, 200);
}

TEST(SectorDecoder, ReportsNothingFoundOnATrackWithoutIdFields) {
    MfmCells t;
    const auto s = mem_track_stream(padded(t));
    const Analysed r = analyse(*s, 1, 0);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.layout.Z, 2);
    EXPECT_EQ(r.layout.has_data, 0);
    EXPECT_EQ(r.layout.area(AreaKind::GAP2).bytes, 6249 - 1);
    EXPECT_EQ(r.buffer.count, 0);
    EXPECT_EQ(r.err, "");
}

// How revolution l differs from the chosen one in sector 3.
struct RevChange {
    int data_pos = 0;      // DATA position (1 = first data byte) read differently; 0: none
    bool f8_mark = false;  // a different data mark
    bool missing = false;  // sector 3 not there
};

struct FuzzyCase {
    const char* name;
    RevChange rev[4];
    uint16_t fzp;
    const char* err;
};

const FuzzyCase kFuzzyCases[] = {
    {"all equal", {}, 0, ""},
    {"later pass first", {{100}, {}, {40}, {}}, 40, ""},
    {"last pass decides", {{40}, {}, {100}, {}}, 100, ""},
    {"one pass differs", {{40}, {}, {}, {}}, 40, ""},
    {"last revolution unused", {{}, {}, {}, {10}}, 0, ""},
    {"mark differs", {{40}, {}, {0, true}, {}}, 0, ""},
    {"sector missing", {{40}, {}, {0, false, true}, {}}, 40, "Sector 3 pass=2 did not read correctly ???\n"},
};

TEST(SectorDecoder, FindsTheFuzzyPositionOverTheOtherRevolutions) {
    for (const FuzzyCase& c : kFuzzyCases) {
        SCOPED_TRACE(c.name);
        std::vector<MfmCells> revs;
        for (const RevChange& ch : c.rev) {
            revs.push_back(synth::build_track(with_sector(3, [&](SectorPlan& s) {
                s.data = pattern_data(512);
                if (ch.data_pos > 0) s.data[ch.data_pos - 1] ^= 0x40;
                if (ch.f8_mark) s.data_mark = 0xF8;
                if (ch.missing) s.sector = 0x33;
            })));
        }
        const auto s = mem_stream(revs);
        const Analysed r = analyse(*s, 3, id_pos_ns(3));
        ASSERT_TRUE(r.found);
        EXPECT_EQ(r.layout.FZP, c.fzp);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(SectorDecoder, TakesWeakBitsForFuzzyData) {
    // Ten data bytes of random flux, new on every revolution.
    const MfmCells track = synth::build_track(synth::standard_track());
    const size_t weak = byte_cell(id_pos_ns(3) / 32000 + 7 + 37 + 1 + 200);
    std::vector<MfmCells> revs;
    uint32_t seed = 12345;
    for (int rev = 0; rev < 4; ++rev) {
        std::string noise;
        for (size_t i = 0; i < byte_cell(10); ++i) {
            seed = seed * 1103515245u + 12345u;
            noise.push_back((seed >> 16) % 3 == 0 ? '1' : '0');
        }
        revs.push_back(with_cells(track, weak, noise));
    }
    const auto s = mem_stream(revs);
    const Analysed r = analyse(*s, 3, id_pos_ns(3));
    EXPECT_GE(r.layout.FZP, 201);
    EXPECT_LE(r.layout.FZP, 210);
    EXPECT_EQ(r.layout.area(AreaKind::DATA).bytes, 515);
}

TEST(SectorDecoder, CountsEntriesAPassDidNotReadAsDifferent) {
    // The chosen revolution holds a 1024-byte sector whose first 514 bytes equal
    // the 512-byte sector and its CRC of the other revolutions.
    const std::vector<uint8_t> short_data = pattern_data(512);
    const uint16_t crc = synth::crc_of({{0xA1, 0xA1, 0xA1, 0xFB}, short_data});
    std::vector<uint8_t> long_data = short_data;
    long_data.push_back(static_cast<uint8_t>(crc >> 8));
    long_data.push_back(static_cast<uint8_t>(crc));
    long_data.resize(1024, 0x11);

    const MfmCells short_rev = synth::build_track(with_sector(3, [&](SectorPlan& s) { s.data = short_data; }));
    const MfmCells long_rev = synth::build_track(with_sector(3, [&](SectorPlan& s) {
        s.size_code = 3;
        s.data = long_data;
    }));
    const auto s = mem_stream({short_rev, long_rev, short_rev});
    const Analysed r = analyse(*s, 3, 0);
    EXPECT_EQ(r.layout.area(AreaKind::DATA).bytes, 1027);
    EXPECT_EQ(r.layout.FZP, 515);
}

}  // namespace
}  // namespace quen::sectortest
