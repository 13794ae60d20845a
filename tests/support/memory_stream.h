// Streams held in memory: stream bytes decoded without a file, and streams built as the
// parser would leave them, for the cursor and the decoders.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "stream/stream.h"

namespace quen::testing {

struct Decoded {
    int code;
    std::unique_ptr<QuenStream> stream;
};

// Decodes stream bytes the way load_stream_file does.
Decoded decode_bytes(const std::vector<uint8_t>& bytes);

// The interval that follows the real ones; the cursor must never hand it out, so it
// holds a value no test expects.
inline constexpr uint32_t kTrailingTicks = 500;

// A stream of the given intervals (at stream positions 0, 1, ...) and index records.
// At the default sample clock one tick is one nanosecond.
std::unique_ptr<QuenStream> memory_stream(const std::vector<uint32_t>& intervals_ticks,
                                          const std::vector<IndexRecord>& index, double sck = 1e9);

}  // namespace quen::testing
