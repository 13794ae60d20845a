// Any capture the analyser reads, from a file or from bytes in memory: a KryoFlux stream
// of one track side, or one track side of an SCP image. The first bytes tell which, so a
// file is read once whatever it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "stream/capture.h"
#include "stream/scp.h"

namespace quen {

// `track` names the track side to take from an SCP image; it is required for one and
// refused for a KryoFlux stream. Failures write their line to `err`, as the readers do.
CaptureLoad load_capture(const uint8_t* bytes, size_t length, const std::string& name,
                         std::optional<TrackSide> track, FILE* err);
CaptureLoad load_capture_file(const std::string& name, std::optional<TrackSide> track, FILE* err);

// What `name` holds when it is a capture of either kind, which no output may replace:
// "stream file" or "flux image"; null when it is neither.
const char* capture_kind(const std::string& name);

}  // namespace quen
