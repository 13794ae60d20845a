#include "stream/capture_load.h"

#include "base/files.h"
#include "base/names.h"
#include "stream/stream.h"

namespace quen {

CaptureLoad load_capture(const uint8_t* bytes, size_t length, const std::string& name,
                         std::optional<TrackSide> track, FILE* err) {
    CaptureLoad load;
    if (!has_scp_signature(bytes, length)) {
        if (!track) return load_stream_bytes(bytes, length, name, err);
        std::fprintf(err, "Stream file '%s' holds one track side: --track is only for SCP images\n",
                     shown_name(name).c_str());
        load.fault = CaptureLoad::Fault::TrackSideRefused;
        load.said = true;
        return load;
    }
    load.said = true;
    if (!track) {
        std::fprintf(err, "SCP file '%s': --track C.S is required, an image holds many tracks\n",
                     shown_name(name).c_str());
        load.fault = CaptureLoad::Fault::TrackSideRequired;
        return load;
    }
    load.capture = read_scp_track(bytes, length, name, *track, err);
    if (!load.capture) load.fault = CaptureLoad::Fault::Undecodable;
    return load;
}

CaptureLoad load_capture_file(const std::string& name, std::optional<TrackSide> track, FILE* err) {
    FileBytes file;
    if (const int why = read_whole_file(name, file); why != 0) return unreadable_capture(name, why, err);
    return load_capture(file.bytes.get(), file.length, name, track, err);
}

const char* capture_kind(const std::string& name) {
    if (file_holds_scp_image(name)) return "flux image";
    if (file_holds_indexed_stream(name)) return "stream file";
    return nullptr;
}

}  // namespace quen
