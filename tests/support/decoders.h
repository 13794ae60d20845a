// The decoders of one analysis called directly, as the run calls them (the shared path)
// or each over separator results of its own, stepped afresh from the index (the plain
// path, the reference the shared one is held to).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/options.h"
#include "decode/layouts.h"
#include "decode/records.h"
#include "stream/capture.h"
#include "stream/cursor.h"

namespace quen::testing {

enum class DecoderPath : uint8_t { kShared, kPlain };

// Each over a separator run of its own from the index of `revolution` (0-based).
void decode_track_from_index(TrackLayout& layout, const FluxCapture& stream, uint8_t revolution, ByteBuffer& buffer,
                             const RunOptions& opts);
uint8_t locate_ids_from_index(const FluxCapture& stream, uint8_t revolution, IdLayout& layout, ByteBuffer& id_buffer,
                              const RunOptions& opts);
// One decoding of the sector in one revolution, and the sector with its comparison
// passes, both as a run whose only expected ID position is `expected_pos_ns` does them.
bool decode_sector_alone(const FluxCapture& stream, uint8_t revolution, SectorLayout& layout, uint8_t wanted_sector,
                         uint32_t expected_pos_ns, ByteBuffer& buffer, const RunOptions& opts);
bool analyse_sector_alone(SectorLayout& layout, ByteBuffer& buffer, const FluxCapture& stream, uint8_t revolution,
                          uint8_t wanted_sector, uint32_t expected_pos_ns, const RunOptions& opts);

// What every decoder of one analysis found.
struct DecodedTrack {
    TrackLayout track;
    ByteBuffer track_buffer;
    IdLayout ids;
    ByteBuffer id_buffer{200};
    std::vector<SectorLayout> sectors;
    std::vector<ByteBuffer> sector_buffers;
    std::vector<uint8_t> found;
    uint32_t passes_skipped = 0;
    // The -v lines and the run's messages, in the order a run writes them to one stream.
    std::string text;
};

// Runs the track decoder, the ID locator and every located sector's analysis on the
// revolution `opts.revolution` (0-based), within `opts.limits` as an analysis does.
DecodedTrack decode_all(const FluxCapture& stream, DecoderPath path, RunOptions opts);

}  // namespace quen::testing
