// One KryoFlux stream file decoded into the capture model: flux intervals and index pulses.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "stream/capture.h"

namespace quen {

// 168192000 / 7 Hz, the device's sample clock unless the info text names another.
inline constexpr double kDefaultSampleClock = 168192000.0 / 7.0;

// Error codes of QuenStream::decode (never shown to the user).
enum StreamError : int {
    kStreamOk = 0,
    kStreamTruncated = 1,
    kStreamPositionMismatch = 3,
    kStreamEndResult1 = 4,
    kStreamEndResult2 = 5,
    kStreamEndResultOther = 6,
    kStreamUnknownOob = 7,
    kStreamNoEof = 8,
    kStreamIndexBeyondEnd = 9,
    kStreamIndexUnresolved = 10,
};

class QuenStream : public FluxCapture {
public:
    QuenStream() : FluxCapture(kDefaultSampleClock) {}
    ~QuenStream() override;

    // Parses `data`, resolves the index pulses, computes the RPM and takes the sample clock.
    int decode();
    int parse_blocks();
    int resolve_indexes();
    // The value text of `key` in the info text, or nullptr. The returned buffer is
    // overwritten by the next lookup.
    const char* info_value(const char* key);

    // Borrowed raw file bytes, valid only while decode() runs.
    const uint8_t* data = nullptr;
    uint32_t data_len = 0;

    // The length of the info text plus one for its NUL, or 0 when the stream had no info text.
    uint32_t info_len = 0;

private:
    void append_info(const uint8_t* payload, uint32_t n);
    char value_buf_[256] = {};
};

// Reads and decodes a stream file. On failure (also when it is no regular file) writes
// its own line to `err`.
CaptureLoad load_stream_file(const std::string& name, FILE* err);
// A file that could not be read whole (`why`: the system's reason), with the line that
// says so written to `err`: the same for every capture format.
CaptureLoad unreadable_capture(const std::string& name, int why, FILE* err);
// Decodes stream bytes already in memory as load_stream_file decodes a file's; `name`
// only labels the failure line. The bytes are not kept.
CaptureLoad load_stream_bytes(const uint8_t* bytes, size_t length, const std::string& name, FILE* err);

// Whether `name` is a regular file whose blocks read as a stream, as the block parser
// reads them up to the EOF block, with at least one Index block. The file is walked
// through a small buffer and nothing is kept, so a file of any length is judged in
// bounded memory. The pulses are not placed: a capture whose pulses cannot be placed is
// still a capture.
bool file_holds_indexed_stream(const std::string& name);

}  // namespace quen
