#include <gtest/gtest.h>

#include "decode/track.h"
#include "report/report_capture.h"
#include "report/reports.h"

namespace quen::testing {
namespace {

const std::string kStars76 = std::string(76, '*');
const std::string kRule = "-----------+------------------+-----------+---------------------------+------------\n";
const std::string kTableHead = kRule +
                               "GAP2       |ID                |GAP3       |DATA                       |GAP4\n"
                               "Bt   Lgt   |Sct Pos    Lgt CRC|Bt  Lgt  BS|Bt   Lgt   CRC TMV BRD Clk |Bt  Lgt   BS\n" +
                               kRule;

TrackLayout fresh_layout() {
    TrackLayout track;
    track.slots.resize(TrackLayout::kInitialSlots);
    track.slots[0].used = 1;
    return track;
}

SectorSlot& add_sector(TrackLayout& track, size_t i, uint8_t s) {
    SectorSlot& slot = track.slots[i];
    slot.used = 1;
    slot.S = s;
    return slot;
}

// A well-formed sector: 15-byte GAP2, 7-byte ID at id_ns, 37-byte GAP3, 515-byte
// DATA of 32 us per byte, 40-byte GAP4.
void standard_areas(SectorSlot& slot, uint32_t id_ns) {
    slot.area(AreaKind::GAP2) = area(15, id_ns - 480000, 480000);
    slot.area(AreaKind::ID) = area(7, id_ns, 224000);
    slot.area(AreaKind::GAP3) = area(37, id_ns + 224000, 1184000);
    slot.area(AreaKind::DATA) = area(515, id_ns + 1408000, 16480000);
    slot.area(AreaKind::GAP4) = area(40, id_ns + 17888000, 1280000);
}

TEST(TrackLayoutTable, PrintsTotalsHeadAndOneLinePerSector) {
    TrackLayout track = fresh_layout();
    track.total_ns = 199876543;
    track.byte_count = 6251;
    track.id_good = 2;
    track.id_bad = 1;
    track.data_good = 1;
    track.data_bad = 2;
    track.synch_good = 7;
    track.synch_bad = 3;

    SectorSlot& head = track.slots[0];
    head.area(AreaKind::GAP1) = area(40, 0, 1281000);
    head.area(AreaKind::IAM) = area(16, 1281000, 512250);
    head.area(AreaKind::GAP1a) = area(20, 1793250, 640000);

    SectorSlot& good = add_sector(track, 1, 1);
    standard_areas(good, 2913250);
    good.area(AreaKind::DATA).BRD = 2;

    SectorSlot& no_id = add_sector(track, 2, 2);
    no_id.area(AreaKind::GAP3) = area(3, 0, 96000, {.BS = 2});
    no_id.area(AreaKind::DATA) = area(1027, 0, 33932080, {.crc = 0x1234, .TMV = 12, .BRD = 3});  // 33040 ns a byte
    no_id.area(AreaKind::GAP4) = area(100, 0, 3200000, {.BS = 11});

    SectorSlot& no_data = add_sector(track, 3, 3);
    no_data.area(AreaKind::GAP2) = area(12, 0, 384000);
    no_data.area(AreaKind::ID) = area(7, 5000000, 224000);
    no_data.area(AreaKind::GAP3) = area(100, 0, 3200000);

    // A bad CRC with a synch fault in the field is doubtful, without one it is bad.
    SectorSlot& doubtful_id = add_sector(track, 4, 4);
    standard_areas(doubtful_id, 10000000);
    doubtful_id.area(AreaKind::ID).crc = 0xBEEF;
    doubtful_id.area(AreaKind::ID).BS = 1;
    doubtful_id.area(AreaKind::DATA).crc = 1;
    SectorSlot& doubtful_data = add_sector(track, 5, 5);
    standard_areas(doubtful_data, 20000000);
    doubtful_data.area(AreaKind::ID).crc = 1;
    doubtful_data.area(AreaKind::DATA).crc = 5;
    doubtful_data.area(AreaKind::DATA).BS = 2;

    // Slot 6 is unused, so slot 7 is never reached.
    add_sector(track, 7, 7);
    standard_areas(track.slots[7], 30000000);

    const std::string expected =
        "\n" + kStars76 + "\n" +
        "Track Layout Information: 6250 Bytes - length=199.877 ms\n"
        "ID Good/Bad=2/1 - Data Good/Bad=1/2 - Synch Good/Bad =7/3\n" +
        kStars76 + "\n\n" +
        "GAP1 40 bytes length=1281.00 us\n"
        "IAM 16 bytes position=1.281 ms length=512.25 us\n"
        "GAP1a 20 bytes position=1.793 ms length=640.00 us\n" +
        kTableHead +
        "15   480   |1   2913   224 OK |37  1184  0|515  16480 OK  0   2   4.00|40  1280   0\n"
        "0    0     |NO ID             |3   96    2|1027 33932 BAD 12  3   4.13|100 3200  11\n"
        "12   384   |3   5000   224 OK |100 3200  0|NO DATA                    |0   0      0\n"
        "15   480   |4   10000  224 ?  |37  1184  0|515  16480 BAD 0   0   4.00|40  1280   0\n"
        "15   480   |5   20000  224 BAD|37  1184  0|515  16480 ?   0   0   4.00|40  1280   0\n" +
        kRule + "\n";
    EXPECT_EQ(capture([&](FILE* f) { print_track_layout(f, track); }), expected);
}

TEST(TrackLayoutTable, EmptyHeadShowsGap1Only) {
    TrackLayout track = fresh_layout();
    track.byte_count = 1;
    const std::string expected = "\n" + kStars76 + "\n" +
                                 "Track Layout Information: 0 Bytes - length=0 ms\n"
                                 "ID Good/Bad=0/0 - Data Good/Bad=0/0 - Synch Good/Bad =0/0\n" +
                                 kStars76 + "\n\n" + "GAP1 0 bytes length=0.00 us\n" + kTableHead + kRule + "\n";
    EXPECT_EQ(capture([&](FILE* f) { print_track_layout(f, track); }), expected);
}

TEST(TrackLayoutTable, StopsAtTheLastSlotWhenAllAreUsed) {
    TrackLayout track;
    track.slots.resize(2);
    track.slots[0].used = 1;
    track.slots[1].used = 1;
    track.slots[1].S = 9;
    track.byte_count = 1;
    const std::string text = capture([&](FILE* f) { print_track_layout(f, track); });
    const std::string line = "0    0     |NO ID             |0   0     0|NO DATA                    |0   0      0\n";
    EXPECT_NE(text.find(kTableHead + line + kRule + "\n"), std::string::npos) << text;
}

// Slot 0: GAP1 of 2 bytes, IAM of 1, no GAP1a; slot 1: GAP2 1, ID 2, GAP3 1,
// DATA 2, GAP4 1; the eleventh entry is the closing one, in no area.
struct DetailFixture {
    TrackLayout track = fresh_layout();
    ByteBuffer buffer = bytes_at({0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a}, 0);

    DetailFixture() {
        SectorSlot& head = track.slots[0];
        head.area(AreaKind::GAP1) = area(2, 0, 64000, {.TMV = 1, .BRD = 2, .BS = 3});
        head.area(AreaKind::IAM) = area(1, 64000, 32000);

        SectorSlot& s = add_sector(track, 1, 9);
        s.T = 80;
        s.H = 1;
        s.Z = 3;
        s.id_crc = 0xab12;
        s.data_crc = 0x0f0e;
        s.area(AreaKind::GAP2) = area(1, 96000, 32000, {.BRD = 1});
        s.area(AreaKind::ID) = area(2, 128000, 64000, {.TMV = 2, .BS = 1});
        s.area(AreaKind::GAP3) = area(1, 192000, 32000, {.TMV = 1, .IDG = 2});
        s.area(AreaKind::DATA) = area(2, 224000, 64000, {.crc = 7, .BS = 2});
        s.area(AreaKind::GAP4) = area(1, 288000, 32000, {.IDG = 4});
    }
};

TEST(TrackDetail, DumpsEveryAreaAfterItsLine) {
    DetailFixture fx;
    const std::string expected =
        "Detail buffer content 11 bytes\n"
        "+ GAP1 2 bytes @0.000 ms length=64.00 us - TMV=1 BRD=2 BS=3\n"
        "  0000 0      4000  60 61" + blanks(44) + "`a\n" +
        "+ IAM 1 bytes @0.064 ms length=32.00 us - TMV=0 BRD=0\n"
        "  0002 64     4000  62" + blanks(47) + "b\n" +
        "\n+ GAP2 1 bytes @96 us length=32.00 us - TMV=0 BRD=1\n"
        "  0003 96     4000  63" + blanks(47) + "c\n" +
        "= ID=9 2 bytes @128 length=64.00 T=80 H=1 S=9 Z=1024 CRC=ab12 OK TMV=2 BRD=0 BS=1\n"
        "  0004 128    4000  64 65" + blanks(44) + "de\n" +
        "+ GAP3 1 bytes @192 us length=32.00 us - TMV=1 BRD=0 BS=0 IDG=2\n"
        "  0006 192    4000  66" + blanks(47) + "f\n" +
        "= DATA ID=9 2 bytes @224 us length=64.00 us - CRC=0f0e *** BAD *** - TMV=0 BRD=0 BS=2\n"
        "  0007 224    4000  67 68" + blanks(44) + "gh\n" +
        "+ GAP4 1 bytes @288 us length=32.00 us - TMV=0 BRD=0 BS=0 IDG=4\n"
        "  0009 288    4000  69" + blanks(47) + "i\n";
    EXPECT_EQ(capture([&](FILE* f) { print_track_detail(f, fx.track, fx.buffer, RunOptions{}); }), expected);
}

TEST(TrackDetail, SimpleDecimalIsOneDumpOfTheWholeBuffer) {
    DetailFixture fx;
    RunOptions opts;
    opts.simple_decimal = true;
    const std::string expected =
        "Detail buffer content 11 bytes\n"
        "  00000  60 61 62 63 64 65 66 67 68 69 6a" + blanks(17) + "`abcdefghij\n";
    EXPECT_EQ(capture([&](FILE* f) { print_track_detail(f, fx.track, fx.buffer, opts); }), expected);
}

struct SizeCase {
    uint8_t z;
    int size;
};

TEST(TrackDetail, SizeCodeShowsTheDataFieldSize) {
    const SizeCase cases[] = {{0, 512}, {1, 512}, {2, 512}, {3, 1024}, {4, 512}, {255, 512}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.z));
        DetailFixture fx;
        fx.track.slots[1].Z = c.z;
        const std::string text =
            capture([&](FILE* f) { print_track_detail(f, fx.track, fx.buffer, RunOptions{}); });
        EXPECT_NE(text.find("S=9 Z=" + std::to_string(c.size) + " CRC=ab12"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace quen::testing
