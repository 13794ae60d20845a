#include <gtest/gtest.h>

#include <vector>

#include "report/report_capture.h"
#include "report/reports.h"
#include "sector/sector.h"

namespace quen::testing {
namespace {

const std::string kRule = "------------------+-------+--------------------------------------------+--------\n";
const std::string kTableHead = "\n\nAll Sectors Layout Information: \n" + kRule +
                               "ID                |GAP3   |DATA                                        |GAP4\n"
                               "Sct Pos    Lgt CRC|Bt Lgt |Bt   Pos    Lgt   CRC TMV BRD Clk  DOI  FZP |Bt  Lgt\n" +
                               kRule;
const std::string kNoData = "|NO DATA" + blanks(37);

TEST(AllSectorsTable, NoSectorGivesHeadAndClosingLine) {
    for (int32_t n : {0, -1}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(capture([&](FILE* f) { print_all_sectors(f, n, nullptr); }), kTableHead + kRule);
    }
}

TEST(AllSectorsTable, OneLinePerSector) {
    std::vector<SectorLayout> sectors(4);

    SectorLayout& good = sectors[0];
    good.S = 1;
    good.area(AreaKind::ID) = area(7, 2913250, 224000);
    good.area(AreaKind::GAP3) = area(37, 3137250, 1184000);
    good.area(AreaKind::DATA) = area(515, 4130000, 16480000, {.BRD = 1});
    good.area(AreaKind::GAP4) = area(40, 20610000, 1280000);

    SectorLayout& no_data = sectors[1];
    no_data.S = 2;
    no_data.area(AreaKind::ID) = area(7, 14000000, 224000);
    no_data.area(AreaKind::GAP3) = area(5, 14224000, 160000);

    // Synch faults in the fields do not soften a bad CRC in this table.
    SectorLayout& bad = sectors[2];
    bad.S = 3;
    bad.DOI = 120;
    bad.FZP = 40;
    bad.area(AreaKind::ID) = area(7, 30000000, 230000, {.crc = 0x1111, .BS = 2});
    bad.area(AreaKind::GAP3) = area(40, 30230000, 1300000);
    // 33040 ns a byte
    bad.area(AreaKind::DATA) = area(1027, 31500000, 33932080, {.crc = 9, .TMV = 5, .BRD = 10, .BS = 1});
    bad.area(AreaKind::GAP4) = area(100, 65432080, 3200000);

    // A sector whose ID field was not read again still has its line.
    sectors[3].S = 7;

    const std::string expected = kTableHead +
                                 "1   2913   224 OK |37 1184|515  4130   16480 OK  0   1   4.00 0    0   |40  1280\n"
                                 "2   14000  224 OK |5  160 " + kNoData + "|0   0   \n" +
                                 "3   30000  230 BAD|40 1300|1027 31500  33932 BAD 5   10  4.13 120  40  |100 3200\n"
                                 "7   0      0   OK |0  0   " + kNoData + "|0   0   \n" + kRule;
    EXPECT_EQ(capture([&](FILE* f) { print_all_sectors(f, 4, sectors.data()); }), expected);
}

// Sector 5 with ID 7 bytes, GAP3 3, DATA 4 and GAP4 2, the ID and DATA CRCs bad.
SectorLayout sector_five() {
    SectorLayout s;
    s.T = 2;
    s.H = 1;
    s.S = 5;
    s.Z = 3;
    s.area(AreaKind::ID) = area(7, 1000000, 224000, {.crc = 0x99, .TMV = 1, .BRD = 2, .BS = 3});
    s.area(AreaKind::GAP3) = area(3, 1224000, 96000, {.BS = 1, .IDG = 2});
    s.area(AreaKind::DATA) = area(4, 1320000, 128000, {.crc = 0x42, .BRD = 3, .BS = 4});
    s.area(AreaKind::GAP4) = area(2, 1448000, 64000, {.IDG = 1});
    return s;
}

const std::vector<uint8_t> kAllAreaBytes = {0xfe, 0x02, 0x01, 0x05, 0x03, 0xaa, 0xbb, 0x4e,
                                            0x4e, 0x4e, 0xfb, 0x41, 0x42, 0x43, 0x4e, 0x4e};
TEST(SectorDetail, AllAreasRunTheOffsetsOnAndShowTheFuzzyLine) {
    SectorLayout s = sector_five();
    s.FZP = 2;
    const ByteBuffer buffer = bytes_at(kAllAreaBytes, 1000000);
    RunOptions opts;
    opts.sector_all_areas = true;
    const std::string expected =
        "\nDetail buffer content for sector 5 with 16 bytes\n"
        "= ID=5 7 bytes @1000 length=224.00 T=2 H=1 S=5 Z=1024 *** BAD *** TMV=1 BRD=2 BS=3\n"
        "  0000 1000   4000  fe 02 01 05 03 aa bb" + blanks(29) + ".......\n" +
        "+ GAP3 3 bytes @1224 us length=96.00 us - TMV=0 BRD=0 BS=1 IDG=2\n"
        "  0007 1224   4000  4e 4e 4e" + blanks(41) + "NNN\n" +
        "= DATA ID=5 4 bytes @1320 us length=128.00 CRC BAD CLK=4.00 TMV=0 BRD=3 DOI=0 BS=4\n"
        "  *** Fuzzy Sector *** starting at byte position 2\n"
        "  000a 1320   4000  fb 41 42 43" + blanks(38) + ".ABC\n" +
        "+ GAP4 2 bytes @1448 us length=64.00 us - TMV=0 BRD=0 BS=0 IDG=1\n"
        "  000e 1448   4000  4e 4e" + blanks(44) + "NN\n";
    EXPECT_EQ(capture([&](FILE* f) { print_sector_detail(f, s, buffer, opts); }), expected);
}

TEST(SectorDetail, WithoutAllAreasOnlyDataFromOffsetZero) {
    SectorLayout s = sector_five();
    s.area(AreaKind::DATA).crc = 0;
    const ByteBuffer buffer = bytes_at({0xfb, 0x41, 0x42, 0x43}, 1320000);
    const std::string expected =
        "\nDetail buffer content for sector 5 with 4 bytes\n"
        "= DATA ID=5 4 bytes @1320 us length=128.00 CRC OK CLK=4.00 TMV=0 BRD=3 DOI=0 BS=4\n"
        "  0000 1320   4000  fb 41 42 43" + blanks(38) + ".ABC\n";
    EXPECT_EQ(capture([&](FILE* f) { print_sector_detail(f, s, buffer, RunOptions{}); }), expected);
}

TEST(SectorDetail, NoDataLeavesTheOtherAreas) {
    SectorLayout s = sector_five();
    s.area(AreaKind::ID).crc = 0;
    s.area(AreaKind::DATA) = AreaInfo{};
    s.area(AreaKind::GAP4) = area(2, 1320000, 64000);
    const ByteBuffer buffer = bytes_at({0xfe, 0x02, 0x01, 0x05, 0x03, 0xaa, 0xbb, 0x4e, 0x4e, 0x4e, 0x00, 0x00}, 1000000);

    EXPECT_EQ(capture([&](FILE* f) { print_sector_detail(f, s, ByteBuffer{}, RunOptions{}); }),
              "\nDetail buffer content for sector 5 with 0 bytes\n");

    RunOptions opts;
    opts.sector_all_areas = true;
    const std::string expected =
        "\nDetail buffer content for sector 5 with 12 bytes\n"
        "= ID=5 7 bytes @1000 length=224.00 T=2 H=1 S=5 Z=1024 OK TMV=1 BRD=2 BS=3\n"
        "  0000 1000   4000  fe 02 01 05 03 aa bb" + blanks(29) + ".......\n" +
        "+ GAP3 3 bytes @1224 us length=96.00 us - TMV=0 BRD=0 BS=1 IDG=2\n"
        "  0007 1224   4000  4e 4e 4e" + blanks(41) + "NNN\n" +
        "+ GAP4 2 bytes @1320 us length=64.00 us - TMV=0 BRD=0 BS=0 IDG=0\n"
        "  000a 1320   4000  00 00" + blanks(44) + "..\n";
    EXPECT_EQ(capture([&](FILE* f) { print_sector_detail(f, s, buffer, opts); }), expected);
}

TEST(SectorDetail, SizeCodeShowsTheDataFieldSize) {
    const std::pair<uint8_t, int> cases[] = {{0, 512}, {1, 512}, {2, 512}, {3, 1024}, {4, 512}, {200, 512}};
    RunOptions opts;
    opts.sector_all_areas = true;
    for (const auto& [z, size] : cases) {
        SCOPED_TRACE(static_cast<int>(z));
        SectorLayout s = sector_five();
        s.Z = z;
        const std::string text = capture([&](FILE* f) { print_sector_detail(f, s, ByteBuffer{}, opts); });
        EXPECT_NE(text.find("S=5 Z=" + std::to_string(size) + " *** BAD ***"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace quen::testing
