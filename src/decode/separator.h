// The data separator's results for the intervals of one starting revolution, computed
// once and read by every decoder that starts there.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "base/large_blocks.h"
#include "base/options.h"
#include "decode/mfm.h"
#include "decode/pll.h"
#include "decode/records.h"
#include "stream/cursor.h"

namespace quen {

// What an interval is, whatever the decoder reading it does with that.
enum IntervalClass : uint8_t {
    kIntervalNoFlux = 1,   // more cells than a stretch with flux can have; nothing else is checked
    kIntervalBorder = 2,   // the separator's decision could have gone either way
    kIntervalShort = 4,    // fewer cells than MFM allows between transitions
    kIntervalLong = 8,     // more cells than MFM allows, short of a no-flux stretch
};

struct SeparatedInterval {
    uint32_t total_ns;  // time from the starting revolution's index to this transition
    int32_t interval_ns;
    uint16_t cells;     // cells since the previous transition, modulo 65536
    uint16_t clk;       // bit period after this transition
    uint8_t classes;    // IntervalClass bits
};

// The classes of an interval of `cells` cells at bit period `clk`. Written without
// branches: it runs in the separator's loop, which waits on its chain of look-ups and has
// room for more work, but not for mispredicted branches.
inline uint8_t classify_interval(int32_t interval_ns, uint16_t cells, uint16_t clk) {
    const bool border = in_border_window(clk, interval_ns, cells);
    const uint32_t flux_classes = (border ? uint32_t{kIntervalBorder} : 0u) |
                                  (cells < 2 ? uint32_t{kIntervalShort} : 0u) |
                                  (cells > 4 ? uint32_t{kIntervalLong} : 0u);
    return static_cast<uint8_t>(cells > kNoFluxCells ? uint32_t{kIntervalNoFlux} : flux_classes);
}

// The intervals from the index of one revolution on, as far as any decoder has read;
// reading past the revolution's end goes on into the next one with the same separator.
class SeparatorRun {
public:
    // The results take their room from `arena`, which must outlive the run.
    SeparatorRun(const FluxCapture* stream, uint8_t revolution, bool pll_off, LargeArena& arena);

    // Intervals between this revolution's index and the next one's.
    uint32_t revolution_intervals() const { return revolution_intervals_; }
    // Whether the stream holds an i-th interval from the index.
    bool has(uint32_t i) { return i < size_ || extend(i); }
    // The i-th interval; has(i) must have been true.
    SeparatedInterval get(uint32_t i) const {
        const Step& s = steps_[i];
        return {s.total_ns, interval_ns(total_before(i), s.total_ns), s.cells, s.clk, classes_[i]};
    }

private:
    // The difference of the times, modulo 2^32 as they were summed.
    static int32_t interval_ns(uint32_t before_ns, uint32_t total_ns) {
        return static_cast<int32_t>(total_ns - before_ns);
    }
    uint32_t total_before(size_t i) const { return i == 0 ? 0 : steps_[i - 1].total_ns; }
    // Kept small: every revolution's results stay in memory for the whole run.
    struct Step {
        uint32_t total_ns;
        uint16_t cells;
        uint16_t clk;
    };

    bool extend(uint32_t i);
    // The size an extension for the i-th interval reaches.
    size_t extent_for(uint32_t i) const;
    // Room for `to` results, those computed kept.
    void make_room(size_t to);
    // The two stages that compute the results from size_ up to `to` (at most a batch
    // on): the times, then the separator's cells and bit periods with the classes they
    // give. Kept apart, the separator's loop keeps little in registers but its own state
    // and a place in the results; the classes are computed in it, in the time it waits
    // for its look-ups.
    void read_times(size_t to);
    auto targets() {
        return [s = steps_ + size_]() mutable { return (s++)->total_ns; };
    }
    auto results() {
        return [s = steps_ + size_, c = classes_ + size_, before_ns = total_before(size_)](uint16_t cells,
                                                                                          uint16_t clk) mutable {
            s->cells = cells;
            s->clk = clk;
            *c++ = classify_interval(interval_ns(before_ns, s->total_ns), cells, clk);
            before_ns = s->total_ns;
            ++s;
        };
    }

    FluxCursor cursor_;
    PllStepper pll_;
    uint32_t total_ns_ = 0;
    uint32_t revolution_intervals_ = 0;
    LargeArena& arena_;
    // Grown by doubling and never cleared: extend() writes every slot up to the new size.
    Step* steps_ = nullptr;
    uint8_t* classes_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Whether the sector passes compare the data of `revolution`: those with two index pulses
// after their own start, as far as revolutions are numbered (in 8 bits).
inline bool read_by_passes(const FluxCapture& stream, uint32_t revolution) {
    return revolution + 2 < stream.index_count && revolution <= UINT8_MAX;
}

// The separator runs of one analysis, one per starting revolution, for the options in force.
// A run is computed through its revolution when first asked for.
class SeparatorRuns {
public:
    SeparatorRuns(const FluxCapture* stream, bool pll_off) : stream_(stream), pll_off_(pll_off) {}

    const FluxCapture* stream() const { return stream_; }
    SeparatorRun& from(uint8_t revolution);

private:
    const FluxCapture* stream_;
    bool pll_off_;
    // The runs' results share large blocks: each revolution's fills a fraction of one.
    LargeArena arena_;
    std::array<std::unique_ptr<SeparatorRun>, 256> runs_{};
};

}  // namespace quen
