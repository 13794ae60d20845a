// Test SCP images: the builder's flux written as an image of several track sides, and
// damaged images with the one line the reader must give for each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "stream/scp.h"
#include "support/builder.h"

namespace quen::synth {

// One track side of an image; its flux in 25 ns ticks (FluxTiming::sck = kScpSampleClock).
struct ScpTrackSide {
    TrackSide where;
    FluxTrack flux;
};

struct ScpOptions {
    uint8_t flags = 0x81;     // index-cued, third-party writer
    uint8_t heads = 0;        // both sides
    uint8_t resolution = 0;   // flux words count 25 ns x (resolution + 1)
    uint8_t disk_type = 0x80; // unknown
    bool checksum = true;     // false: 0, no checksum
};

// A revolution as the image stores it: its index time and its flux words.
struct ScpRevolution {
    uint32_t index_time;
    std::vector<uint16_t> words;
};
struct ScpRawSide {
    TrackSide where;
    std::vector<ScpRevolution> revs;
};

// Where the parts of an image written by encode_scp lie.
inline constexpr size_t kScpFirstTrackHeader = 0x2B0;
inline constexpr size_t kScpChecksumAt = 0x0C;
// Offset of the table entry of a track side.
size_t scp_table_entry_at(TrackSide t);

// An image of the track sides, in the order given from kScpFirstTrackHeader on. Revolution
// r of a side holds the flux from its pulse r to pulse r + 1: the first word is the time
// from the pulse to the first transition, and the index time, from pulse to pulse, also
// holds the time from the last transition to the next pulse. Every side has as many
// revolutions as it has pulses less one; the header declares the most of them.
std::vector<uint8_t> encode_scp(const std::vector<ScpTrackSide>& sides, const ScpOptions& opts = {});
// An image of revolutions given word by word; every side is stored with the header's
// count of revolutions, those it lacks with neither words nor offset.
std::vector<uint8_t> encode_scp_words(const std::vector<ScpRawSide>& sides, const ScpOptions& opts = {});

// Sets the checksum of an image to the sum of its bytes after the header.
void fix_scp_checksum(std::vector<uint8_t>& image);

// The same flux as a KryoFlux stream whose info text names the 25 ns clock: both give the
// analyser the same ticks at the same clock.
std::vector<uint8_t> stream_at_scp_clock(const FluxTrack& flux);

// A damaged image, the track side asked of it, and the fault the reader names.
struct DamagedScp {
    std::string name;
    std::vector<uint8_t> image;
    TrackSide track;
    std::string fault;
};
std::vector<DamagedScp> damaged_scp_images();

}  // namespace quen::synth
