#include "decode/track.h"

#include <algorithm>
#include <optional>

#include "decode/flux_reader.h"
#include "decode/marks.h"
#include "decode/track_plot.h"

namespace quen {
namespace {

constexpr uint16_t kNominalClkNs = 4000;

struct DecoderState {
    AreaKind kind = AreaKind::GAP1;
    // Wider than the 8-bit slot number so that a sector beyond the last slot can be
    // told apart from slot 0; such sectors record no areas.
    uint16_t slot = 0;
    uint32_t area_start_ns = 0;
    uint16_t area_start_byte = 1;
    uint32_t countdown = 0;
    // Areas of a sector beyond the last slot are counted here and never read.
    SectorSlot overflow{};
};

// Slot numbers stop advancing here; anything at or beyond kMaxSlots is already overflow.
constexpr uint16_t kSlotCeiling = 0xFFFF;

bool is_gap_before_sync_zone(AreaKind k) { return k == AreaKind::GAP1 || k == AreaKind::GAP1a || k == AreaKind::GAP4; }

[[gnu::noinline]] void grow_slots(TrackLayout& layout, uint16_t index) { layout.slots.resize(index + 1u); }

// The slot table grows as sectors are met; sectors beyond the last possible slot are
// decoded and counted in the totals but their areas go to a sink nobody reads.
SectorSlot& slot_at(DecoderState& state, TrackLayout& layout, uint16_t index) {
    if (index >= TrackLayout::kMaxSlots) return state.overflow;
    // Out of line, the growth leaves the lookup small enough for every byte to make.
    if (index >= layout.slots.size()) grow_slots(layout, index);
    return layout.slots[index];
}

SectorSlot& current_slot(DecoderState& state, TrackLayout& layout) { return slot_at(state, layout, state.slot); }

uint16_t next_slot(uint16_t slot) { return slot < kSlotCeiling ? static_cast<uint16_t>(slot + 1) : slot; }

void advance_slot(DecoderState& state) { state.slot = next_slot(state.slot); }

// A GAP2 is recorded in the slot of the sector that follows it (close_area advances the
// slot first), so its counters are kept there from the start; kept in the current slot
// they would land on the previous sector's GAP2 and be lost to the zone they describe.
AreaInfo& current_area(DecoderState& state, TrackLayout& layout) {
    if (state.kind == AreaKind::GAP2) return slot_at(state, layout, next_slot(state.slot)).area(AreaKind::GAP2);
    return current_slot(state, layout).area(state.kind);
}

// The index address mark area reaches back to the start of the sync zone it ends, and
// takes that zone's counters with it.
void gap2_becomes_iam(DecoderState& state, TrackLayout& layout) {
    AreaInfo& zone = current_area(state, layout);
    AreaInfo& iam = current_slot(state, layout).area(AreaKind::IAM);
    add_counters(iam, zone, kCountTmv | kCountBrd | kCountBs | kCountIdg | kCountClocking);
    zone = AreaInfo{};
}

// `crc` is the CRC register after the area's last byte; only a field keeps it.
void close_area(DecoderState& state, TrackLayout& layout, uint16_t crc) {
    if (layout.byte_count == state.area_start_byte) return;
    if (state.kind == AreaKind::GAP2) advance_slot(state);
    SectorSlot& slot = current_slot(state, layout);
    AreaInfo& a = slot.area(state.kind);
    a.bytes = static_cast<uint16_t>(layout.byte_count - state.area_start_byte);
    a.position_ns = state.area_start_ns;
    a.length_ns = layout.byte_start_ns - state.area_start_ns;
    state.area_start_ns = layout.byte_start_ns;
    state.area_start_byte = layout.byte_count;
    if (is_field(state.kind)) {
        a.crc = crc;
        slot.used = 1;
    }
}

const FluxTexts kTrackTexts = {
    "  ** No Flux Transition Area %d ns @%d ms Byte=%04x clk=%d\n",
    "  ** Border bits %d ns @ %d ms Byte=%04x clk=%d\n",
    "  ** MFM violation: Short spacing %d ns @%d ms Byte=%04x clk=%d\n",
    "  ** MFM violation: Long spacing %d ns @%d ms Byte=%04x clk=%d\n",
    "  ** Short Synch sequence only %d found @%d Byte %04x\n",
};

constexpr const char* kInvalidMarkLine = "  ** Invalid $%02x byte (not an AM) after 3 Synch mark @%d\n";

class TrackDecoder {
public:
    TrackDecoder(TrackLayout& layout, ByteBuffer& buffer, SeparatorRun& run, const RunOptions& opts)
        : layout_(layout), buffer_(buffer), opts_(opts), reader_(run, DiagSink::of(opts), kTrackTexts) {
        // A revolution without intervals still ends with a byte, shown at the nominal bit period.
        reader_.start_clock(kNominalClkNs);
    }

    void run() {
        uint32_t remaining = reader_.run().revolution_intervals();
        init_track_layout(layout_);
        buffer_.clear();
        buffer_.reserve(track_buffer_entries(remaining));
        if (opts_.plot) {
            plot_.emplace(opts_);
            if (plot_->failed()) return;
        }
        // The reader never hands out the stream's trailing entry, even when the index
        // records claim more intervals than the stream holds.
        while (remaining != 0) {
            // The plot wants every interval.
            const uint32_t read = reader_.read_intervals(plot_ ? 1 : remaining);
            if (read == 0) break;
            remaining -= read;
            interval_step();
        }
        end_of_revolution();
        if (plot_) plot_->finish(layout_);
    }

private:
    AreaInfo& area() { return current_area(st_, layout_); }
    SectorSlot& slot() { return current_slot(st_, layout_); }

    // The interval last read, its cells already in the register.
    void interval_step() {
        layout_.total_ns = reader_.total_ns;
        // The area is looked up only for an interval with something to count.
        if (reader_.classes != 0 && reader_.check_interval(area(), layout_.byte_count) == IntervalFault::kNoFlux) {
            layout_.noflux_ns = layout_.total_ns;
        }
        if (plot_) plot_->sample(layout_.total_ns, reader_.clk, reader_.interval_ns, reader_.cells);
        while (reader_.shifter.count >= 16) byte_step();
    }

    void byte_step() {
        layout_.byte_count++;
        const uint32_t t = layout_.total_ns / 1000;
        if (reader_.clock_off()) reader_.check_clock(area(), t, layout_.byte_count);

        // Inside a field the framing is kept unless the user asked to follow sync marks there too.
        const bool search = !is_field(st_.kind) || opts_.look_for_sync;
        const TakenByte taken = reader_.take_byte(search, area(), t, layout_.byte_count);
        if (taken.long_run) layout_.synch_bad++;
        const uint8_t data = reader_.data();

        bool gap2_opened_here = false;
        if (is_gap_before_sync_zone(st_.kind) && marks::opens_sync_zone(data)) {
            close_area(st_, layout_, reader_.crc);
            st_.kind = AreaKind::GAP2;
            gap2_opened_here = true;
        }

        if (reader_.check_short_run(taken, area(), t, layout_.byte_count)) layout_.synch_bad++;

        if (is_field(st_.kind)) {
            field_byte(data);
        } else {
            gap_byte(data, taken.sync, gap2_opened_here, static_cast<int>(t));
        }

        buffer_.append(reader_.decoded());
        reader_.finish_byte();
        layout_.byte_start_ns = reader_.byte_start_ns;
    }

    void field_byte(uint8_t data) {
        st_.countdown--;
        SectorSlot& s = slot();
        const uint16_t left = static_cast<uint16_t>(st_.countdown);
        if (st_.kind == AreaKind::ID) {
            if (take_id_field_byte(s, left, data)) {
                if (reader_.crc != 0) layout_.id_bad++; else layout_.id_good++;
                close_area(st_, layout_, reader_.crc);
                st_.kind = AreaKind::GAP3;
            }
        } else if (take_data_field_byte(s, left, data)) {
            if (reader_.crc != 0) layout_.data_bad++; else layout_.data_good++;
            close_area(st_, layout_, reader_.crc);
            st_.kind = AreaKind::GAP4;
        }
        // Sync patterns hiding inside a field are counted even when the framing ignores them.
        if (find_sync(reader_.shifter).found) area().BS++;
    }

    void gap_byte(uint8_t data, bool is_sync, bool gap2_opened_here, int t) {
        if (st_.kind == AreaKind::IAM) {
            close_area(st_, layout_, reader_.crc);
            st_.kind = AreaKind::GAP1a;
        }
        if (marks::is_gap_mark(data)) area().IDG++;
        if (reader_.sync_count < marks::kSynchRunForMark || is_sync) return;

        // A field met with no sync zone of its own (an ID mark FF opens a GAP2 in this very
        // byte) would otherwise land in slot 0 or in the previous sector's slot.
        const bool met_in_gap = is_gap_before_sync_zone(st_.kind) || gap2_opened_here;
        reader_.end_sync_run();
        if (marks::is_index_mark(data)) {
            layout_.synch_good++;
            if (st_.kind == AreaKind::GAP2) gap2_becomes_iam(st_, layout_);
            st_.kind = AreaKind::IAM;
        } else if (marks::is_id_mark(data)) {
            // After a GAP3 the previous sector had no DATA field; the ID begins the next one.
            // A GAP2 advances the slot itself when it is closed.
            const bool next_sector = st_.kind == AreaKind::GAP3 || met_in_gap;
            close_area(st_, layout_, reader_.crc);
            if (next_sector) advance_slot(st_);
            layout_.synch_good++;
            st_.countdown = marks::kIdFieldBytes;
            st_.kind = AreaKind::ID;
        } else if (marks::is_data_mark(data)) {
            st_.countdown = sector_size(slot().Z) + marks::kDataFieldExtraBytes;
            close_area(st_, layout_, reader_.crc);
            if (met_in_gap) advance_slot(st_);
            layout_.synch_good++;
            st_.kind = AreaKind::DATA;
        } else {
            reader_.say(kInvalidMarkLine, unsigned{data}, t);
            layout_.synch_bad++;
        }
    }

    void end_of_revolution() {
        buffer_.append(DecodedByte{reader_.shifter.data, reader_.shifter.clock, reader_.clk, layout_.total_ns});
        layout_.byte_count++;
        close_area(st_, layout_, reader_.crc);
        switch (st_.kind) {
            case AreaKind::DATA: layout_.data_bad++; break;
            case AreaKind::ID: layout_.id_bad++; break;
            case AreaKind::GAP2: {
                if (st_.slot <= 1) {
                    slot().used = 1;
                    break;
                }
                // A trailing sync zone belongs to the last sector's GAP4.
                const AreaInfo gap2 = slot().area(AreaKind::GAP2);
                AreaInfo& gap4 = slot_at(st_, layout_, static_cast<uint16_t>(st_.slot - 1)).area(AreaKind::GAP4);
                gap4.bytes = static_cast<uint16_t>(gap4.bytes + gap2.bytes);
                gap4.length_ns += gap2.length_ns;
                add_counters(gap4, gap2, kCountTmv | kCountBrd | kCountBs);
                break;
            }
            default: break;
        }
    }

    TrackLayout& layout_;
    ByteBuffer& buffer_;
    const RunOptions& opts_;
    FluxReader reader_;
    DecoderState st_{};
    std::optional<TrackPlot> plot_;
};

}  // namespace

uint16_t track_buffer_entries(uint32_t revolution_intervals) {
    // Sixteen cells make a byte and MFM puts at most four between transitions; the
    // revolution ends with its partial byte and the closing one.
    const uint64_t entries = uint64_t{revolution_intervals} / 4 + 2;
    return static_cast<uint16_t>(std::min<uint64_t>(entries, ByteBuffer::kMaxEntries));
}

void init_track_layout(TrackLayout& layout) {
    layout = TrackLayout{};
    layout.slots.assign(TrackLayout::kInitialSlots, SectorSlot{});
    layout.slots[0].used = 1;
}

void decode_track(TrackLayout& layout, SeparatorRun& run, ByteBuffer& buffer, const RunOptions& opts) {
    TrackDecoder(layout, buffer, run, opts).run();
}

}  // namespace quen
