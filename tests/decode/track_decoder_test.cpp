#include <gtest/gtest.h>

#include <functional>

#include "track_fixture.h"

// Synthetic tracks are written with 2000 ns cells and no jitter, so every byte lasts
// 32 us and a byte's time is fixed by its cells: byte k (from 1) is completed by the
// first transition in or after its last cell, at (cell index + 1) x 2000 ns.

namespace quen::track_test {
namespace {

using synth::crc_of;
using synth::MfmCells;
using synth::pattern_data;
using synth::SectorPlan;

constexpr AreaKind kSectorKinds[] = {AreaKind::GAP2, AreaKind::ID, AreaKind::GAP3, AreaKind::DATA, AreaKind::GAP4};


SectorPlan sector(uint8_t number) {
    SectorPlan s;
    s.sector = number;
    return s;
}

MfmCells lead_in(size_t n = 40) {
    MfmCells c;
    c.bytes(0x4E, n);
    return c;
}

void index_mark(MfmCells& c, size_t gap1a = 20) {
    c.bytes(0x00, 12);
    c.sync_c2(3);
    c.byte(0xFC);
    c.bytes(0x4E, gap1a);
}

// Lines of the -v narration other than the plain "++ $xx Synch Byte" ones.
std::vector<std::string> notable_lines(const std::string& diag) {
    std::vector<std::string> out;
    for (const std::string& line : testing::lines_of(diag)) {
        if (line.find("Synch Byte  @") != std::string::npos || line.find("Synch Byte advance") != std::string::npos) {
            if (line.rfind("  ++ $", 0) == 0) continue;
        }
        out.push_back(line);
    }
    return out;
}

void expect_areas_tile(const TrackRun& r, size_t slot) {
    const SectorSlot& s = r.slot(slot);
    const AreaInfo* prev = nullptr;
    for (AreaKind k : kSectorKinds) {
        const AreaInfo& a = s.area(k);
        if (a.bytes == 0) continue;
        if (prev != nullptr) {
            EXPECT_EQ(prev->position_ns + prev->length_ns, a.position_ns) << "slot " << slot;
        }
        prev = &a;
    }
}

// ------------------------------------------------------------------ standard sector

struct StandardCase {
    const char* name;
    bool index_mark;               // written after the lead-in
    std::vector<uint8_t> sectors;  // written in this order; sector 1 is the one under test
    size_t slot;                   // where sector 1 must land
};

TEST(TrackDecoder, StandardSectorTakesANewSlotAfterEveryKindOfGap) {
    const StandardCase cases[] = {
        {"after GAP1", false, {1, 9}, 1},
        {"after GAP1a", true, {1, 9}, 1},
        {"after GAP4", false, {5, 1, 9}, 2},
    };
    const uint16_t data_crc = crc_of({{0xA1, 0xA1, 0xA1, 0xFB}, pattern_data(512)});
    for (const StandardCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        MfmCells c = lead_in();
        if (tc.index_mark) index_mark(c);
        for (uint8_t n : tc.sectors) synth::write_sector(c, sector(n));
        const TrackRun r = decode_cells(c);
        const SectorSlot& s = r.slot(tc.slot);
        EXPECT_EQ(s.used, 1);
        EXPECT_EQ(s.T, 0);
        EXPECT_EQ(s.H, 0);
        EXPECT_EQ(s.S, 1);
        EXPECT_EQ(s.Z, 2);
        EXPECT_EQ(s.id_crc, 0xCA6F);
        EXPECT_EQ(s.data_crc, data_crc);
        // GAP2 starts one cell late (the 4E before it ends in an empty cell), DATA
        // ends one cell late (its last CRC byte does too).
        const struct {
            AreaKind kind;
            uint16_t bytes;
            uint32_t length_ns;
        } expected[] = {
            {AreaKind::GAP2, 15, 15 * 32000 - 2000}, {AreaKind::ID, 7, 7 * 32000},
            {AreaKind::GAP3, 37, 37 * 32000},        {AreaKind::DATA, 515, 515 * 32000 + 2000},
            {AreaKind::GAP4, 80, 80 * 32000},
        };
        for (const auto& e : expected) {
            const AreaInfo& a = s.area(e.kind);
            EXPECT_EQ(a.bytes, e.bytes) << area_index(e.kind);
            EXPECT_EQ(a.length_ns, e.length_ns) << area_index(e.kind);
            EXPECT_EQ(a.crc, 0);
            EXPECT_EQ(a.TMV + a.BRD + a.BS + a.IDG + a.over_clocked + a.under_clocked, 0);
        }
        expect_areas_tile(r, tc.slot);
        EXPECT_EQ(r.layout.id_good, 3 - (tc.slot == 1 ? 1 : 0));
        EXPECT_EQ(r.layout.data_good, r.layout.id_good);
        EXPECT_EQ(r.layout.id_bad + r.layout.data_bad + r.layout.synch_bad, 0);
    }
}

TEST(TrackDecoder, StandardSectorNarratesOnlyItsSyncMarks) {
    MfmCells c = lead_in();
    synth::write_sector(c, sector(1));
    RunOptions opts;
    opts.verbose = true;
    const TrackRun r = decode_cells(c, opts);
    // Bytes 1-40 are 4E, 41-52 the 00 run, 53-55 the ID marks; the data marks are 97-99.
    EXPECT_EQ(r.diag,
              "  ++ $a1 Synch Byte  @1696 Byte=0034\n"
              "  ++ $a1 Synch Byte  @1728 Byte=0035\n"
              "  ++ $a1 Synch Byte  @1760 Byte=0036\n"
              "  ++ $a1 Synch Byte  @3104 Byte=0060\n"
              "  ++ $a1 Synch Byte  @3136 Byte=0061\n"
              "  ++ $a1 Synch Byte  @3168 Byte=0062\n");
    EXPECT_EQ(r.layout.synch_good, 2);
    EXPECT_EQ(r.slot(1).area(AreaKind::GAP2).position_ns, 40 * 32000 + 2000);
    EXPECT_EQ(r.slot(1).area(AreaKind::ID).position_ns, 55 * 32000);
}

TEST(TrackDecoder, BufferHoldsEveryByteAndTheClosingEntry) {
    MfmCells c = lead_in();
    synth::write_sector(c, sector(1));
    const TrackRun r = decode_cells(c);
    ASSERT_EQ(r.buffer.count, r.layout.byte_count);
    EXPECT_EQ(r.buffer.entries[0].position_ns, 0u);
    // (The separator's start-up corrections put the framing of the first bytes one cell
    // off; the first sync mark sets it right.)
    for (int i = 52; i < 55; ++i) {
        EXPECT_EQ(r.buffer.entries[i].data, 0xA1) << i;
        EXPECT_EQ(r.buffer.entries[i].clock, 0x0A) << i;
    }
    EXPECT_EQ(r.buffer.entries[55].data, 0xFE);
    EXPECT_EQ(r.buffer.entries[58].data, 0x01);  // sector number
    // A byte begins where the one before it was completed.
    for (int i = 1; i + 1 < r.buffer.count; ++i) ASSERT_GE(r.buffer.entries[i].position_ns, r.buffer.entries[i - 1].position_ns);
    const DecodedByte& closing = r.buffer.entries[r.buffer.count - 1];
    EXPECT_EQ(closing.position_ns, r.layout.total_ns);
    EXPECT_EQ(closing.data, r.buffer.entries[r.buffer.count - 2].data);
    // Every decoded byte belongs to exactly one area; the closing entry to none.
    uint32_t in_areas = 0;
    for (const SectorSlot& s : r.layout.slots)
        for (const AreaInfo& a : s.areas) in_areas += a.bytes;
    EXPECT_EQ(in_areas, r.buffer.count - 1u);
}

TEST(TrackDecoder, IndexAddressMarkTrackKeepsTheHeadInSlotZero) {
    MfmCells c = lead_in(40);
    index_mark(c, 20);
    synth::write_sector(c, sector(1));
    const TrackRun r = decode_cells(c);
    const SectorSlot& head = r.slot(0);
    EXPECT_EQ(head.used, 1);
    EXPECT_EQ(head.area(AreaKind::GAP1).bytes, 40);
    EXPECT_EQ(head.area(AreaKind::IAM).bytes, 16);
    EXPECT_EQ(head.area(AreaKind::GAP1a).bytes, 20);
    EXPECT_EQ(head.area(AreaKind::GAP2).bytes, 0);
    EXPECT_EQ(head.area(AreaKind::GAP1).position_ns + head.area(AreaKind::GAP1).length_ns,
              head.area(AreaKind::IAM).position_ns);
    EXPECT_EQ(head.area(AreaKind::IAM).position_ns + head.area(AreaKind::IAM).length_ns,
              head.area(AreaKind::GAP1a).position_ns);
    EXPECT_EQ(r.slot(1).area(AreaKind::GAP2).bytes, 15);
    EXPECT_EQ(r.slot(1).area(AreaKind::GAP2).position_ns,
              head.area(AreaKind::GAP1a).position_ns + head.area(AreaKind::GAP1a).length_ns);
    EXPECT_EQ(r.slot(1).S, 1);
    EXPECT_EQ(r.layout.synch_good, 3);  // FC, FE and FB
    EXPECT_EQ(r.slot(2).used, 0);
}

// ------------------------------------------------------------------ CRCs

TEST(TrackDecoder, BadCrcsAreCountedAndKeptInTheFields) {
    struct Case {
        std::optional<uint16_t> id_crc, data_crc;
        uint8_t id_good, id_bad, data_good, data_bad;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, 1, 0, 1, 0},
        {0x1234, std::nullopt, 0, 1, 1, 0},
        {std::nullopt, 0xBEEF, 1, 0, 0, 1},
        {0x1234, 0xBEEF, 0, 1, 0, 1},
    };
    for (const Case& tc : cases) {
        MfmCells c = lead_in();
        SectorPlan s = sector(3);
        s.id_crc = tc.id_crc;
        s.data_crc = tc.data_crc;
        synth::write_sector(c, s);
        const TrackRun r = decode_cells(c);
        SCOPED_TRACE(::testing::Message() << int(tc.id_bad) << int(tc.data_bad));
        EXPECT_EQ(r.layout.id_good, tc.id_good);
        EXPECT_EQ(r.layout.id_bad, tc.id_bad);
        EXPECT_EQ(r.layout.data_good, tc.data_good);
        EXPECT_EQ(r.layout.data_bad, tc.data_bad);
        const SectorSlot& slot = r.slot(1);
        EXPECT_EQ(slot.area(AreaKind::ID).crc != 0, tc.id_bad == 1);
        EXPECT_EQ(slot.area(AreaKind::DATA).crc != 0, tc.data_bad == 1);
        if (tc.id_crc) {
            EXPECT_EQ(slot.id_crc, *tc.id_crc);
        }
        if (tc.data_crc) {
            EXPECT_EQ(slot.data_crc, *tc.data_crc);
        }
        // A bad field is still a field: the sector keeps its whole layout.
        EXPECT_EQ(slot.area(AreaKind::ID).bytes, 7);
        EXPECT_EQ(slot.area(AreaKind::DATA).bytes, 515);
    }
}

// ------------------------------------------------------------------ sync sequences

struct SyncCase {
    const char* name;
    std::function<void(MfmCells&)> zone;  // written after 4E x40 and 00 x12
    uint8_t synch_good, synch_bad, id_good;
    uint16_t zone_bs;  // BS of the area the zone ends up in
    bool zone_is_iam;
    std::vector<std::string> notable;
};

// The ID field of sector 1 right behind `marks` A1 marks, then 4E x10.
void id_after_a1(MfmCells& c, size_t marks) {
    SectorPlan s = sector(1);
    s.gap2_zeros = 0;
    s.id_syncs = marks;
    s.gap3_4e = 10;
    s.has_data = false;
    synth::write_sector(c, s);
}

TEST(TrackDecoder, SyncSequencesAreJudgedAtTheByteAfterThem) {
    const SyncCase cases[] = {
        {"two marks", [](MfmCells& c) { id_after_a1(c, 2); }, 0, 1, 0, 1, false,
         {"  ** Short Synch sequence only 2 found @1762 Byte 0036"}},
        {"four marks", [](MfmCells& c) { id_after_a1(c, 4); }, 1, 1, 1, 1, false,
         {"  ++ Long synch seq (4) of $a1 Synch Byte @1792 Byte=0037"}},
        {"five marks", [](MfmCells& c) { id_after_a1(c, 5); }, 1, 1, 1, 1, false,
         {"  ++ Long synch seq (4) of $a1 Synch Byte @1792 Byte=0037",
          "  ++ Long synch seq (5) of $a1 Synch Byte @1824 Byte=0038"}},
        {"A1 then C2 marks before an index mark",
         [](MfmCells& c) {
             c.sync_a1(1);
             c.sync_c2(3);
             c.byte(0xFC);
             c.bytes(0x4E, 10);
         },
         1, 0, 0, 1, true,
         {"  ** Bad Synch Byte sequence: a1 followed by c2 @1732 Byte=0035"}},
        {"C2 then A1 marks: the A1 restarts the CRC",
         [](MfmCells& c) {
             c.sync_c2(1);
             id_after_a1(c, 3);
         },
         1, 0, 1, 1, false,
         {"  ** Bad Synch Byte sequence: c2 followed by a1 @1728 Byte=0035"}},
        {"three marks then 00",
         [](MfmCells& c) {
             c.sync_a1(3);
             c.bytes(0x00, 4);
             c.bytes(0x4E, 10);
         },
         0, 1, 0, 0, false,
         {"  ** Invalid $00 byte (not an AM) after 3 Synch mark @1794"}},
        // A natural 4E after three A1 marks forms the A1 pattern again a few cells on;
        // a 4E without clock transitions does not (at the price of one long spacing).
        {"three marks then 4E",
         [](MfmCells& c) {
             c.sync_a1(3);
             c.pattern(0x1054);
             c.bytes(0x4E, 10);
         },
         0, 1, 0, 0, false,
         {"  ** MFM violation: Long spacing 12000 ns @1780 ms Byte=0037 clk=4000",
          "  ** Invalid $4e byte (not an AM) after 3 Synch mark @1794"}},
    };
    for (const SyncCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        MfmCells c = lead_in();
        c.bytes(0x00, 12);
        tc.zone(c);
        RunOptions opts;
        opts.verbose = true;
        const TrackRun r = decode_cells(c, opts);
        EXPECT_EQ(r.layout.synch_good, tc.synch_good);
        EXPECT_EQ(r.layout.synch_bad, tc.synch_bad);
        EXPECT_EQ(r.layout.id_good, tc.id_good);
        EXPECT_EQ(r.layout.id_bad, 0);
        const AreaInfo& zone = tc.zone_is_iam ? r.area(0, AreaKind::IAM) : r.area(1, AreaKind::GAP2);
        EXPECT_EQ(zone.BS, tc.zone_bs);
        // The sync zone's faults stay with it, not with the slot before.
        EXPECT_EQ(r.area(0, AreaKind::GAP2).BS, 0);
        EXPECT_EQ(notable_lines(r.diag), tc.notable);
    }
}

TEST(TrackDecoder, SynchByteLineSaysAdvanceByHalfBitForAMarkAtAnOddCell) {
    // The first A1 sets the framing. Fifteen cells later the second one is still one
    // cell short of a byte when it is complete, and is found three cells on, behind the
    // first transition of the 00 after it.
    MfmCells c = lead_in(20);
    c.bytes(0x00, 4);
    c.sync_a1(1);
    c.bytes(0x00, 4);
    c.raw("010101010101010");
    c.sync_a1(1);
    c.bytes(0x00, 4);
    RunOptions opts;
    opts.verbose = true;
    const TrackRun r = decode_cells(c, opts);
    EXPECT_EQ(r.diag,
              "  ++ $a1 Synch Byte  @800 Byte=0018\n"
              "  ** Short Synch sequence only 1 found @834 Byte 0019\n"
              "  ++ $a1 Synch Byte advance by half-bit  @996 Byte=001e\n"
              "  ** Short Synch sequence only 1 found @1024 Byte 001f\n");
    EXPECT_EQ(r.layout.synch_bad, 2);
    EXPECT_EQ(r.area(1, AreaKind::GAP2).BS, 2);
}

// ------------------------------------------------------------------ gaps

TEST(TrackDecoder, InvalidDataBytesCountOnlyInGaps) {
    MfmCells c = lead_in(10);
    c.sync_a1(1);  // frames GAP1 right (and is a short synch sequence)
    c.bytes({0xF5, 0xF6, 0xF7});
    c.bytes(0x4E, 10);
    c.bytes(0x00, 12);
    c.sync_c2(3);
    c.byte(0xFC);
    c.byte(0xF7);  // closes the index mark area: counted in GAP1a
    c.bytes(0x4E, 10);
    synth::write_id_field(c, sector(1));
    c.bytes({0xF5, 0xF6, 0xF7});  // the F5 closes the ID field
    c.bytes(0x4E, 19);
    synth::write_data_mark(c, sector(1));
    std::vector<uint8_t> data = pattern_data(512);
    data[100] = 0xF5;
    data[101] = 0xF6;
    data[102] = 0xF7;
    c.bytes(data);
    c.crc_bytes();
    c.bytes({0xF6, 0xF5, 0xF6, 0xF7});  // the first F6 closes the DATA field
    c.bytes(0x4E, 20);
    const TrackRun r = decode_cells(c);
    EXPECT_EQ(r.area(0, AreaKind::GAP1).IDG, 3);
    EXPECT_EQ(r.area(0, AreaKind::GAP1a).IDG, 1);
    EXPECT_EQ(r.area(0, AreaKind::IAM).IDG, 0);
    EXPECT_EQ(r.area(1, AreaKind::GAP3).IDG, 2);
    EXPECT_EQ(r.area(1, AreaKind::DATA).IDG, 0);
    EXPECT_EQ(r.area(1, AreaKind::ID).IDG, 0);
    EXPECT_EQ(r.area(1, AreaKind::GAP4).IDG, 3);
    EXPECT_EQ(r.layout.data_good, 1);
    EXPECT_EQ(r.layout.id_good, 1);
}

TEST(TrackDecoder, NoFluxStretchIsNotATimingFaultAndItsEmptyBytesOpenAGap2) {
    MfmCells c = lead_in(20);
    c.no_flux(400);
    c.bytes(0x4E, 10);
    RunOptions opts;
    opts.verbose = true;
    const TrackRun r = decode_cells(c, opts);
    // The last 4E ends with two empty cells and the next one begins with a clock
    // transition: 2 + 400 + 1 cells.
    EXPECT_EQ(r.layout.noflux_ns, 20 * 32000u - 4000u + 806000u);
    EXPECT_EQ(r.diag, "  ** No Flux Transition Area 806000 ns @1442 ms Byte=0013 clk=4000\n");
    EXPECT_EQ(r.area(0, AreaKind::GAP1).bytes, 20);
    EXPECT_EQ(r.area(0, AreaKind::GAP1).TMV, 0);
    EXPECT_EQ(r.area(0, AreaKind::GAP1).BRD, 0);
    // No sector was found: the zone sits alone in slot 1, which counts as used.
    EXPECT_EQ(r.slot(1).used, 1);
    EXPECT_GT(r.area(1, AreaKind::GAP2).bytes, 0);
    for (AreaKind k : {AreaKind::ID, AreaKind::GAP3, AreaKind::DATA, AreaKind::GAP4})
        EXPECT_EQ(r.area(1, k).bytes, 0);
    EXPECT_EQ(r.buffer.entries[20].data, 0x00);
}

TEST(TrackDecoder, TimingFaultsAreCountedInTheCurrentArea) {
    // A settled run of 4E, then hand-made intervals: one too short, one too long, one
    // on a border, and a few clean ones to complete the byte.
    std::vector<uint32_t> iv = intervals_from_cells(lead_in(20));
    iv.push_back(1600);   // one cell
    iv.push_back(12000);  // six cells
    iv.push_back(5000);   // between two and three cells
    for (int i = 0; i < 20; ++i) iv.push_back(4000);
    RunOptions opts;
    opts.verbose = true;
    const TrackRun r = decode_intervals(iv, opts);
    const AreaInfo& gap1 = r.area(0, AreaKind::GAP1);
    EXPECT_EQ(gap1.TMV, 2);
    EXPECT_EQ(gap1.BRD, 1);
    // Interval messages name the last byte completed (19 bytes of 4E so far); the
    // separator then catches up with a byte of short bit period.
    EXPECT_EQ(notable_lines(r.diag), (std::vector<std::string>{
                                         "  ** MFM violation: Short spacing 1600 ns @637 ms Byte=0013 clk=3968",
                                         "  ** MFM violation: Long spacing 12000 ns @649 ms Byte=0014 clk=3938",
                                         "  ** Border bits 5000 ns @ 654 ms Byte=0014 clk=3820",
                                         "  ** Under clocked byte @ 670 ms Byte=0015 clk=3849",
                                     }));
    EXPECT_EQ(gap1.under_clocked, 1);
    EXPECT_EQ(r.layout.noflux_ns, 0u);
}

TEST(TrackDecoder, CountersCountWithoutVerbose) {
    std::vector<uint32_t> iv = intervals_from_cells(lead_in(20));
    iv.push_back(1600);
    iv.push_back(5000);
    for (int i = 0; i < 20; ++i) iv.push_back(4000);
    const TrackRun r = decode_intervals(iv);
    EXPECT_EQ(r.diag, "");
    EXPECT_EQ(r.area(0, AreaKind::GAP1).TMV, 1);
    EXPECT_EQ(r.area(0, AreaKind::GAP1).BRD, 1);
}

// ------------------------------------------------------------------ the end of the revolution

TEST(TrackDecoder, FieldCutByTheIndexCountsAsBad) {
    struct Case {
        const char* name;
        size_t cut_after;  // bytes of the field written
        bool in_data;
        uint16_t bytes;
    };
    const Case cases[] = {
        {"inside DATA", 101, true, 101},
        {"inside DATA, both CRC bytes read", 515, true, 515},
        {"inside ID", 4, false, 4},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        MfmCells c = lead_in();
        if (tc.in_data) {
            synth::write_id_field(c, sector(1));
            c.bytes(0x4E, 22);
            synth::write_data_mark(c, sector(1));
            // 0x55 ends with a transition in its last cell, so the last byte is completed.
            if (tc.cut_after < 515) {
                c.bytes(0x55, tc.cut_after - 1);
            } else {
                // A first data byte that makes the CRC's last bit a 1, so that the
                // second CRC byte is completed too.
                uint8_t first = 0;
                while ((crc_of({{0xA1, 0xA1, 0xA1, 0xFB, first}, std::vector<uint8_t>(511, 0x55)}) & 1) == 0) ++first;
                c.byte(first);
                c.bytes(0x55, 511);
                c.crc_bytes();
            }
        } else {
            c.bytes(0x00, 12);
            c.sync_a1(3);
            c.bytes({0xFE, 0x55, 0x55, 0x55});
        }
        const TrackRun r = decode_cells(c);
        const AreaKind k = tc.in_data ? AreaKind::DATA : AreaKind::ID;
        EXPECT_EQ(r.area(1, k).bytes, tc.bytes);
        EXPECT_EQ(r.slot(1).used, 1);
        EXPECT_EQ(r.layout.data_bad, tc.in_data ? 1 : 0);
        EXPECT_EQ(r.layout.id_bad, tc.in_data ? 0 : 1);
        EXPECT_EQ(r.layout.data_good, 0);
        // The field runs up to the last byte completed; the closing entry is in no area.
        const AreaInfo& a = r.area(1, k);
        if (tc.cut_after == 515) {
            EXPECT_EQ(a.crc, 0);  // right, and still bad: the field was never closed
        }
        EXPECT_EQ(a.position_ns + a.length_ns, r.layout.byte_start_ns);
    }
}

TEST(TrackDecoder, TrailingSyncZoneJoinsTheLastSectorsGap4) {
    MfmCells c = lead_in();
    synth::write_sector(c, sector(1));  // ends with 4E x80
    c.bytes(0x00, 12);
    c.sync_a1(1);
    c.sync_c2(1);  // a bad synch sequence inside the trailing zone
    c.byte(0x00);  // ends in an empty cell: never completed
    const TrackRun r = decode_cells(c);
    const AreaInfo& gap4 = r.area(1, AreaKind::GAP4);
    const AreaInfo& zone = r.area(2, AreaKind::GAP2);
    EXPECT_EQ(zone.bytes, 14);
    EXPECT_EQ(zone.BS, 1);
    EXPECT_EQ(gap4.bytes, 80 + 14);
    EXPECT_EQ(gap4.length_ns, 80 * 32000u + zone.length_ns);
    EXPECT_EQ(gap4.BS, 1);
    EXPECT_EQ(r.slot(2).used, 0);
    EXPECT_EQ(r.layout.data_good, 1);
}

TEST(TrackDecoder, TrailingZoneWithoutAnySectorFillsSlotOne) {
    MfmCells c = lead_in(30);
    c.bytes(0x00, 10);
    c.byte(0x55);
    const TrackRun r = decode_cells(c);
    EXPECT_EQ(r.slot(1).used, 1);
    EXPECT_EQ(r.area(1, AreaKind::GAP2).bytes, 11);
    EXPECT_EQ(r.area(0, AreaKind::GAP1).bytes, 30);
    EXPECT_EQ(r.slot(2).used, 0);
}

TEST(TrackDecoder, RevolutionWithoutIntervalsLeavesOnlyTheClosingEntry) {
    const TrackRun r = decode_intervals({});
    ASSERT_EQ(r.buffer.count, 1);
    const DecodedByte& e = r.buffer.entries[0];
    EXPECT_EQ(e.data, 0);
    EXPECT_EQ(e.clock, 0);
    EXPECT_EQ(e.clk, 4000);
    EXPECT_EQ(e.position_ns, 0u);
    EXPECT_EQ(r.layout.byte_count, 1);
    EXPECT_EQ(r.layout.total_ns, 0u);
    ASSERT_EQ(r.layout.slots.size(), TrackLayout::kInitialSlots);
    EXPECT_EQ(r.slot(0).used, 1);
    for (size_t i = 0; i < r.layout.slots.size(); ++i) {
        EXPECT_EQ(r.slot(i).used, i == 0 ? 1 : 0);
        EXPECT_EQ(r.slot(i).Z, 2);
        for (const AreaInfo& a : r.slot(i).areas) EXPECT_EQ(a.bytes, 0);
    }
}

TEST(TrackDecoder, DecodeStartsAfreshOnAReusedLayoutAndBuffer) {
    auto stream_long = stream_from_intervals(intervals_from_cells(synth::build_track(synth::standard_track())));
    auto stream_short = stream_from_intervals(intervals_from_cells(lead_in(10)));
    TrackLayout layout;
    ByteBuffer buffer(10000);
    RunOptions opts;
    testing::decode_track_from_index(layout, *stream_long, 0, buffer, opts);
    ASSERT_EQ(layout.id_good + layout.id_bad, 9);
    testing::decode_track_from_index(layout, *stream_short, 0, buffer, opts);
    EXPECT_EQ(buffer.count, layout.byte_count);
    EXPECT_LT(buffer.count, 12);
    EXPECT_EQ(layout.id_good + layout.id_bad + layout.synch_good, 0);
    EXPECT_EQ(layout.slots[1].used, 0);
    EXPECT_EQ(layout.slots[1].area(AreaKind::DATA).bytes, 0);
}

TEST(TrackDecoder, ReadsNoMoreThanTheRevolutionsIntervals) {
    // The index records claim more intervals than the stream holds.
    auto stream = stream_from_intervals(intervals_from_cells(lead_in(10)));
    stream->index[1].flux_index = 100000;
    TrackLayout layout;
    ByteBuffer buffer(16);
    RunOptions opts;
    testing::decode_track_from_index(layout, *stream, 0, buffer, opts);
    EXPECT_EQ(layout.total_ns, 10 * 32000u - 4000u);
}

// The buffer is sized from the revolution's intervals before the first byte: a track of
// MFM never makes it grow, and one with longer stretches grows it without losing a byte.
struct BufferSizeCase {
    const char* name;
    std::function<MfmCells()> cells;
    bool grows;
};

const BufferSizeCase kBufferSizeCases[] = {
    {"standard track", [] { return synth::build_track(synth::standard_track()); }, false},
    // Every interval of AA bytes is four cells long, the most MFM has.
    {"AA bytes, four cells to each interval",
     [] {
         MfmCells c;
         c.bytes(0xAA, 6000);
         return c;
     },
     false},
    {"no revolution at all", [] { return MfmCells{}; }, false},
    {"a stretch without flux",
     [] {
         MfmCells c = lead_in(20);
         c.no_flux(4000);
         c.bytes(0x4E, 20);
         return c;
     },
     true},
};

TEST(TrackDecoder, BufferIsSizedFromTheRevolution) {
    for (const BufferSizeCase& c : kBufferSizeCases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint32_t> intervals = intervals_from_cells(c.cells());
        auto stream = stream_from_intervals(intervals);
        TrackLayout layout;
        ByteBuffer buffer;
        testing::decode_track_from_index(layout, *stream, 0, buffer, RunOptions{});
        EXPECT_EQ(buffer.count, layout.byte_count);
        const uint16_t sized = track_buffer_entries(static_cast<uint32_t>(intervals.size()));
        EXPECT_EQ(buffer.capacity > sized, c.grows) << buffer.capacity << " for " << buffer.count;
        EXPECT_GE(buffer.capacity, buffer.count);
    }
}

TEST(TrackDecoder, BufferRoomStopsAtTheMostItCanHold) {
    const std::pair<uint32_t, uint16_t> cases[] = {
        {0, 2}, {4, 3}, {42563, 10642}, {262132, 65535}, {262136, 65535}, {0xFFFFFFFF, 65535}};
    for (const auto& [intervals, entries] : cases) EXPECT_EQ(track_buffer_entries(intervals), entries) << intervals;
}

// ------------------------------------------------------------------ slots

TEST(TrackDecoder, ThirtySectorsAreRecordedWhole) {
    MfmCells c = lead_in();
    index_mark(c);
    for (uint8_t s = 1; s <= 30; ++s) {
        SectorPlan sec = sector(s);
        sec.gap3_4e = 10;
        sec.gap4_4e = 20;
        synth::write_sector(c, sec);
    }
    const TrackRun r = decode_cells(c);
    ASSERT_GE(r.layout.slots.size(), 31u);
    for (uint8_t s = 1; s <= 30; ++s) {
        SCOPED_TRACE(int(s));
        EXPECT_EQ(r.slot(s).used, 1);
        EXPECT_EQ(r.slot(s).S, s);
        EXPECT_EQ(r.area(s, AreaKind::ID).bytes, 7);
        EXPECT_EQ(r.area(s, AreaKind::DATA).bytes, 515);
        EXPECT_EQ(r.area(s, AreaKind::GAP2).bytes, 15);
    }
    if (r.layout.slots.size() > 31) {
        EXPECT_EQ(r.slot(31).used, 0);
    }
    // Some ID CRCs hold a sync pattern at an odd cell and are re-framed (see below).
    EXPECT_EQ(r.layout.id_good + r.layout.id_bad, 30);
    EXPECT_EQ(r.layout.data_good, 30);
}

TEST(TrackDecoder, SectorsBeyondTheLastSlotStillCountInTheTotals) {
    // 300 bare ID fields, each right after the last: every one opens a slot.
    MfmCells c = lead_in(10);
    for (int i = 1; i <= 300; ++i) {
        c.crc_reset();
        c.sync_a1(3);
        c.bytes({0xFE, 0x00, 0x00, static_cast<uint8_t>(i), 0x02});
        c.crc_bytes();
        c.bytes(0x4E, 2);
    }
    // Inside the fields the framing is kept: some of these CRCs hold sync patterns.
    RunOptions opts;
    opts.look_for_sync = false;
    const TrackRun r = decode_cells(c, opts);
    ASSERT_EQ(r.layout.slots.size(), TrackLayout::kMaxSlots);
    for (size_t s = 1; s < TrackLayout::kMaxSlots; ++s) {
        ASSERT_EQ(r.slot(s).used, 1) << s;
        ASSERT_EQ(r.slot(s).S, static_cast<uint8_t>(s)) << s;
    }
    EXPECT_EQ(r.area(255, AreaKind::ID).bytes, 7);
    EXPECT_EQ(r.layout.id_good, 300 % 256);
    EXPECT_EQ(r.layout.synch_good, 300 % 256);
}

struct GapMarkCase {
    const char* name;
    std::function<MfmCells()> cells;
    size_t slot;             // slot the field must land in
    AreaKind before_kind;    // the gap it interrupts...
    size_t before_slot;      // ...in this slot
    uint16_t before_bytes;   // which keeps its bytes (the sync marks included)
};

// Sector 3 without a GAP2 sync zone: its sync marks follow the gap before directly.
SectorPlan sector3_without_gap2(uint8_t id_mark = 0xFE) {
    SectorPlan s = sector(3);
    s.gap2_zeros = 0;
    s.id_mark = id_mark;
    return s;
}

TEST(TrackDecoder, MarkMetDirectlyInAGapStartsASlotOfItsOwn) {
    const GapMarkCase cases[] = {
        {"ID mark FE in GAP4",
         [] {
             MfmCells c = lead_in();
             synth::write_sector(c, sector(1));
             synth::write_sector(c, sector3_without_gap2());
             return c;
         },
         2, AreaKind::GAP4, 1, 83},
        {"ID mark FF in GAP4",
         [] {
             MfmCells c = lead_in();
             synth::write_sector(c, sector(1));
             synth::write_sector(c, sector3_without_gap2(0xFF));
             return c;
         },
         2, AreaKind::GAP4, 1, 83},
        {"ID mark in GAP1a",
         [] {
             MfmCells c = lead_in();
             index_mark(c, 20);
             synth::write_sector(c, sector3_without_gap2());
             return c;
         },
         1, AreaKind::GAP1a, 0, 23},
        {"data mark in GAP1",
         [] {
             MfmCells c = lead_in();
             c.crc_reset();
             c.sync_a1(3);
             c.byte(0xFB);
             c.bytes(pattern_data(512));
             c.crc_bytes();
             c.bytes(0x4E, 30);
             return c;
         },
         1, AreaKind::GAP1, 0, 43},
    };
    for (const GapMarkCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        const TrackRun r = decode_cells(tc.cells());
        EXPECT_EQ(r.area(tc.before_slot, tc.before_kind).bytes, tc.before_bytes);
        const SectorSlot& s = r.slot(tc.slot);
        EXPECT_EQ(s.used, 1);
        EXPECT_EQ(s.area(AreaKind::GAP2).bytes, 0);
        if (tc.before_kind == AreaKind::GAP1) {
            EXPECT_EQ(s.area(AreaKind::DATA).bytes, 515);
            EXPECT_EQ(r.layout.data_good, 1);
        } else {
            EXPECT_EQ(s.S, 3);
            EXPECT_EQ(s.area(AreaKind::ID).bytes, 7);
            EXPECT_EQ(s.area(AreaKind::DATA).bytes, 515);
            EXPECT_EQ(r.layout.id_bad + r.layout.data_bad, 0);
        }
        // The earlier sector keeps its own fields.
        if (tc.before_slot == 1) {
            EXPECT_EQ(r.slot(1).S, 1);
            EXPECT_EQ(r.area(1, AreaKind::ID).bytes, 7);
            EXPECT_EQ(r.area(1, AreaKind::DATA).bytes, 515);
        } else {
            EXPECT_EQ(r.area(0, AreaKind::ID).bytes, 0);
            EXPECT_EQ(r.area(0, AreaKind::DATA).bytes, 0);
        }
    }
}

TEST(TrackDecoder, DataFieldFollowedDirectlyByZerosHasAOneByteGap4) {
    MfmCells c = lead_in();
    SectorPlan first = sector(1);
    first.gap4_4e = 0;
    synth::write_sector(c, first);
    synth::write_sector(c, sector(2));
    const TrackRun r = decode_cells(c);
    EXPECT_EQ(r.area(1, AreaKind::GAP4).bytes, 1);
    EXPECT_EQ(r.area(2, AreaKind::GAP2).bytes, 14);
    EXPECT_EQ(r.slot(2).S, 2);
}

TEST(TrackDecoder, IdWithoutDataLeavesItsSectorBehind) {
    MfmCells c = lead_in();
    SectorPlan lone = sector(1);
    lone.has_data = false;
    synth::write_sector(c, lone);
    synth::write_sector(c, sector(2));
    const TrackRun r = decode_cells(c);
    EXPECT_EQ(r.slot(1).S, 1);
    EXPECT_EQ(r.area(1, AreaKind::DATA).bytes, 0);
    // Its GAP3 runs up to the next ID mark, sync zone included.
    EXPECT_EQ(r.area(1, AreaKind::GAP3).bytes, 22 + 12 + 3);
    EXPECT_EQ(r.slot(2).S, 2);
    EXPECT_EQ(r.area(2, AreaKind::GAP2).bytes, 0);
    EXPECT_EQ(r.area(2, AreaKind::DATA).bytes, 515);
}

// ------------------------------------------------------------------ options

TEST(TrackDecoder, LookForSyncDecidesWhetherFieldsAreReframed) {
    // Sector 2's ID CRC bytes hold the C2 pattern at an odd cell.
    const MfmCells track = synth::build_track(synth::standard_track());
    struct Case {
        bool look_for_sync;
        uint8_t id_good, id_bad;
        uint16_t sector2_id_bs;
    };
    for (const Case& tc : {Case{true, 8, 1, 1}, Case{false, 9, 0, 0}}) {
        SCOPED_TRACE(tc.look_for_sync);
        RunOptions opts;
        opts.look_for_sync = tc.look_for_sync;
        const TrackRun r = decode_cells(track, opts);
        EXPECT_EQ(r.layout.id_good, tc.id_good);
        EXPECT_EQ(r.layout.id_bad, tc.id_bad);
        EXPECT_EQ(r.layout.data_good, 9);
        EXPECT_EQ(r.slot(2).S, 2);
        EXPECT_EQ(r.area(2, AreaKind::ID).BS, tc.sector2_id_bs);
        EXPECT_EQ(r.area(2, AreaKind::ID).crc != 0, tc.id_bad == 1);
    }
}

TEST(TrackDecoder, SyncMarkInsideADataField) {
    // A data field holding an A1 mark: followed, it restarts the CRC; ignored, it is data.
    MfmCells c = lead_in(20);
    c.bytes(0x00, 12);
    c.crc_reset();
    c.sync_a1(3);
    c.byte(0xFB);
    c.bytes(0x55, 10);
    c.sync_a1(1);
    c.bytes(0x55, 501);
    c.crc_bytes();
    c.bytes(0x4E, 20);
    struct Case {
        bool look_for_sync;
        uint8_t data_good, synch_bad;
        uint16_t data_bs;
        std::string diag_tail;
    };
    const Case cases[] = {
        {true, 0, 1, 1,
         "  ++ $a1 Synch Byte  @1504 Byte=002e\n"
         "  ** Short Synch sequence only 1 found @1536 Byte 002f\n"},
        {false, 1, 0, 0, ""},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.look_for_sync);
        RunOptions opts;
        opts.look_for_sync = tc.look_for_sync;
        opts.verbose = true;
        const TrackRun r = decode_cells(c, opts);
        EXPECT_EQ(r.layout.data_good, tc.data_good);
        EXPECT_EQ(r.layout.data_bad, 1 - tc.data_good);
        EXPECT_EQ(r.layout.synch_bad, tc.synch_bad);
        EXPECT_EQ(r.area(1, AreaKind::DATA).bytes, 515);
        EXPECT_EQ(r.area(1, AreaKind::DATA).BS, tc.data_bs);
        const std::string marks =
            "  ++ $a1 Synch Byte  @1056 Byte=0020\n"
            "  ++ $a1 Synch Byte  @1088 Byte=0021\n"
            "  ++ $a1 Synch Byte  @1120 Byte=0022\n";
        EXPECT_EQ(r.diag, marks + tc.diag_tail);
    }
}

TEST(TrackDecoder, BitPeriodFaultsFollowTheSeparatorUnlessItIsFrozen) {
    // Cells 4% long: the separator settles near freq 123 (clk 4162), an over-clocked byte.
    const MfmCells track = synth::build_track(synth::standard_track());
    const std::vector<uint32_t> slow = intervals_from_cells(track, 2080);
    const std::vector<uint32_t> fast = intervals_from_cells(track, 1920);
    struct Case {
        const std::vector<uint32_t>* intervals;
        bool pll_off;
        bool over, under;
    };
    const Case cases[] = {
        {&slow, false, true, false},
        {&fast, false, false, true},
        {&slow, true, false, false},
        {&fast, true, false, false},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(::testing::Message() << (tc.intervals == &slow ? "slow" : "fast") << " pll_off=" << tc.pll_off);
        RunOptions opts;
        opts.pll_off = tc.pll_off;
        const TrackRun r = decode_intervals(*tc.intervals, opts);
        const AreaInfo& data = r.area(1, AreaKind::DATA);
        EXPECT_EQ(data.over_clocked, tc.over ? 515 : 0);
        EXPECT_EQ(data.under_clocked, tc.under ? 515 : 0);
        EXPECT_EQ(r.layout.data_good, 9);
        if (tc.pll_off) {
            for (uint16_t i = 0; i < r.buffer.count; ++i) ASSERT_EQ(r.buffer.entries[i].clk, 4000) << i;
        }
    }
}

TEST(TrackDecoder, BitPeriodMessagesNameTheByteBeingCompleted) {
    const MfmCells track = lead_in(30);
    RunOptions opts;
    opts.verbose = true;
    const TrackRun slow = decode_intervals(intervals_from_cells(track, 2080), opts);
    EXPECT_NE(slow.diag.find("  ** Over clocked byte @ "), std::string::npos);
    EXPECT_EQ(slow.diag.find("Under clocked"), std::string::npos);
    const TrackRun fast = decode_intervals(intervals_from_cells(track, 1920), opts);
    EXPECT_NE(fast.diag.find("  ** Under clocked byte @ "), std::string::npos);
    // The last byte of the run is named with its own number.
    char last[64];
    std::snprintf(last, sizeof last, "Byte=%04x clk=", fast.layout.byte_count - 1);
    EXPECT_NE(fast.diag.find(last), std::string::npos) << fast.diag;
}

}  // namespace
}  // namespace quen::track_test
