// Speed of the separator and of whole analyses. Build with -DQUEN_BUILD_BENCH=ON and
// run ./build/bench/quen_bench; an optional real capture is read from QUEN_BENCH_STREAM.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "decode/pll.h"
#include "decode/track.h"
#include "driver/run.h"
#include "support/builder.h"
#include "support/run_helper.h"

namespace {

// One revolution of well-formed MFM: about 100000 transitions, 1.6 million ticks.
void BM_PllRevolution(benchmark::State& state) {
    for (auto _ : state) {
        quen::PllState pll;
        uint32_t t = 0;
        uint32_t cells = 0;
        for (int i = 0; i < 100000; ++i) {
            t += (i % 3 + 2) * 2000;
            cells += pll.step(t, false);
        }
        benchmark::DoNotOptimize(cells);
    }
}
BENCHMARK(BM_PllRevolution)->Unit(benchmark::kMillisecond);

std::string sample_path() {
    if (const char* p = std::getenv("QUEN_BENCH_STREAM")) return p;
    return std::string(QUEN_SOURCE_DIR) + "/samples/dd9.raw";
}

// The whole report of a 3-revolution stream, written to /dev/null.
void BM_WholeRun(benchmark::State& state) {
    const std::string path = sample_path();
    FILE* sink = std::fopen("/dev/null", "w");
    quen::RunIo io;
    io.out = sink;
    io.err = sink;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quen::run_quenanalyze({path}, io));
    }
    std::fclose(sink);
}
BENCHMARK(BM_WholeRun)->Unit(benchmark::kMillisecond);

}  // namespace
