// Speed of the separator, of the stream reader and of whole analyses. bench/run.sh builds
// and runs these; QUEN_BENCH_STREAMS (colon-separated paths) adds captures to the
// stream and whole-run figures.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "decode/separator.h"
#include "driver/run.h"
#include "stream/stream.h"
#include "support/memory_stream.h"

namespace {

// Random double-density intervals (two, three or four cells, jittered by up to a quarter
// cell) in revolutions of 200 ms, as a drive turning at 300 rpm gives them. A revolution
// is normalised to 200 ms, so a million intervals in one would come out a fraction of a
// cell long each: they take about thirty.
std::unique_ptr<quen::QuenStream> random_intervals(uint32_t n) {
    constexpr uint32_t kRevolutionNs = 200000000;
    uint32_t seed = 1;
    auto rnd = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<uint32_t> ticks(n);
    std::vector<quen::IndexRecord> index(1);
    uint32_t in_revolution = 0;
    for (uint32_t i = 0; i < n; ++i) {
        ticks[i] = (2 + rnd() % 3) * 2000 + rnd() % 1000 - 500;
        in_revolution += ticks[i];
        if (in_revolution >= kRevolutionNs) {
            index.push_back({});
            index.back().flux_index = i + 1;
            index.back().rev_time = in_revolution;
            in_revolution = 0;
        }
    }
    // One tick is one nanosecond.
    return quen::testing::memory_stream(ticks, index);
}

// The separator alone: every interval from the first index on stepped and classified once.
void BM_Separator(benchmark::State& state) {
    const uint32_t n = 1000000;
    const auto stream = random_intervals(n);
    for (auto _ : state) {
        quen::SeparatorRuns runs(stream.get(), false);
        benchmark::DoNotOptimize(runs.from(0).has(n - 1));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_Separator)->Unit(benchmark::kMillisecond);

// The separator through the first `revolutions` starting revolutions of a capture, as
// the passes have them computed; one is a run alone.
void BM_SeparatorRevolutions(benchmark::State& state, std::string path, uint32_t revolutions) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    FILE* sink = std::fopen("/dev/null", "w");
    const quen::CaptureLoad load = quen::load_stream_bytes(bytes.data(), bytes.size(), path, sink);
    std::fclose(sink);
    if (!load.capture || load.capture->index_count < revolutions + 1) {
        state.SkipWithError("capture unreadable or too short");
        return;
    }
    int64_t intervals = 0;
    for (auto _ : state) {
        intervals = 0;
        quen::SeparatorRuns runs(load.capture.get(), false);
        for (uint32_t r = 0; r < revolutions; ++r) {
            quen::SeparatorRun& run = runs.from(static_cast<uint8_t>(r));
            benchmark::DoNotOptimize(run.has(0));
            intervals += run.revolution_intervals();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * intervals);
}

// One whole analysis in-process, its report and diagnostics sent to /dev/null.
void BM_WholeRun(benchmark::State& state, std::string path, std::string options) {
    FILE* sink = std::fopen("/dev/null", "w");
    quen::RunIo io;
    io.out = sink;
    io.err = sink;
    std::vector<std::string> args;
    if (!options.empty()) args.push_back(options);
    args.push_back(path);
    for (auto _ : state) benchmark::DoNotOptimize(quen::run_quenanalyze(args, io));
    std::fclose(sink);
}

// The stream file's bytes decoded from memory (blocks, index pulses, speed), and the
// same file judged a capture or not from disk: both walk every block.
void BM_StreamDecode(benchmark::State& state, std::string path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state) benchmark::DoNotOptimize(quen::load_stream_bytes(bytes.data(), bytes.size(), path, sink));
    std::fclose(sink);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_StreamJudge(benchmark::State& state, std::string path, int64_t size) {
    for (auto _ : state) benchmark::DoNotOptimize(quen::file_holds_indexed_stream(path));
    state.SetBytesProcessed(state.iterations() * size);
}

int register_whole_runs() {
    std::vector<std::string> paths{std::string(QUEN_SOURCE_DIR) + "/samples/dd9.raw"};
    if (const char* more = std::getenv("QUEN_BENCH_STREAMS")) {
        std::stringstream list(more);
        for (std::string p; std::getline(list, p, ':');) {
            if (!p.empty()) paths.push_back(p);
        }
    }
    for (const std::string& p : paths) {
        const std::string name = p.substr(p.find_last_of('/') + 1);
        int64_t size = 0;
        if (FILE* f = std::fopen(p.c_str(), "rb")) {
            if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
            std::fclose(f);
        }
        benchmark::RegisterBenchmark(("StreamDecode/" + name).c_str(), BM_StreamDecode, p)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("StreamJudge/" + name).c_str(), BM_StreamJudge, p, size)
            ->Unit(benchmark::kMicrosecond);
        // One revolution alone, and those that the passes of a default analysis read.
        for (const uint32_t revolutions : {1u, 2u}) {
            benchmark::RegisterBenchmark(("SeparatorRevolutions/" + name + "/" + std::to_string(revolutions)).c_str(),
                                         BM_SeparatorRevolutions, p, revolutions)
                ->Unit(benchmark::kMicrosecond);
        }
        for (const char* options : {"", "-v"}) {
            benchmark::RegisterBenchmark(("WholeRun/" + name + (*options ? "/-v" : "")).c_str(), BM_WholeRun, p,
                                         options)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return 0;
}
const int kRegistered = register_whole_runs();

}  // namespace
