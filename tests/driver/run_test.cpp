// Whole runs on the shipped sample: the order of the report's blocks, the plot files of
// a -t run, and the ends that must not pass for a completed report.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/owned_file.h"
#include "driver/analysis.h"
#include "stream/stream.h"
#include "support/disk_builder.h"
#include "support/run_helper.h"

namespace quen::testing {
namespace {

const std::string kSample = std::string(QUEN_SOURCE_DIR) + "/samples/dd9.raw";

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Run, ReportBlocksComeInOrder) {
    RunResult r = run_analyser({kSample});
    ASSERT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string& out = r.out;
    const size_t track = out.find("Track Layout Information: ");
    const size_t detail = out.find("Detail buffer content ");
    const size_t ids = out.find("ID Layout Information: ");
    const size_t id_dump = out.find("Buffer content ");
    const size_t all = out.find("All Sectors Layout Information: ");
    const size_t sector_detail = out.find("Detail buffer content for sector 1 with 515 bytes");
    const size_t found = out.find("\n*** Found ");
    ASSERT_NE(found, std::string::npos);
    EXPECT_LT(track, detail);
    EXPECT_LT(detail, ids);
    EXPECT_LT(ids, id_dump);
    EXPECT_LT(id_dump, all);
    EXPECT_LT(all, sector_detail);
    EXPECT_LT(sector_detail, found);
    EXPECT_EQ(count_of(out, "Detail buffer content for sector "), 9u);
    EXPECT_EQ(out.substr(found), "\n*** Found 1 protections ***\n S002 SID Synch mark in ID/DATA (1)\n");
}

TEST(Run, OptionsShapeTheReport) {
    const std::string plain = run_analyser({kSample}).out;
    const std::string no_dumps = run_analyser({"-b", kSample}).out;
    const std::string with_clock = run_analyser({"-c", kSample}).out;
    const std::string decimal = run_analyser({"-m", kSample}).out;
    const std::string all_areas = run_analyser({"-f", kSample}).out;

    EXPECT_EQ(count_of(no_dumps, "Detail buffer content"), 0u);
    EXPECT_EQ(count_of(no_dumps, "Buffer content"), 0u);
    EXPECT_NE(no_dumps.find("All Sectors Layout Information: "), std::string::npos);
    // The clock line under each hex line: 20 blanks, then the clock bytes.
    EXPECT_GT(count_of(with_clock, "\n                    "), count_of(plain, "\n                    "));
    EXPECT_EQ(decimal.find("\n+ GAP2 "), std::string::npos);
    EXPECT_NE(decimal.find("\n  00016  "), std::string::npos);
    EXPECT_EQ(count_of(plain, "\n+ GAP4 "), 9u);
    EXPECT_EQ(count_of(all_areas, "\n+ GAP4 "), 18u);
}

TEST(Run, VerboseGoesToStandardErrorOrIntoTheOutputFile) {
    RunResult r = run_analyser({"-v", "-b", kSample});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("  ++ $a1 Synch Byte "), std::string::npos);
    EXPECT_EQ(r.out.find("Synch Byte"), std::string::npos);

    const std::string out = make_temp_dir() + "/report.txt";
    r = run_analyser({"-vb", kSample, out});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(read_file(out).find("  ++ $a1 Synch Byte "), std::string::npos);
}

TEST(Run, PlotFilesOfTheSample) {
    const std::string dir = make_temp_dir();
    RunResult r = run_analyser({"-t", "-b", kSample}, dir);
    ASSERT_EQ(r.code, 1) << r.err;
    std::vector<std::string> names = {"allsect.dat", "layout.dat", "trans.dat"};
    for (int s = 1; s <= 9; ++s) {
        for (const char* kind : {"sec_layout_", "sec_trans_", "sec_data_"}) names.push_back(kind + std::to_string(s) + ".dat");
    }
    for (const std::string& n : names) EXPECT_TRUE(std::filesystem::exists(dir + "/" + n)) << n;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              static_cast<long>(names.size()));

    const std::string allsect = read_file(dir + "/allsect.dat");
    EXPECT_EQ(allsect.rfind("// sector_number id_start id_len gap3_len data_len gap4_len\n\"Sect 1\" 5151 ", 0), 0u)
        << allsect;
    EXPECT_EQ(count_of(allsect, " blue\n"), 9u);
}

// A completed run and every abnormal end after the output file is open leave the report
// and each plot file ending with a whole line.
TEST(Run, EveryEndLeavesWholeFiles) {
    const std::string stream_line = "  Stream file '" + kSample + "' 3 revolutions - Average RPM=300\n";
    struct Case {
        std::vector<std::string> options;
        RunDir plots;         // the run's current directory, a folder beside the report
        const char* blocked;  // a plot file name a directory takes
        int code;
        std::string err;
        std::string report_end;
    };
    const Case cases[] = {
        {{"-t"}, RunDir::kKept, nullptr, 1, "", "\n*** Found 1 protections ***\n S002 SID Synch mark in ID/DATA (1)\n"},
        {{"-r4"}, RunDir::kKept, nullptr, 2, "Invalid value 4 for revolution number\n", stream_line},
        // allsect.dat is made before decoding starts: nothing but the stream line is written.
        {{"-t"}, RunDir::kRemoved, nullptr, 2, "Could not open sector layout file\n", stream_line},
        // The track decoder's plot file: the run ends before its layout is printed...
        {{"-t"}, RunDir::kKept, "layout.dat", 2, "Could not open plot layout file\n", stream_line},
        {{"-t"}, RunDir::kKept, "trans.dat", 2, "Could not open plot transition file\n", stream_line},
        // ...a sector's, before the sectors are printed, whichever sector it is.
        {{"-t"}, RunDir::kKept, "sec_trans_1.dat", 2, "Could not open plot transition file\n",
         "  0038 172560 4000  fe 00 00 09 02 43 c6                             .....C.\n"},
        {{"-t"}, RunDir::kKept, "sec_data_1.dat", 2, "Could not open plot data file\n",
         "  0038 172560 4000  fe 00 00 09 02 43 c6                             .....C.\n"},
        {{"-t"}, RunDir::kKept, "sec_layout_5.dat", 2, "Could not open plot layout file\n",
         "  0038 172560 4000  fe 00 00 09 02 43 c6                             .....C.\n"},
    };
    for (const Case& c : cases) {
        const std::string dir = make_temp_dir();
        const std::string plot_dir = dir + "/plots";
        std::filesystem::create_directory(plot_dir);
        if (c.blocked != nullptr) std::filesystem::create_directory(plot_dir + "/" + c.blocked);
        const std::string report = dir + "/report.txt";
        std::vector<std::string> args = c.options;
        args.push_back(kSample);
        args.push_back(report);
        RunResult r = run_analyser(args, plot_dir, c.plots);
        EXPECT_EQ(r.code, c.code) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.code == 2 && c.blocked == nullptr ? "Abnormal termination code 2\n   Press return to exit program\n" : "");
        const std::string text = read_file(report);
        ASSERT_GE(text.size(), c.report_end.size()) << c.err;
        EXPECT_EQ(text.substr(text.size() - c.report_end.size()), c.report_end) << c.err;
        for (const auto& f : std::filesystem::recursive_directory_iterator(dir)) {
            if (!f.is_regular_file()) continue;
            const std::string content = read_file(f.path().string());
            EXPECT_TRUE(content.empty() || content.back() == '\n') << f.path();
        }
    }
}

TEST(Run, FullDiskIsNotACompletedRun) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    const std::string dir = make_temp_dir();
    std::filesystem::create_symlink("/dev/full", dir + "/allsect.dat");
    const std::pair<std::vector<std::string>, std::string> cases[] = {  // arguments, the file that failed
        {{kSample, "/dev/full"}, "/dev/full"},
        // Plot files are named as the run made them: in its current directory.
        {{"-t", kSample, dir + "/report.txt"}, "allsect.dat"},
    };
    for (const auto& [args, failed] : cases) {
        RunResult r = run_analyser(args, dir);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, "Error writing file " + failed + "\n");
    }
}

TEST(Run, RunsInOneProcessDoNotShareState) {
    // A -p -s -f run first must leave nothing behind for a plain run.
    const std::string first = without_banner(run_analyser({"-b", kSample}).out);
    run_analyser({"-psf", "-r2", kSample});
    EXPECT_EQ(without_banner(run_analyser({"-b", kSample}).out), first);
}

}  // namespace
}  // namespace quen::testing

namespace quen::testing {
namespace {

// The cross-check without the in-field synch search takes the ID and sector findings over
// from the run before it: its figures must be a whole run's, finding for finding in order.
TEST(Run, RunWithoutSyncHasTheFiguresOfAWholeRun) {
    const std::string dir = make_temp_dir();
    synth::write_sample_disk(dir);
    const struct {
        const char* file;
        void (*set)(RunOptions&);
    } cases[] = {
        {"track00.0.raw", [](RunOptions&) {}},
        {"track02.0.raw", [](RunOptions&) {}},
        {"track02.0.raw", [](RunOptions& o) { o.sector_all_areas = true; }},
        {"track02.0.raw", [](RunOptions& o) { o.revolution = 2; }},
        {"track02.0.raw", [](RunOptions& o) { o.pll_off = true; }},
        {"track03.0.raw", [](RunOptions& o) { o.print_buffers = false; }},
    };
    OwnedFile sink(std::fopen("/dev/null", "w"));
    const AnalysisSinks none{sink.get(), sink.get(), sink.get()};
    const auto same = [](const RunFigures& a, const RunFigures& b) {
        const auto findings = [](const RunFigures& f) {
            std::string s;
            for (const FindingFigure& g : f.findings) {
                s += std::to_string(g.kind) + ":" + std::to_string(g.sector) + ":" + std::to_string(g.value) + " ";
            }
            return s;
        };
        EXPECT_EQ(findings(a), findings(b));
        EXPECT_EQ(a.completed, b.completed);
        EXPECT_EQ(std::tie(a.id_good, a.id_bad, a.data_good, a.data_bad, a.synch_good, a.synch_bad, a.track_bytes),
                  std::tie(b.id_good, b.id_bad, b.data_good, b.data_bad, b.synch_good, b.synch_bad, b.track_bytes));
        EXPECT_EQ(a.ids.size(), b.ids.size());
        EXPECT_EQ(a.sectors.size(), b.sectors.size());
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::unique_ptr<FluxCapture> stream = load_stream_file(dir + "/" + c.file, sink.get()).capture;
        ASSERT_TRUE(stream);
        RunOptions opts;
        c.set(opts);
        RunFigures main;
        RunFigures fast;
        CaptureAnalysis shared(*stream, c.file);
        ASSERT_EQ(shared.run(opts, none, main), AnalysisEnd::Completed);
        ASSERT_EQ(shared.run_without_sync(opts, none, fast), AnalysisEnd::Completed);
        RunOptions plain = opts;
        plain.look_for_sync = false;
        RunFigures whole;
        CaptureAnalysis fresh(*stream, c.file);
        ASSERT_EQ(fresh.run(plain, none, whole), AnalysisEnd::Completed);
        same(fast, whole);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quen::testing
