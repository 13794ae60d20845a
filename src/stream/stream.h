// One KryoFlux stream file decoded into flux intervals and index pulses.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace quen {

// 168192000 / 7 Hz, the device's sample clock unless the info text names another.
inline constexpr double kDefaultSampleClock = 168192000.0 / 7.0;

struct FluxItem {
    uint32_t value;       // interval in sample-clock ticks
    uint32_t stream_pos;  // stream position of the flux block that ends it
};

struct IndexRecord {
    uint32_t stream_pos;
    uint32_t sample_counter;
    uint32_t index_counter;
    uint32_t flux_index;
    uint32_t rev_time;
    uint32_t pre_index;
    uint32_t post_index;
};

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

class QuenStream {
public:
    QuenStream() = default;
    QuenStream(const QuenStream&) = delete;
    QuenStream& operator=(const QuenStream&) = delete;
    virtual ~QuenStream();

    // Parses `data`, resolves the index pulses, computes the RPM and takes the sample clock.
    int decode();
    int parse_blocks();
    int resolve_indexes();
    void compute_rpm();
    // The value text of `key` in the info text, or nullptr. The returned buffer is
    // overwritten by the next lookup.
    const char* info_value(const char* key);

    // Borrowed raw file bytes, valid only while decode() runs.
    const uint8_t* data = nullptr;
    uint32_t data_len = 0;

    // Info text without its terminating NUL; info_len is its length plus one for that
    // NUL, or 0 when the stream had no info text.
    std::string info;
    uint32_t info_len = 0;

    std::vector<IndexRecord> index;
    uint32_t index_count = 0;

    // flux_count intervals plus the trailing entry (empty for an empty file).
    std::vector<FluxItem> flux;
    uint32_t flux_count = 0;

    double rpm_avg = 0.0;
    double sck = kDefaultSampleClock;

private:
    void append_info(const uint8_t* payload, uint32_t n);
    char value_buf_[256] = {};
};

// Opens `name` for reading when it is a regular file (links followed), without ever
// waiting on a FIFO or a device; -1 with errno set otherwise. The caller closes it.
int open_regular_file(const std::string& name);

// A stream read from a file or from memory, or why it could not be.
struct StreamLoad {
    std::unique_ptr<QuenStream> stream;
    int system_error = 0;          // errno when the file could not be read
    int stream_error = kStreamOk;  // the decoder's error when the bytes could not be decoded
    // Flux intervals read before that error: a capture cut short has many, other bytes none.
    uint32_t intervals_before_error = 0;
};

// Reads and decodes a stream file. On failure (also when it is no regular file) writes
// its own line to `err`.
StreamLoad load_stream_file(const std::string& name, FILE* err);
// Decodes stream bytes already in memory as load_stream_file decodes a file's; `name`
// only labels the failure line. The bytes are not kept.
StreamLoad load_stream_bytes(const uint8_t* bytes, size_t length, const std::string& name, FILE* err);

// The same, for callers that need only the stream: nullptr on failure.
std::unique_ptr<QuenStream> read_stream_file(const std::string& name, FILE* err);

// Whether `name` is a regular file whose blocks read as a stream, as the block parser
// reads them up to the EOF block, with at least one Index block. The file is walked
// through a small buffer and nothing is kept, so a file of any length is judged in
// bounded memory. The pulses are not placed: a capture whose pulses cannot be placed is
// still a capture.
bool file_holds_indexed_stream(const std::string& name);
std::unique_ptr<QuenStream> read_stream_bytes(const uint8_t* bytes, size_t length, const std::string& name, FILE* err);

}  // namespace quen
