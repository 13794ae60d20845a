// Sync patterns inside fields read in their own framing: counted at any bit offset, and
// judged a field within the field only when a whole run leads to an address mark.
#include <gtest/gtest.h>

#include <vector>

#include "decode/field_syncs.h"

namespace quen {
namespace {

constexpr int kSync = -1;  // an A1 written as a sync mark, its clock bit missing

// Bytes as a controller writes them: MFM clock bits, and sync marks where asked.
std::vector<DecodedByte> written(const std::vector<int>& values) {
    std::vector<DecodedByte> out;
    unsigned last_data_bit = 0;
    for (int v : values) {
        DecodedByte b{};
        if (v == kSync) {
            b.data = 0xA1;
            b.clock = 0x0A;
        } else {
            b.data = static_cast<uint8_t>(v);
            for (int bit = 7; bit >= 0; --bit) {
                const unsigned d = (b.data >> bit) & 1u;
                if (d == 0 && last_data_bit == 0) b.clock = static_cast<uint8_t>(b.clock | (1u << bit));
                last_data_bit = d;
            }
        }
        last_data_bit = b.data & 1u;
        out.push_back(b);
    }
    return out;
}

TEST(FieldSyncs, CountedAnywhereAndJudgedByWhatFollows) {
    const struct {
        const char* what;
        std::vector<int> bytes;
        bool any;
        bool then_mark;
    } cases[] = {
        {"gap bytes", {0x4E, 0x4E, 0x4E, 0x4E}, false, false},
        {"a CRC pair of a sector of 0x14 bytes", {0x14, 0x14, 0xBF, 0x9B, 0x4E}, true, false},
        {"a sync sequence and an ID mark", {0x4E, kSync, kSync, kSync, 0xFE, 0x00}, true, true},
        {"a sync sequence and a data byte", {0x4E, kSync, kSync, kSync, 0x12, 0x00}, true, false},
        {"two syncs and an ID mark", {0x4E, kSync, kSync, 0xFE, 0x00}, true, false},
        {"a sync sequence cut by the field's end", {0x4E, kSync, kSync, kSync}, true, false},
    };
    for (const auto& c : cases) {
        const std::vector<DecodedByte> bytes = written(c.bytes);
        const FieldSyncs found = find_field_syncs(bytes.data(), bytes.size());
        EXPECT_EQ(found.patterns != 0, c.any) << c.what;
        EXPECT_EQ(found.then_mark, c.then_mark) << c.what;
    }
}

}  // namespace
}  // namespace quen
