// What every flux source gives the analyser: the flux intervals in ticks of a stated
// sample clock, the index pulses placed inside them, and so the revolutions between
// those pulses. A KryoFlux stream and one track side of an SCP image both read into it;
// the cursor and everything above it know nothing else of where the flux came from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/large_blocks.h"
#include "base/unset_allocator.h"

namespace quen {

struct FluxItem {
    uint32_t value;       // interval in sample-clock ticks
    // Where the source holds the end of this interval: the stream position of the flux
    // block for a KryoFlux stream, the interval's number in the track side for an SCP image.
    uint32_t stream_pos;
};
// A capture's intervals are the largest array of an analysis. A reader may size it for
// the most intervals its input can hold and write them in place: room never written
// is never touched.
using FluxItems = std::vector<FluxItem, UnsetAllocator<FluxItem, LargeBlockAllocator>>;

// One index pulse. The first three fields are what a KryoFlux Index block carries (a
// source without such blocks leaves them as it sees fit); the last four place the pulse
// in the flux and are what the cursor reads.
struct IndexRecord {
    uint32_t stream_pos;
    uint32_t sample_counter;
    uint32_t index_counter;
    uint32_t flux_index;  // the interval that holds the pulse (flux_count: the trailing entry)
    uint32_t rev_time;    // ticks from the previous pulse to this one
    uint32_t pre_index;   // ticks of interval flux_index before the pulse
    uint32_t post_index;  // ticks of interval flux_index after the pulse
};

class FluxCapture {
public:
    explicit FluxCapture(double sample_clock_hz) : sck(sample_clock_hz) {}
    FluxCapture(const FluxCapture&) = delete;
    FluxCapture& operator=(const FluxCapture&) = delete;
    virtual ~FluxCapture();

    // Revolutions between consecutive pulses: index_count - 1, -1 without any pulse.
    int revolutions() const { return static_cast<int>(index_count) - 1; }
    // Sets rpm_avg from the revolutions' ticks and the sample clock as it is now.
    void compute_rpm();

    // flux_count intervals plus one trailing entry: the ticks after the last transition,
    // where a pulse after all flux falls (empty when there is no flux at all).
    FluxItems flux;
    uint32_t flux_count = 0;

    std::vector<IndexRecord> index;
    uint32_t index_count = 0;

    double rpm_avg = 0.0;
    double sck;  // sample clock in Hz: the length of a tick

    // What the source says of itself, as text; without its terminating NUL.
    std::string info;
};

// A capture read from a file or from memory, or why it could not be.
struct CaptureLoad {
    enum class Fault : uint8_t {
        None,
        Unreadable,         // the file cannot be read: system_error says why
        Undecodable,        // its bytes are no capture the readers can decode
        TrackSideRequired,  // an SCP image holds many track sides: one must be named
        TrackSideRefused,   // a track side was named for a capture of one track side
    };
    std::unique_ptr<FluxCapture> capture;
    Fault fault = Fault::None;
    bool said = false;             // the reader wrote its own line saying why it failed
    int system_error = 0;          // errno when the file could not be read
    int stream_error = 0;          // the stream decoder's error (StreamError) when the bytes could not be decoded
    // Flux intervals read before that error: a capture cut short has many, other bytes none.
    uint32_t intervals_before_error = 0;
};

}  // namespace quen
