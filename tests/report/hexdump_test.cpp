#include <gtest/gtest.h>

#include "report/report_capture.h"
#include "report/reports.h"

namespace quen::testing {
namespace {

// 17 entries: data 'A'..'Q', clock 0x10, bit period 4000 + i, byte i starting at
// i * 32000 + 1999 ns, so that every line head shows its own entry's figures. Stale
// entries lie beyond the count, as after a shorter decode into a used buffer.
ByteBuffer letters() {
    ByteBuffer buffer(32);
    for (DecodedByte& stale : buffer.entries) stale = DecodedByte{0xee, 0xee, 1, 1};
    for (uint32_t i = 0; i < 17; ++i) {
        buffer.append(DecodedByte{static_cast<uint8_t>(0x41 + i), 0x10, static_cast<uint16_t>(4000 + i),
                                  i * 32000 + 1999});
    }
    return buffer;
}

const std::string kLineAtoP =
    "  0000 1      4000  41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50  ABCDEFGHIJKLMNOP\n";
const std::string kClocksAtoP =
    "                    10 10 10 10 10 10 10 10 10 10 10 10 10 10 10 10  ................\n";
const std::string kLineQ = "  0010 513    4016  51" + blanks(47) + "Q\n";
const std::string kDecimalAtoP =
    "  00000  41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50  ABCDEFGHIJKLMNOP\n";
const std::string kDecimalQ = "  00016  51" + blanks(47) + "Q\n";

struct DumpCase {
    const char* name;
    uint16_t n;
    int32_t start;
    bool simple_decimal;
    bool clock_info;
    std::string expected;
    int32_t returned;
};

const DumpCase kDumpCases[] = {
    {"nothing", 0, 3, false, false, "", 3},
    {"one full line", 16, 0, false, false, kLineAtoP, 16},
    {"full line and padded last line", 17, 0, false, false, kLineAtoP + kLineQ, 17},
    {"clock lines follow each line", 17, 0, false, true,
     kLineAtoP + kClocksAtoP + kLineQ + blanks(20) + "10" + blanks(47) + ".\n", 17},
    {"decimal offsets", 17, 0, true, false, kDecimalAtoP + kDecimalQ, 17},
    {"decimal offsets drop clock lines", 17, 0, true, true, kDecimalAtoP + kDecimalQ, 17},
    {"heads count from the buffer start", 3, 5, false, false, "  0005 161    4005  46 47 48" + blanks(41) + "FGH\n", 8},
    {"stops at the buffer's count", 20, 10, false, false,
     "  000a 321    4010  4b 4c 4d 4e 4f 50 51" + blanks(29) + "KLMNOPQ\n", 30},
    {"nothing beyond the buffer's count", 4, 17, false, false, "", 21},
    {"negative start shows nothing", 2, -2, false, false, "", 0},
};

TEST(HexDump, PrintsLinesAndReturnsTheNextOffset) {
    const ByteBuffer buffer = letters();
    for (const DumpCase& c : kDumpCases) {
        SCOPED_TRACE(c.name);
        RunOptions opts;
        opts.simple_decimal = c.simple_decimal;
        opts.clock_info = c.clock_info;
        int32_t returned = -1;
        const std::string text = capture([&](FILE* f) { returned = hex_dump(c.n, f, buffer, c.start, opts); });
        EXPECT_EQ(text, c.expected);
        EXPECT_EQ(returned, c.returned);
    }
}

// The widest head: the last offset a buffer holds, a time past six decimal digits, the
// largest bit period.
TEST(HexDump, WideHeadsPushTheColumnsRight) {
    ByteBuffer buffer(0xffff);
    for (uint32_t i = 0; i < 0xffff; ++i) buffer.append(DecodedByte{0x41, 0, 65535, 4294967295u});
    RunOptions opts;
    EXPECT_EQ(capture([&](FILE* f) { hex_dump(1, f, buffer, 0xfffe, opts); }),
              "  fffe 4294967 65535  41" + blanks(47) + "A\n");
}

TEST(HexDump, ShowsOnlyPrintableCharactersUpTo7F) {
    ByteBuffer buffer(6);
    const uint8_t data[] = {0x7F, 0x1F, 0x80, 0x20, 0x7E, 0x00};
    const uint8_t clock[] = {0x20, 0x7F, 0xFF, 0x1F, 0x41, 0x80};
    for (int i = 0; i < 6; ++i) buffer.append(DecodedByte{data[i], clock[i], 4000, 0});
    RunOptions opts;
    opts.clock_info = true;
    const std::string expected = "  0000 0      4000  7f 1f 80 20 7e 00" + blanks(32) + "\x7f.. ~.\n" + blanks(20) +
                                 "20 7f ff 1f 41 80" + blanks(32) + " \x7f..A.\n";
    EXPECT_EQ(capture([&](FILE* f) { hex_dump(6, f, buffer, 0, opts); }), expected);
}

TEST(HexDump, PositionIsWholeMicrosecondsRoundedDown) {
    ByteBuffer buffer(2);
    buffer.append(DecodedByte{0x00, 0x00, 3999, 4294967295u});
    buffer.append(DecodedByte{0x00, 0x00, 3999, 0});
    const std::string expected = "  0000 4294967 3999  00 00" + blanks(44) + "..\n";
    EXPECT_EQ(capture([&](FILE* f) { hex_dump(2, f, buffer, 0, RunOptions{}); }), expected);
}

}  // namespace
}  // namespace quen::testing
