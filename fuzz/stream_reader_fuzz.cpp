// The stream reader alone, in memory: block parsing, index resolution, the speed figure,
// and the cursor over every revolution the index pulses mark.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "stream/cursor.h"
#include "stream/stream.h"

namespace {

// The cursor takes 8-bit revolution numbers.
constexpr uint32_t kMaxRevolutions = 256;
// The sector decoder reads on past a revolution's end to finish a field it is in.
constexpr uint32_t kOverrunIntervals = 2000;

FILE* sink() {
    static FILE* f = std::fopen("/dev/null", "w");
    if (f == nullptr) std::abort();
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const quen::CaptureLoad load = quen::load_stream_bytes(data, size, "fuzz.raw", sink());
    const quen::FluxCapture* stream = load.capture.get();
    if (stream == nullptr) return 0;
    // What the cursor relies on: every index record counted, one trailing entry after the intervals.
    if (stream->index_count != stream->index.size()) std::abort();
    if (!stream->flux.empty() && stream->flux.size() != static_cast<size_t>(stream->flux_count) + 1) std::abort();
    quen::FluxCursor cursor(stream);
    uint64_t sum = 0;
    for (uint32_t r = 0; r + 1 < stream->index_count && r < kMaxRevolutions; ++r) {
        cursor.start(static_cast<uint8_t>(r));
        for (uint64_t left = uint64_t{cursor.count} + kOverrunIntervals; left != 0 && !cursor.at_end(); --left) {
            sum += static_cast<uint32_t>(cursor.next_ns());
        }
    }
    // Keeps the reads from being optimised away.
    volatile uint64_t keep = sum;
    (void)keep;
    return 0;
}
