// The sector decoder's state machine: one sector from its ID field through GAP3, DATA
// and GAP4 in one revolution, from the index or from a point of the revolution's approach.
#pragma once

#include <cstdint>
#include <optional>

#include "base/diag_sink.h"
#include "base/options.h"
#include "decode/flux_reader.h"
#include "decode/layouts.h"
#include "decode/records.h"
#include "decode/separator.h"
#include "sector/approach.h"
#include "sector/sector_plot.h"

namespace quen {

// Whether a decoding writes the sector's plot files, with -t: only the chosen revolution's does.
enum class SectorPlots : uint8_t { kNone, kWritten };

class SectorDecoder {
public:
    SectorDecoder(SectorLayout& layout, ByteBuffer& buffer, SeparatorRun& run, const RunOptions& opts, DiagSink diag,
                  SectorPlots plots, uint8_t wanted, uint32_t expected_ns);

    // Decodes the wanted sector from the index or, given `from`, from that point of
    // `source`; returns whether its ID field was found. Returns at once, with nothing
    // more written, when a plot file cannot be created.
    bool run(const ApproachPoint* from = nullptr, const RevolutionApproach* source = nullptr);
    // Reads the revolution's approach into `approach`, wanting no sector; returns where
    // it ended unless every expected position found its point before.
    std::optional<ApproachPoint> read_approach(RevolutionApproach& approach);
    // Intervals read from the revolution's index on.
    uint32_t intervals_read() const { return reader_.next; }

private:
    AreaInfo& current() { return layout_.area(state_); }
    void read_on();
    void trace_interval();
    // The byte's work is forced into the reading loop: a call per byte cost about as
    // much as the byte itself, the reader's state going back to memory and coming back.
    // What most bytes never need (a point of the approach, a mark, a plot line) stays
    // out of line so the loop stays small.
    [[gnu::always_inline]] inline void finish_interval();
    ApproachPoint here(uint32_t mark_ns, bool in_bytes) const;
    void resume(const ApproachPoint& p);
    [[gnu::always_inline]] inline void byte_step();
    [[gnu::noinline]] void before_mark_byte();
    [[gnu::cold, gnu::noinline]] void trace_byte();
    bool kept_in_buffer() const;
    [[gnu::noinline]] void address_mark(uint8_t b, uint32_t time_us);
    [[gnu::always_inline]] inline void field_byte(uint8_t b);
    void complete_field(AreaKind next);
    void close_area(uint32_t end_ns);
    void begin_area(AreaKind next);
    bool finish();

    SectorLayout& layout_;
    ByteBuffer& buffer_;
    const RunOptions& opts_;
    FluxReader reader_;
    const SectorPlots plot_choice_;
    SectorPlotFiles plots_;
    const uint8_t wanted_;
    const uint32_t expected_ns_;

    AreaKind state_ = AreaKind::GAP2;
    uint32_t byte_count_ = 0;
    uint32_t area_start_byte_ = 1;
    uint16_t countdown_ = 0;
    int64_t intervals_left_ = 0;
    bool wanted_found_ = false;
    bool data_found_ = false;
    bool done_ = false;
    uint32_t doi_count_ = 0;
    ByteMarks byte_marks_;
    // Set while only recording where the sector decodes of the revolution may start.
    RevolutionApproach* approach_ = nullptr;
};

}  // namespace quen
