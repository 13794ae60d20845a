#include "sector/id_locator.h"

#include <gtest/gtest.h>

#include "sector_fixture.h"

namespace quen::sectortest {
namespace {

using synth::MfmCells;

// Byte offsets of the standard track: the first ID mark, and the length of one sector.
constexpr size_t kFirstIdMark = 161;
constexpr size_t kSectorBytes = 654;

uint16_t id_crc(uint8_t mark, uint8_t s) {
    return synth::crc_of({{0xA1, 0xA1, 0xA1, mark, 0, 0, s, 2}});
}

TEST(IdLocator, FindsEveryIdFieldOfAStandardTrack) {
    const auto s = mem_track_stream(synth::build_track(synth::standard_track()));
    const Located r = locate(*s);
    ASSERT_EQ(r.n, 9);
    EXPECT_EQ(r.layout.id_count, 9);
    ASSERT_EQ(r.buffer.count, 63);
    for (uint8_t k = 0; k < 9; ++k) {
        SCOPED_TRACE(k);
        const AreaInfo& id = r.layout.ids[k];
        EXPECT_EQ(id.position_ns, (kFirstIdMark + kSectorBytes * k) * 32000u);
        EXPECT_EQ(id.bytes, 7);
        EXPECT_EQ(id.crc, 0);
        EXPECT_GE(id.length_ns, 224000u);
        EXPECT_LE(id.length_ns, 226000u);
        EXPECT_EQ(id.TMV + id.BRD + id.BS + id.over_clocked + id.under_clocked + id.IDG, 0);
        const uint16_t crc = id_crc(0xFE, k + 1);
        const uint8_t want[7] = {0xFE, 0, 0, uint8_t(k + 1), 2, uint8_t(crc >> 8), uint8_t(crc)};
        for (int i = 0; i < 7; ++i) EXPECT_EQ(r.buffer.entries[7 * k + i].data, want[i]) << i;
        EXPECT_EQ(r.buffer.entries[7 * k].position_ns, id.position_ns);
    }
    EXPECT_EQ(r.layout.byte_count, 6249);
    EXPECT_GT(r.layout.total_ns, 199900000u);
    EXPECT_LE(r.layout.total_ns, 200000000u);
}

// What follows a run of synch marks, right behind 100 bytes of 4E and 12 of 00.
struct SyncCase {
    const char* name;
    std::vector<uint8_t> marks;  // A1 and C2 are written as synch patterns
    uint8_t n;
    uint16_t bs;
    bool crc_good;
    const char* line;  // a diagnostic line the case must write
};

const SyncCase kSyncCases[] = {
    {"standard", {0xA1, 0xA1, 0xA1, 0xFE}, 1, 0, true, "  ++ $a1 Synch Byte  @3616 Byte=0070\n"},
    {"ff mark", {0xA1, 0xA1, 0xA1, 0xFF}, 1, 0, true, nullptr},
    {"data mark", {0xA1, 0xA1, 0xA1, 0xFB}, 0, 0, false,
     "  ** Skipped invalid AM $fb byte after 3 Synch mark @3712\n"},
    {"c2 run", {0xC2, 0xC2, 0xC2, 0xFE}, 1, 0, false, nullptr},
    {"short run", {0xA1, 0xA1, 0xFE}, 0, 1, false, "  ** Short Synch sequence only 2 found @3682 Byte 0072)\n"},
    {"long run", {0xA1, 0xA1, 0xA1, 0xA1, 0xFE}, 1, 1, true,
     "  ++ Long synch seq (4) of $a1 Synch Byte @3712 Byte=0073\n"},
    {"mixed run", {0xA1, 0xC2, 0xA1, 0xFE}, 0, 3, false,
     "  ** Bad Synch Byte sequence: a1 followed by c2 @3652 Byte=0071\n"},
};

TEST(IdLocator, TracksSynchRunsBeforeTheAddressMark) {
    for (const SyncCase& c : kSyncCases) {
        SCOPED_TRACE(c.name);
        MfmCells t;
        t.bytes(0x4E, 100);
        t.bytes(0x00, 12);
        t.crc_reset();
        for (uint8_t b : c.marks) {
            if (b == 0xA1) {
                t.sync_a1(1);
            } else if (b == 0xC2) {
                t.sync_c2(1);
            } else {
                t.byte(b);
            }
        }
        t.bytes({0x05, 0x01, 0x07, 0x02});
        t.crc_bytes();
        const auto s = mem_track_stream(padded(t));
        const Located r = locate(*s);
        EXPECT_EQ(r.n, c.n);
        EXPECT_EQ(r.layout.ids[0].BS, c.bs);
        EXPECT_EQ(r.buffer.count, 7 * c.n);
        if (c.n == 1) {
            EXPECT_EQ(r.buffer.entries[0].data, c.marks.back());
            EXPECT_EQ(r.buffer.entries[3].data, 0x07);
            EXPECT_EQ(r.layout.ids[0].crc == 0, c.crc_good);
        }
        if (c.line) {
            EXPECT_NE(r.diag.find(c.line), std::string::npos) << r.diag;
        }
    }
}

TEST(IdLocator, CountsFluxFaultsWithoutAnIdField) {
    MfmCells t;
    t.bytes(0x4E, 200);
    t.raw("00000001");  // 8 cells: an MFM violation
    t.no_flux(311);     // no flux: neither TMV nor BRD
    t.raw("1");
    const auto s = mem_track_stream(padded(t));
    const Located r = locate(*s);
    EXPECT_EQ(r.n, 0);
    EXPECT_EQ(r.buffer.count, 0);
    EXPECT_EQ(r.layout.ids[0].TMV, 1);
    EXPECT_EQ(r.layout.ids[0].BRD, 0);
    EXPECT_EQ(r.layout.byte_count, 6249);
    EXPECT_NE(r.diag.find("  ** MFM violation: Long spacing 20000 ns @6416 ms Byte=00c7 clk=4000\n"), std::string::npos)
        << r.diag;
    EXPECT_NE(r.diag.find("  ** No Flux Transition Area 624000 ns @7040 ms Byte=00c8 clk=4000\n"), std::string::npos) << r.diag;
}

// The standard track turned so that the index falls `into` bytes after the last ID mark.
MfmCells turned_into_last_id(size_t into) {
    const MfmCells track = synth::build_track(synth::standard_track());
    return rotate(track, byte_cell(kFirstIdMark + 8 * kSectorBytes + into));
}

TEST(IdLocator, ReadsOnBehindTheIndexToCompleteAnIdField) {
    const auto s = mem_track_stream(turned_into_last_id(3));
    const Located r = locate(*s);
    ASSERT_EQ(r.n, 9);
    const AreaInfo& last = r.layout.ids[8];
    EXPECT_EQ(last.crc, 0);
    EXPECT_EQ(last.bytes, 7);
    EXPECT_EQ(last.position_ns, 200000000u - 3 * 32000u);
    EXPECT_EQ(r.buffer.entries[7 * 8 + 3].data, 9);
    EXPECT_GT(r.layout.total_ns, 200000000u);
}

TEST(IdLocator, DropsAnIdFieldCutByTheEndOfTheData) {
    const MfmCells rev = turned_into_last_id(3);
    const MfmCells two_more_bytes = first_cells(rev, byte_cell(2));  // S and Z, then the data ends
    const auto s = mem_stream({rev, rev}, {}, &two_more_bytes);
    const Located r = locate(*s, 1);
    EXPECT_EQ(r.n, 8);
    EXPECT_EQ(r.buffer.count, 56);
    EXPECT_EQ(r.layout.ids[8].position_ns, 0u);
}

TEST(IdLocator, RecordsAtMost255IdFields) {
    MfmCells t;
    for (int k = 0; k < 260; ++k) {
        t.bytes(0x00, 2);
        t.crc_reset();
        t.sync_a1(3);
        t.bytes({0xFE, 0, 0, static_cast<uint8_t>(k), 2});
        t.crc_bytes();
    }
    const auto s = mem_track_stream(padded(t));
    const Located r = locate(*s);
    EXPECT_EQ(r.n, 255);
    EXPECT_EQ(r.buffer.count, 255 * 7);
    EXPECT_EQ(r.buffer.entries[254 * 7 + 3].data, 254);
    EXPECT_EQ(r.layout.ids[254].crc, 0);
}

}  // namespace
}  // namespace quen::sectortest
