// Damaged dumps must end in a report or a clear error, never in a crash or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/builder.h"
#include "support/capture.h"
#include "support/run_helper.h"

namespace quen::testing {
namespace {

TEST(DamagedStream, EveryRunEndsWithOneOrTwo) {
    const std::string sample = read_file(std::string(QUEN_SOURCE_DIR) + "/samples/dd9.raw");
    ASSERT_GT(sample.size(), 1000u);
    const std::string dir = make_temp_dir();
    uint32_t rng = 12345;
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> bytes(sample.begin(), sample.end());
        synth::damage_stream(bytes, static_cast<synth::Damage>(round % 4), rng);
        const std::string input = dir + "/damaged" + std::to_string(round) + ".raw";
        {
            FILE* f = std::fopen(input.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        const std::string options = round % 3 == 2 ? "-pvtf" : "-vtf";
        RunResult r = run_analyser({options, input, dir + "/report.txt"}, dir);
        EXPECT_TRUE(r.code == 1 || r.code == 2) << "round " << round << ": " << r.code;
    }
}

// Valid streams that make every comparison pass read a revolution without the sector:
// they end like any other run, and the limits bound what the passes read and what -v writes.
struct HostileCase {
    const char* name;
    synth::HostileShape shape;
    int revolutions;
    bool verbose;             // -v; the buffers are never printed
    uint64_t pass_intervals;  // the run's limits
    uint64_t diag_bytes;
    bool passes_skipped;      // the report says the budget was spent
};

constexpr uint64_t kAmple = UINT64_MAX;
// A stream byte holds at most one interval: a pass limit of one reading of the whole stream.
constexpr uint64_t kOneReading = UINT64_MAX - 1;

const HostileCase kHostileCases[] = {
    {"long gaps", synth::HostileShape::kLongGaps, 0, false, WorkLimits::kPassIntervals, WorkLimits::kDiagBytes, false},
    // Every revolution is read about once, however many sectors the passes look for.
    {"long gaps, one reading of the stream", synth::HostileShape::kLongGaps, 0, false, kOneReading, kAmple, false},
    {"long gaps, passes cut short", synth::HostileShape::kLongGaps, 0, false, 60000, kAmple, true},
    {"noise", synth::HostileShape::kNoise, 3, false, WorkLimits::kPassIntervals, WorkLimits::kDiagBytes, false},
    {"noise, one reading of the stream", synth::HostileShape::kNoise, 3, false, kOneReading, kAmple, false},
    {"noise, passes cut short", synth::HostileShape::kNoise, 3, false, 100000, kAmple, true},
    {"noise, no comparison pass at all", synth::HostileShape::kNoise, 3, false, 0, kAmple, true},
    {"short intervals, -v cut short", synth::HostileShape::kShortIntervals, 2, true, kAmple, 300000, false},
    // Cut in the track decoder's lines, before any revolution's approach is read...
    {"noise, -v cut at once", synth::HostileShape::kNoise, 2, true, kAmple, 1000, false},
    // ...and in the sector decodes, whose approach text is replayed.
    {"noise, -v cut in the sector decodes", synth::HostileShape::kNoise, 2, true, kAmple, 200000, false},
};

// The -v text of a run's standard error: every line but the failed passes'.
size_t diagnostic_bytes(const std::vector<std::string>& err_lines) {
    size_t n = 0;
    for (const std::string& line : err_lines) {
        if (line.find("did not read correctly") == std::string::npos) n += line.size() + 1;
    }
    return n;
}

TEST(DamagedStream, HostileStreamsStayWithinTheBudget) {
    for (const HostileCase& c : kHostileCases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = synth::hostile_stream(c.shape, c.revolutions);
        RunOptions opts;
        opts.print_buffers = false;
        opts.verbose = c.verbose;
        opts.limits = {c.pass_intervals == kOneReading ? 8 * bytes.size() + 1 : c.pass_intervals, c.diag_bytes};
        const AnalysisResult r = analyse_bytes(bytes, opts);
        EXPECT_EQ(r.code, 1);
        // Only the first revolution holds the sectors: every pass run fails, the others are skipped.
        const std::vector<std::string> err_lines = lines_of(r.err);
        const auto failed = std::count_if(err_lines.begin(), err_lines.end(), [](const std::string& line) {
            return line.find("did not read correctly ???") != std::string::npos;
        });
        unsigned skipped = 0;
        const size_t at = r.out.find("Work budget spent - ");
        if (at != std::string::npos) std::sscanf(r.out.c_str() + at, "Work budget spent - %u comparison", &skipped);
        EXPECT_EQ(at != std::string::npos, c.passes_skipped);
        EXPECT_EQ(skipped != 0, c.passes_skipped);
        // The last revolution is never compared: a pass may read on past its end.
        const int compared = (c.shape == synth::HostileShape::kLongGaps ? 254 : c.revolutions) - 1;
        EXPECT_EQ(failed + skipped, 255 * compared);
        if (c.pass_intervals == 0) {
            EXPECT_EQ(failed, 0);
        }
        if (c.diag_bytes < WorkLimits::kDiagBytes) {
            EXPECT_NE(r.err.find("  ** No more diagnostic lines"), std::string::npos);
            // The line that reaches the limit is written whole, then the one that says so.
            EXPECT_LE(diagnostic_bytes(err_lines), c.diag_bytes + 200);
        }
    }
}

// The sector decodes keep each revolution's -v text for later replay, all revolutions
// together within the run's limit for -v: however many revolutions the stream has, the
// run writes no more than its limit, and every line it writes is whole.
TEST(DamagedStream, ManyRevolutionsKeepOneRunOfDiagnostics) {
    const struct {
        const char* name;
        int revolutions;
        uint64_t diag_bytes;
    } cases[] = {
        {"every text kept", 6, kAmple},
        {"limit in the first revolutions' texts", 24, 1000000},
        {"limit below one revolution's text", 24, 500000},
    };
    // 3000 one-cell intervals write some 220 KB of lines per reading; the track decoder
    // and the ID locator write them once each before the sector decodes.
    constexpr size_t kNoiseCells = 3000;
    RunOptions opts;
    opts.print_buffers = false;
    opts.verbose = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = synth::noisy_revolutions_stream(c.revolutions, kNoiseCells);
        opts.limits.diag_bytes = c.diag_bytes;
        const AnalysisResult r = analyse_bytes(bytes, opts);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.empty() || r.err.back() == '\n');
        const std::vector<std::string> err_lines = lines_of(r.err);
        const bool cut = r.err.find("  ** No more diagnostic lines") != std::string::npos;
        EXPECT_EQ(cut, c.diag_bytes != kAmple);
        // More than the track decoder and the ID locator wrote: the sector decodes' texts too.
        EXPECT_GT(diagnostic_bytes(err_lines), c.diag_bytes == kAmple ? 3 * 200000u : c.diag_bytes);
        if (cut) {
            EXPECT_LE(diagnostic_bytes(err_lines), c.diag_bytes + 200);
        }
    }
}

}  // namespace
}  // namespace quen::testing
