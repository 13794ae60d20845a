// The distinct readings of a sector kept for images: duplicates counted, cut fields and
// bad CRCs never taken for good, and a cap on what a crafted stream can make them hold.
#include <gtest/gtest.h>

#include "sector/readings.h"

namespace quen {
namespace {

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

TEST(SectorReadings, KeepsEachDistinctReadingOnceUpToTheCap) {
    struct Row {
        const char* name;
        std::vector<Decoding> decodings;  // revolution 0, 1, ...
        std::vector<std::pair<bool, uint16_t>> kept;  // crc_ok, revolutions of each distinct reading
        uint16_t dropped;
        uint8_t mark;
    };
    const Row rows[] = {
        {"the same every time", {{1}, {1}, {1}}, {{true, 3}}, 0, 0xF8},
        {"bad CRC apart from the same bytes", {{1}, {1, 515, 0x1234}}, {{true, 1}, {false, 1}}, 0, 0xF8},
        {"bad ID CRC spoils good data", {{1, 515, 0, 0x1234}}, {{false, 1}}, 0, 0xF8},
        {"a field cut short is never good", {{1, 100}}, {{false, 1}}, 0, 0xF8},
        {"no DATA field adds nothing", {{1, 0, 0, 0, false}, {2}}, {{true, 1}}, 0, 0xF8},
        {"beyond the cap only counted", {{1}, {2}, {3}, {4}, {5}, {6}, {1}},
         {{true, 2}, {true, 1}, {true, 1}, {true, 1}}, 2, 0xF8},
        {"nothing read", {{1, 0, 0, 0, false}}, {}, 0, 0},
    };
    for (const Row& row : rows) {
        SectorReadings r;
        for (size_t i = 0; i < row.decodings.size(); ++i) add(r, static_cast<uint8_t>(i), row.decodings[i]);
        std::vector<std::pair<bool, uint16_t>> kept;
        for (const DataReading& d : r.distinct) kept.emplace_back(d.crc_ok, d.revolutions);
        EXPECT_EQ(kept, row.kept) << row.name;
        EXPECT_EQ(r.dropped, row.dropped) << row.name;
        EXPECT_EQ(r.data_mark, row.mark) << row.name;
    }
    SectorReadings cut;
    add(cut, 0, {7, 100});
    EXPECT_EQ(cut.distinct.at(0).bytes.size(), 99u) << "a cut field keeps what was read";
    EXPECT_EQ(cut.distinct.at(0).bytes.front(), 7);
}

}  // namespace
}  // namespace quen
