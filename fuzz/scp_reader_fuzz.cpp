// The SCP reader alone, in memory: the header, the table, the track header of one track
// side, its flux words and the joined revolutions, then the cursor over each of them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "stream/cursor.h"
#include "stream/scp.h"

namespace {

// The sector decoder reads on past a revolution's end to finish a field it is in.
constexpr uint32_t kOverrunIntervals = 2000;

FILE* sink() {
    static FILE* f = std::fopen("/dev/null", "w");
    if (f == nullptr) std::abort();
    return f;
}

void read_side(const uint8_t* data, size_t size, quen::TrackSide side) {
    auto capture = quen::read_scp_track(data, size, "fuzz.scp", side, sink());
    if (!capture) return;
    // What the cursor relies on: every pulse counted and inside the flux, one trailing entry.
    if (capture->index_count != capture->index.size()) std::abort();
    if (capture->index_count != 0 && capture->flux.size() != static_cast<size_t>(capture->flux_count) + 1) std::abort();
    if (capture->index_count > 256) std::abort();
    for (const quen::IndexRecord& rec : capture->index) {
        if (rec.flux_index > capture->flux_count) std::abort();
        if (rec.pre_index + rec.post_index != capture->flux[rec.flux_index].value) std::abort();
    }
    quen::FluxCursor cursor(capture.get());
    uint64_t sum = 0;
    for (uint32_t r = 0; r + 1 < capture->index_count; ++r) {
        cursor.start(static_cast<uint8_t>(r));
        for (uint64_t left = uint64_t{cursor.count} + kOverrunIntervals; left != 0 && !cursor.at_end(); --left) {
            sum += static_cast<uint32_t>(cursor.next_ns());
        }
    }
    // Keeps the reads from being optimised away.
    volatile uint64_t keep = sum;
    (void)keep;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    read_side(data, size, {0, 0});
    // The header's start track names a second side to read, so that the fuzzer can reach any.
    if (size > 6 && data[6] != 0 && data[6] < 2 * quen::kScpCylinders) {
        read_side(data, size, {static_cast<uint8_t>(data[6] >> 1), static_cast<uint8_t>(data[6] & 1)});
    }
    return 0;
}
