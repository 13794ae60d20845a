// Damaged dumps must end in a report or a clear error, never in a crash or a hang.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_helper.h"

namespace quen::testing {
namespace {

struct Lcg {
    uint32_t s;
    uint32_t next() { return s = s * 1664525u + 1013904223u; }
};

TEST(DamagedStream, EveryRunEndsWithOneOrTwo) {
    const std::string sample = read_file(std::string(QUEN_SOURCE_DIR) + "/samples/dd9.raw");
    ASSERT_GT(sample.size(), 1000u);
    const std::string dir = make_temp_dir();
    Lcg rng{12345};
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> bytes(sample.begin(), sample.end());
        switch (round % 4) {
            case 0:  // scattered byte errors, flux and block codes alike
                for (int i = 0; i < 40; ++i) bytes[rng.next() % bytes.size()] = static_cast<uint8_t>(rng.next());
                break;
            case 1:  // a burst of garbage
                for (size_t at = rng.next() % (bytes.size() - 600), i = 0; i < 500; ++i) {
                    bytes[at + i] = static_cast<uint8_t>(rng.next());
                }
                break;
            case 2:  // a stretch of long intervals: no flux, overflow blocks
                for (size_t at = rng.next() % (bytes.size() - 300), i = 0; i < 200; ++i) {
                    bytes[at + i] = (i % 3 == 0) ? 0x0B : 0xFF;
                }
                break;
            default:  // cut short
                bytes.resize(rng.next() % bytes.size());
                break;
        }
        const std::string input = dir + "/damaged" + std::to_string(round) + ".raw";
        {
            FILE* f = std::fopen(input.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        const std::string options = round % 3 == 2 ? "-pvtf" : "-vtf";
        RunResult r = run_analyser({options, input, dir + "/report.txt"}, dir, SeparatorSharing::kShared);
        EXPECT_TRUE(r.code == 1 || r.code == 2) << "round " << round << ": " << r.code;
        // Every decoder stepping the separator afresh must write the same.
        const std::string report = without_banner(read_file(dir + "/report.txt"));
        RunResult fresh = run_analyser({options, input, dir + "/report.txt"}, dir, SeparatorSharing::kPerDecoder);
        EXPECT_EQ(fresh.code, r.code) << "round " << round;
        EXPECT_EQ(fresh.err, r.err) << "round " << round;
        EXPECT_EQ(without_banner(read_file(dir + "/report.txt")), report) << "round " << round;
    }
}

}  // namespace
}  // namespace quen::testing
