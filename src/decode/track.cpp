#include "decode/track.h"

#include <cstdarg>
#include <optional>

#include "decode/track_plot.h"

namespace quen {
namespace {

constexpr uint8_t kMarksForAddressMark = 3;
// Slot numbers stop advancing here; anything at or beyond kMaxSlots is already overflow.
constexpr uint16_t kSlotCeiling = 0xFFFF;

bool is_gap_before_sync_zone(AreaKind k) { return k == AreaKind::GAP1 || k == AreaKind::GAP1a || k == AreaKind::GAP4; }

// The slot table grows as sectors are met; sectors beyond the last possible slot are
// decoded and counted in the totals but their areas go to a sink nobody reads.
SectorSlot& slot_at(DecoderState& state, TrackLayout& layout, uint16_t index) {
    if (index >= TrackLayout::kMaxSlots) return state.overflow;
    if (index >= layout.slots.size()) layout.slots.resize(index + 1u);
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
    iam.TMV = static_cast<uint16_t>(iam.TMV + zone.TMV);
    iam.BRD = static_cast<uint16_t>(iam.BRD + zone.BRD);
    iam.BS = static_cast<uint16_t>(iam.BS + zone.BS);
    iam.IDG = static_cast<uint16_t>(iam.IDG + zone.IDG);
    iam.over_clocked = static_cast<uint16_t>(iam.over_clocked + zone.over_clocked);
    iam.under_clocked = static_cast<uint16_t>(iam.under_clocked + zone.under_clocked);
    zone = AreaInfo{};
}

int time_us(const TrackLayout& layout) { return static_cast<int>(layout.total_ns / 1000); }

[[gnu::format(printf, 2, 3)]] void diag(const RunOptions& opts, const char* fmt, ...) {
    if (!opts.verbose) return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(opts.diag_out, fmt, args);
    va_end(args);
}

class TrackDecoder {
public:
    TrackDecoder(TrackLayout& layout, ByteBuffer& buffer, const RunOptions& opts)
        : layout_(layout), buffer_(buffer), opts_(opts) {}

    void run(FluxCursor& cursor, uint8_t revolution) {
        cursor.start(revolution);
        uint32_t remaining = cursor.count;
        init_track_layout(layout_);
        buffer_.clear();
        if (opts_.plot) plot_.emplace(opts_);
        // The cursor never hands out the stream's trailing entry, even when the index
        // records claim more intervals than the stream holds.
        for (; remaining != 0 && !cursor.at_end(); --remaining) interval_step(cursor.next_ns());
        end_of_revolution();
        if (plot_) plot_->finish(layout_);
    }

private:
    AreaInfo& area() { return current_area(st_, layout_); }
    SectorSlot& slot() { return current_slot(st_, layout_); }
    int byte_no() const { return static_cast<int>(layout_.byte_count); }

    void interval_step(int32_t interval_ns) {
        layout_.total_ns += static_cast<uint32_t>(interval_ns);
        const uint16_t cells = pll_.step(layout_.total_ns, opts_.pll_off);
        st_.clk = pll_.clk();
        shifter_.push_cells(cells);
        classify(interval_ns, cells);
        if (plot_) plot_->sample(layout_.total_ns, st_.clk, interval_ns, cells);
        while (shifter_.count >= 16) byte_step();
    }

    void classify(int32_t interval_ns, uint16_t cells) {
        const int t = time_us(layout_);
        if (cells > kNoFluxCells) {
            layout_.noflux_ns = layout_.total_ns;
            diag(opts_, "  ** No Flux Transition Area %d ns @%d ms Byte=%04x clk=%d\n", interval_ns, t, byte_no(),
                 st_.clk);
            return;
        }
        if (in_border_window(st_.clk, interval_ns, cells)) {
            area().BRD++;
            diag(opts_, "  ** Border bits %d ns @ %d ms Byte=%04x clk=%d\n", interval_ns, t, byte_no(), st_.clk);
        }
        if (cells < 2 || cells > 4) {
            area().TMV++;
            diag(opts_, cells < 2 ? "  ** MFM violation: Short spacing %d ns @%d ms Byte=%04x clk=%d\n"
                                  : "  ** MFM violation: Long spacing %d ns @%d ms Byte=%04x clk=%d\n",
                 interval_ns, t, byte_no(), st_.clk);
        }
    }

    void byte_step() {
        layout_.byte_count++;
        const int t = time_us(layout_);

        if (st_.clk > kOverClockedNs) {
            area().over_clocked++;
            diag(opts_, "  ** Over clocked byte @ %d ms Byte=%04x clk=%d\n", t, byte_no(), st_.clk);
        } else if (st_.clk < kUnderClockedNs) {
            area().under_clocked++;
            diag(opts_, "  ** Under clocked byte @ %d ms Byte=%04x clk=%d\n", t, byte_no(), st_.clk);
        }

        // Inside a field the framing is kept unless the user asked to follow sync marks there too.
        SyncSearch sync{false, 0};
        if (!is_field(st_.kind) || opts_.look_for_sync) sync = find_sync(shifter_);
        shifter_.synced = sync.found ? 1 : 0;
        shifter_.sync_pos = sync.pos;

        shifter_.next_byte();
        const uint8_t data = shifter_.data;
        const bool is_sync = sync.found;

        if (is_sync) sync_mark(data, sync.pos, t);

        bool gap2_opened_here = false;
        if (is_gap_before_sync_zone(st_.kind) && (data == 0x00 || data == 0xFF)) {
            close_area(st_, layout_);
            st_.kind = AreaKind::GAP2;
            gap2_opened_here = true;
        }

        if ((st_.sync_count == 1 || st_.sync_count == 2) && !is_sync) {
            diag(opts_, "  ** Short Synch sequence only %d found @%d Byte %04x\n", st_.sync_count, t, byte_no() - 1);
            layout_.synch_bad++;
            area().BS++;
            st_.sync_count = 0;
        }

        if (is_field(st_.kind)) {
            field_byte(data);
        } else {
            gap_byte(data, is_sync, gap2_opened_here, t);
        }

        buffer_.append(DecodedByte{data, shifter_.clock, st_.clk, layout_.byte_start_ns});
        st_.crc = crc_ccitt_byte(st_.crc, data);
        layout_.byte_start_ns = layout_.total_ns;
    }

    void sync_mark(uint8_t data, uint16_t pos, int t) {
        st_.sync_count++;
        if (st_.sync_count >= 2 && data != st_.last_sync) {
            area().BS++;
            st_.sync_count = 1;
            diag(opts_, "  ** Bad Synch Byte sequence: %02x followed by %02x @%d Byte=%04x\n", st_.last_sync, data, t,
                 byte_no() - 1);
        }
        if (st_.sync_count == 1 && data == 0xA1) st_.crc = 0xFFFF;
        diag(opts_, "  ++ $%02x Synch Byte %s @%d Byte=%04x\n", data, (pos & 1) ? "advance by half-bit " : "", t,
             byte_no() - 1);
        if (st_.sync_count > 3) {
            diag(opts_, "  ++ Long synch seq (%d) of $%02x Synch Byte @%d Byte=%04x\n", st_.sync_count, data, t,
                 byte_no() - 1);
            if (st_.sync_count == 4) {
                layout_.synch_bad++;
                area().BS++;
            }
        }
        st_.last_sync = data;
    }

    void field_byte(uint8_t data) {
        st_.countdown--;
        SectorSlot& s = slot();
        if (st_.kind == AreaKind::ID) {
            switch (st_.countdown) {
                case 6: s.T = data; break;
                case 5: s.H = data; break;
                case 4: s.S = data; break;
                case 3: s.Z = data; break;
                case 2: s.id_crc = data; break;
                case 1: s.id_crc = static_cast<uint16_t>(s.id_crc * 256u + data); break;
                case 0:
                    if (st_.crc != 0) layout_.id_bad++; else layout_.id_good++;
                    close_area(st_, layout_);
                    st_.kind = AreaKind::GAP3;
                    break;
                default: break;
            }
        } else {
            switch (st_.countdown) {
                case 2: s.data_crc = data; break;
                case 1: s.data_crc = static_cast<uint16_t>(s.data_crc * 256u + data); break;
                case 0:
                    if (st_.crc != 0) layout_.data_bad++; else layout_.data_good++;
                    close_area(st_, layout_);
                    st_.kind = AreaKind::GAP4;
                    break;
                default: break;
            }
        }
        // Sync patterns hiding inside a field are counted even when the framing ignores them.
        if (find_sync(shifter_).found) area().BS++;
    }

    void gap_byte(uint8_t data, bool is_sync, bool gap2_opened_here, int t) {
        if (st_.kind == AreaKind::IAM) {
            close_area(st_, layout_);
            st_.kind = AreaKind::GAP1a;
        }
        if (data >= 0xF5 && data <= 0xF7) area().IDG++;
        if (st_.sync_count < kMarksForAddressMark || is_sync) return;

        // A field met with no sync zone of its own (an ID mark FF opens a GAP2 in this very
        // byte) would otherwise land in slot 0 or in the previous sector's slot.
        const bool met_in_gap = is_gap_before_sync_zone(st_.kind) || gap2_opened_here;
        switch (data) {
            case 0xFC:
            case 0xFD:
                layout_.synch_good++;
                if (st_.kind == AreaKind::GAP2) gap2_becomes_iam(st_, layout_);
                st_.kind = AreaKind::IAM;
                st_.sync_count = 0;
                break;
            case 0xFE:
            case 0xFF: {
                // After a GAP3 the previous sector had no DATA field; the ID begins the next one.
                // A GAP2 advances the slot itself when it is closed.
                const bool next_sector = st_.kind == AreaKind::GAP3 || met_in_gap;
                close_area(st_, layout_);
                if (next_sector) advance_slot(st_);
                layout_.synch_good++;
                st_.sync_count = 0;
                st_.countdown = 7;
                st_.kind = AreaKind::ID;
                break;
            }
            case 0xF8:
            case 0xF9:
            case 0xFA:
            case 0xFB:
                st_.countdown = sector_size(slot().Z) + 3;
                st_.sync_count = 0;
                close_area(st_, layout_);
                if (met_in_gap) advance_slot(st_);
                layout_.synch_good++;
                st_.kind = AreaKind::DATA;
                break;
            default:
                diag(opts_, "  ** Invalid $%02x byte (not an AM) after 3 Synch mark @%d\n", data, t);
                layout_.synch_bad++;
                st_.sync_count = 0;
                break;
        }
    }

    void end_of_revolution() {
        buffer_.append(DecodedByte{shifter_.data, shifter_.clock, st_.clk, layout_.total_ns});
        layout_.byte_count++;
        close_area(st_, layout_);
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
                gap4.TMV = static_cast<uint16_t>(gap4.TMV + gap2.TMV);
                gap4.BRD = static_cast<uint16_t>(gap4.BRD + gap2.BRD);
                gap4.BS = static_cast<uint16_t>(gap4.BS + gap2.BS);
                break;
            }
            default: break;
        }
    }

    TrackLayout& layout_;
    ByteBuffer& buffer_;
    const RunOptions& opts_;
    DecoderState st_{};
    PllState pll_{};
    MfmShifter shifter_{};
    std::optional<TrackPlot> plot_;
};

}  // namespace

void init_track_layout(TrackLayout& layout) {
    layout = TrackLayout{};
    layout.slots.assign(TrackLayout::kInitialSlots, SectorSlot{});
    layout.slots[0].used = 1;
}

void close_area(DecoderState& state, TrackLayout& layout) {
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
        a.crc = state.crc;
        slot.used = 1;
    }
}

void decode_track(TrackLayout& layout, FluxCursor& cursor, uint8_t revolution, ByteBuffer& buffer,
                  const RunOptions& opts) {
    TrackDecoder(layout, buffer, opts).run(cursor, revolution);
}

}  // namespace quen
