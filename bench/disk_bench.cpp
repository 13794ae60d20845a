// Speed of the page's own pictures, drawn from data alone: the disk map of a whole
// double-sided 80-track disk and one track side's timing pictures. bench/run.sh runs
// these; it measures the whole page and --pictures on a synthetic disk besides.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "disk/disk_map.h"
#include "disk/timing_svg.h"

namespace {

std::vector<quen::disk::TrackSummary> whole_disk() {
    std::vector<quen::disk::TrackSummary> tracks;
    for (int track = 0; track < 80; ++track) {
        for (int side = 0; side < 2; ++side) {
            quen::disk::TrackSummary t;
            t.file_name = "track00.0.raw";
            t.track = track;
            t.side = side;
            t.track_ns = 200'000'000;
            for (uint8_t s = 0; s < 9; ++s) {
                const uint32_t at = 2'000'000 + s * 21'500'000u;
                t.map.push_back({static_cast<uint8_t>(s + 1), {at, 224'000}, {at + 1'400'000, 16'480'000},
                                 quen::disk::FieldState::Good, quen::disk::FieldState::Good});
            }
            tracks.push_back(std::move(t));
        }
    }
    return tracks;
}

// Double-density intervals with a spread like a real capture's.
quen::FluxTiming revolution() {
    quen::FluxTiming timing;
    timing.revolution_ns = 200'000'000;
    uint32_t seed = 1;
    auto rnd = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (uint32_t at = 0; at < timing.revolution_ns;) {
        const int32_t interval = static_cast<int32_t>((2 + rnd() % 3) * 2000 + rnd() % 400) - 200;
        at += static_cast<uint32_t>(interval);
        timing.add(at, interval);
    }
    return timing;
}

void BM_DiskMap(benchmark::State& state) {
    const std::vector<quen::disk::TrackSummary> tracks = whole_disk();
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string svg = quen::disk::disk_map_svg(
            tracks, [](const quen::disk::TrackSummary&) { return quen::disk::MapLinks{"#track-00.0", "track00.0.txt"}; });
        bytes = svg.size();
        benchmark::DoNotOptimize(svg.data());
    }
    state.counters["KB"] = static_cast<double>(bytes) / 1000;
}
BENCHMARK(BM_DiskMap)->Unit(benchmark::kMillisecond);

void BM_TimingPictures(benchmark::State& state) {
    const quen::FluxTiming timing = revolution();
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string scatter = quen::disk::timing_scatter_svg(timing, "Track 00 side 0", quen::disk::SvgStyle::kFromPage);
        const std::string histogram =
            quen::disk::timing_histogram_svg(timing, "Track 00 side 0", quen::disk::SvgStyle::kFromPage);
        bytes = scatter.size() + histogram.size();
        benchmark::DoNotOptimize(scatter.data());
        benchmark::DoNotOptimize(histogram.data());
    }
    state.counters["KB"] = static_cast<double>(bytes) / 1000;
}
BENCHMARK(BM_TimingPictures)->Unit(benchmark::kMillisecond);

}  // namespace
