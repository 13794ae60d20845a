#include <gtest/gtest.h>

#include "report/report_capture.h"
#include "report/reports.h"
#include "sector/id_locator.h"

namespace quen::testing {
namespace {

const std::string kStars79 = std::string(79, '*');
const std::string kDash36 = "------------------------------------\n";
const std::string kTableHead = kDash36 + "ID\nSct Pos     Lgt  CRC TMV BRD CLK\n" + kDash36;

// Three ID fields of sectors 1, 2 and 3; the second has a bad CRC and faults.
struct ThreeIds {
    IdLayout ids;
    ByteBuffer buffer{200};

    ThreeIds() {
        ids.id_count = 3;
        ids.byte_count = 6300;
        ids.total_ns = 199999999;
        ids.ids[0] = area(7, 1000000, 224000);
        ids.ids[1] = area(7, 22345678, 230000, {.crc = 0x55, .TMV = 3, .BRD = 14});
        ids.ids[2] = area(7, 123456789, 224000, {.TMV = 100, .BRD = 7});
        for (uint8_t k = 0; k < 3; ++k) {
            const uint8_t field[] = {0xfe, 0x00, 0x00, static_cast<uint8_t>(k + 1), 0x02,
                                     static_cast<uint8_t>(0xa0 + k), static_cast<uint8_t>(0xb0 + k)};
            for (uint32_t j = 0; j < 7; ++j) {
                buffer.append(DecodedByte{field[j], 0x00, 4000, ids.ids[k].position_ns + j * 32000});
            }
        }
    }
};

TEST(IdLayoutTable, NoIdFieldGivesHeadAndClosingLine) {
    IdLayout ids;
    ids.byte_count = 6251;
    ids.total_ns = 200000000;
    const ByteBuffer empty(200);
    const std::string expected = "\n" + kStars79 + "\n" + "ID Layout Information: 6250 Bytes - length=200 ms - # ID 0\n" +
                                 kStars79 + "\n" + kTableHead + kDash36 + "\n";
    EXPECT_EQ(capture([&](FILE* f) { print_id_layout(f, ids, empty); }), expected);
}

TEST(IdLayoutTable, OneLinePerIdField) {
    ThreeIds fx;
    const std::string expected = "\n" + kStars79 + "\n" + "ID Layout Information: 6299 Bytes - length=200 ms - # ID 3\n" +
                                 kStars79 + "\n" + kTableHead +
                                 "1   1000    224  OK  0   0   4.00\n"
                                 "2   22345   230  BAD 3   14  4.11\n"
                                 "3   123456  224  OK  100 7   4.00\n" +
                                 kDash36 + "\n";
    EXPECT_EQ(capture([&](FILE* f) { print_id_layout(f, fx.ids, fx.buffer); }), expected);
}

TEST(IdLayoutTable, FieldWithoutBytesShowsSectorZeroAndNoClock) {
    IdLayout ids;
    ids.id_count = 1;
    ids.byte_count = 1;
    ids.ids[0] = area(0, 0, 5000);
    const ByteBuffer empty(200);
    const std::string text = capture([&](FILE* f) { print_id_layout(f, ids, empty); });
    EXPECT_NE(text.find(kTableHead + "0   0       5    OK  0   0   0.00\n" + kDash36), std::string::npos) << text;
}

TEST(IdBufferDump, NoIdFieldGivesTheCountOnly) {
    IdLayout ids;
    const ByteBuffer empty(200);
    EXPECT_EQ(capture([&](FILE* f) { print_id_buffer(f, ids, empty, RunOptions{}); }),
              "Buffer content 0 (0x0000) bytes\n");
}

TEST(IdBufferDump, FieldsContinueTheOffsets) {
    ThreeIds fx;
    const std::string pad = blanks(29);
    const std::string expected =
        "Buffer content 21 (0x0015) bytes\n"
        "= ID=1 7 bytes @1000 us length=224.00 CRC OK TMV=0 BRD=0\n"
        "  0000 1000   4000  fe 00 00 01 02 a0 b0" + pad + ".......\n" +
        "= ID=2 7 bytes @22345 us length=230.00 CRC BAD TMV=3 BRD=14\n"
        "  0007 22345  4000  fe 00 00 02 02 a1 b1" + pad + ".......\n" +
        "= ID=3 7 bytes @123456 us length=224.00 CRC OK TMV=100 BRD=7\n"
        "  000e 123456 4000  fe 00 00 03 02 a2 b2" + pad + ".......\n";
    EXPECT_EQ(capture([&](FILE* f) { print_id_buffer(f, fx.ids, fx.buffer, RunOptions{}); }), expected);
}

TEST(IdBufferDump, SimpleDecimalOffsets) {
    ThreeIds fx;
    RunOptions opts;
    opts.simple_decimal = true;
    const std::string text = capture([&](FILE* f) { print_id_buffer(f, fx.ids, fx.buffer, opts); });
    const std::string pad = blanks(29);
    EXPECT_NE(text.find("BRD=0\n  00000  fe 00 00 01 02 a0 b0" + pad + ".......\n= ID=2"), std::string::npos) << text;
    EXPECT_NE(text.find("BRD=14\n  00007  fe 00 00 02 02 a1 b1" + pad + ".......\n= ID=3"), std::string::npos) << text;
    EXPECT_NE(text.find("BRD=7\n  00014  fe 00 00 03 02 a2 b2" + pad + ".......\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace quen::testing
