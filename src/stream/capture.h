// What every flux source gives the analyser: the flux intervals in ticks of a stated
// sample clock, the index pulses placed inside them, and so the revolutions between
// those pulses. A KryoFlux stream and one track side of an SCP image both read into it;
// the cursor and everything above it know nothing else of where the flux came from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quen {

struct FluxItem {
    uint32_t value;       // interval in sample-clock ticks
    // Where the source holds the end of this interval: the stream position of the flux
    // block for a KryoFlux stream, the interval's number in the track side for an SCP image.
    uint32_t stream_pos;
};

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
    std::vector<FluxItem> flux;
    uint32_t flux_count = 0;

    std::vector<IndexRecord> index;
    uint32_t index_count = 0;

    double rpm_avg = 0.0;
    double sck;  // sample clock in Hz: the length of a tick

    // What the source says of itself, as text; without its terminating NUL.
    std::string info;
};

}  // namespace quen
