// The reading machinery shared by the track decoder, the ID locator and the sector
// decoder: the separator's results, shift register, CRC register, synch-run tracking
// and the fault checks with their diagnostic lines. Each decoder keeps its own state
// machine on top of it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/diag_sink.h"
#include "decode/mfm.h"
#include "decode/records.h"
#include "decode/separator.h"

namespace quen {

// The diagnostic lines whose wording differs between the decoders.
struct FluxTexts {
    const char* no_flux;        // ns, time, byte, clk
    const char* border;         // ns, time, byte, clk
    const char* short_spacing;  // ns, time, byte, clk
    const char* long_spacing;   // ns, time, byte, clk
    const char* short_run;      // sync_count, time, byte - 1
};

enum class IntervalFault : uint8_t { kNone, kNoFlux, kTiming };

struct TakenByte {
    bool sync = false;         // aligned on an A1 or C2 synch pattern
    bool synch_fault = false;  // bad synch sequence or the fourth byte of a run
    bool long_run = false;     // the fourth byte of a run
};

// Where a reader stands in its separator run: all a reading taken up elsewhere needs.
struct FluxReading {
    uint32_t next = 0;
    MfmShifter shifter;
    uint32_t total_ns = 0;
    uint32_t byte_start_ns = 0;
    uint16_t crc = 0;
    uint16_t clk = 0;
    uint8_t sync_count = 0;
    uint8_t last_sync = 0;
    // The interval last read, its cell count and its IntervalClass bits.
    int32_t interval_ns = 0;
    uint16_t cells = 0;
    uint8_t classes = 0;
};

class FluxReader : public FluxReading {
public:
    FluxReader(SeparatorRun& run, DiagSink diag, const FluxTexts& texts) : run_(&run), diag(diag), texts(&texts) {}

    const SeparatorRun& run() const { return *run_; }
    // Goes on from where another reader of the same separator run stood, writing its
    // own lines where this one writes them.
    void take_up(const FluxReading& reading) { static_cast<FluxReading&>(*this) = reading; }
    // Before the first interval: the bit period a byte shows until one is read.
    void start_clock(uint16_t clk_ns) { clk = clk_ns; }
    // An address mark, or a byte no mark can follow, ends the synch run.
    void end_sync_run() { sync_count = 0; }

    // True when the stream has no interval left for this reader.
    bool at_end() { return !run_->has(next); }
    // Takes the next interval with the separator's result for it.
    void read_interval() { take(run_->get(next++)); }
    // Reads up to `limit` intervals (at least one) into the shift register, stopping
    // after one that completes a byte or has a class to check; returns how many were
    // read, 0 at the stream's end. The last one is the reader's interval: those before
    // it needed nothing but their cells pushed.
    uint32_t read_intervals(uint32_t limit);
    static constexpr uint32_t kNoLimit = UINT32_MAX;
    // Counts the last interval's no-flux, border and MFM faults in `area`.
    IntervalFault check_interval(AreaInfo& area, uint16_t byte_count) {
        return classes == 0 ? IntervalFault::kNone : count_faults(area, byte_count);
    }
    bool clock_off() const { return clk > kOverClockedNs || clk < kUnderClockedNs; }
    // Counts an over- or under-clocked byte in `area`; time_us is the time the lines show.
    void check_clock(AreaInfo& area, uint32_t time_us, uint16_t byte_count) {
        if (clock_off()) count_clock(area, time_us, byte_count);
    }
    // Takes the next byte from the shift register. With `search` the byte is aligned on
    // a synch pattern when one is in the register, and the synch run is tracked (BS in `area`).
    TakenByte take_byte(bool search, AreaInfo& area, uint32_t time_us, uint16_t byte_count) {
        shifter.synced = 0;
        if (search) {
            shifter.sync_pos = 0;
            if (sync_core_positions(shifter.bits) != 0) return take_searched_byte(area, time_us, byte_count);
        }
        shifter.next_byte();
        return {};
    }
    // A byte other than a synch byte after a run of only one or two: BS in `area`.
    bool check_short_run(const TakenByte& taken, AreaInfo& area, uint32_t time_us, uint16_t byte_count) {
        if (taken.sync || (sync_count != 1 && sync_count != 2)) return false;
        end_short_run(area, time_us, byte_count);
        return true;
    }
    // Feeds the byte to the CRC register; the next byte starts at this transition.
    void finish_byte() {
        crc = crc_ccitt_byte(crc, shifter.data);
        byte_start_ns = total_ns;
    }
    // Writes a diagnostic line with -v, within the run's budget.
    [[gnu::format(printf, 2, 3), gnu::cold]] void say(const char* fmt, ...);

    uint8_t data() const { return shifter.data; }
    DecodedByte decoded() const { return {shifter.data, shifter.clock, clk, byte_start_ns}; }

private:
    void take(const SeparatedInterval& s) {
        total_ns = s.total_ns;
        interval_ns = s.interval_ns;
        cells = s.cells;
        clk = s.clk;
        classes = s.classes;
    }
    // The rare cases, out of the decoders' loops.
    [[gnu::cold, gnu::noinline]] IntervalFault count_faults(AreaInfo& area, uint16_t byte_count);
    [[gnu::cold, gnu::noinline]] void count_clock(AreaInfo& area, uint32_t time_us, uint16_t byte_count);
    [[gnu::noinline]] TakenByte take_searched_byte(AreaInfo& area, uint32_t time_us, uint16_t byte_count);
    [[gnu::cold, gnu::noinline]] void end_short_run(AreaInfo& area, uint32_t time_us, uint16_t byte_count);

    SeparatorRun* run_;

public:
    const DiagSink diag;
    const FluxTexts* const texts;
};

inline uint32_t FluxReader::read_intervals(uint32_t limit) {
    // The register and the place are kept in locals: a store to the reader, with its
    // byte-sized fields, could be one to anything as far as the compiler knows, which
    // would have it read everything back for each interval.
    SeparatorRun& run = *run_;
    MfmShifter reg = shifter;
    uint32_t i = next;
    for (uint32_t left = limit; left != 0 && run.has(i); --left) {
        const SeparatedInterval s = run.get(i++);
        reg.push_cells(s.cells);
        if (reg.count >= 16 || s.classes != 0) break;
    }
    const uint32_t read = i - next;
    if (read != 0) {
        shifter = reg;
        next = i;
        // The last interval's other fields are looked up again rather than carried
        // through every pass of the loop.
        take(run.get(i - 1));
    }
    return read;
}

}  // namespace quen
