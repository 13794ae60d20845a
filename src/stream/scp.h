// One track side of an SCP flux image, read into the capture model. An image holds a
// whole disk at a fixed 25 ns time base; the analyser takes one side of one track of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "stream/capture.h"

namespace quen {

// The ticks of an image's flux words and index times at resolution 0: 25 ns.
inline constexpr double kScpSampleClock = 40000000.0;
// The image's table has room for 84 cylinders of two sides.
inline constexpr unsigned kScpCylinders = 84;

struct TrackSide {
    uint8_t cylinder;
    uint8_t side;
};

// "C.S" with a cylinder below kScpCylinders and a side of 0 or 1, as the command line gives it.
std::optional<TrackSide> parse_track_side(const std::string& text);

// Whether the bytes begin with an SCP image's signature.
bool has_scp_signature(const uint8_t* bytes, size_t length);
// Whether `name` is a regular file that begins as an SCP image does.
bool file_holds_scp_image(const std::string& name);

// The track sides the image holds, by cylinder then side: those its table names. On a
// fault of its header or table, none, with the fault in `fault` (empty otherwise).
std::vector<TrackSide> scp_track_sides(const uint8_t* bytes, size_t length, std::string& fault);

// Reads track side `wanted` of the image in `bytes`. Every field is checked against the
// length of the bytes; on a fault one line "SCP file '<name>': <fault>" goes to `err` and
// the result is null. Doubts about an image that can still be read (revolutions missing
// or damaged, an image not cued to the index, normalised times) go to `err` as lines of
// the same form once the track is read. The bytes are not kept.
std::unique_ptr<FluxCapture> read_scp_track(const uint8_t* bytes, size_t length, const std::string& name,
                                            TrackSide wanted, FILE* err);

}  // namespace quen
