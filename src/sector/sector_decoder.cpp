#include "sector/sector_decoder.h"

#include <algorithm>

#include "decode/marks.h"
#include "decode/plot.h"

namespace quen {
namespace {

const FluxTexts kSectorTexts = {
    "  ** No Flux Transition Area %d ns @ %d ms Byte=%04x clk=%d\n",
    "  ** border bits %d ns @%d ms Byte=%04x clk=%d\n",
    "  ** MFM violation: Short spacing %d ns @ %d ms Byte=%04x clk=%d\n",
    "  ** MFM violation: Long spacing %d ns @ %d ms Byte=%04x clk=%d\n",
    "  ** Short Synch sequence only %d found @%d Byte %04x\n",
};

constexpr const char* kAnotherIdLine = "Another ID found => no DATA block\n";
constexpr const char* kSkippingMarkLine = "  ** Skipping invalid AM $%02x byte after 3 Synch mark @%d\n";

// A data mark further into the area than this belongs to no ID field.
constexpr uint16_t kMaxDataMarkDistance = 43;

}  // namespace

SectorDecoder::SectorDecoder(SectorLayout& layout, ByteBuffer& buffer, SeparatorRun& run, const RunOptions& opts,
                             DiagSink diag, SectorPlots plots, uint8_t wanted, uint32_t expected_ns)
    : layout_(layout), buffer_(buffer), opts_(opts), reader_(run, diag, kSectorTexts), plot_choice_(plots),
      wanted_(wanted), expected_ns_(expected_ns) {}

bool SectorDecoder::run(const ApproachPoint* from, const RevolutionApproach* source) {
    intervals_left_ = reader_.run().revolution_intervals();
    layout_ = SectorLayout{};
    buffer_.clear();
    if (plot_choice_ == SectorPlots::kWritten && opts_.plot && !open_sector_plots(plots_, opts_, wanted_)) return false;
    if (from != nullptr) {
        source->replay_diag(*from, reader_.diag);
        resume(*from);
        if (from->in_bytes) finish_interval();
    }
    read_on();
    return finish();
}

std::optional<ApproachPoint> SectorDecoder::read_approach(RevolutionApproach& approach) {
    approach_ = &approach;
    intervals_left_ = reader_.run().revolution_intervals();
    read_on();
    if (done_) return std::nullopt;
    return here(0, false);
}

void SectorDecoder::read_on() {
    // Inside an ID or DATA field the end of the revolution does not stop the
    // decoding; once behind the index only the sector's own end does.
    while (!done_ && !(intervals_left_ == 0 && !is_field(state_))) {
        const bool traced = plots_.trans.is_open() && wanted_found_;
        if (wanted_found_ && state_ == AreaKind::GAP2) {
            // The sector is complete: the interval is read, and traced, but not decoded.
            if (reader_.at_end()) break;
            reader_.read_interval();
            if (traced) trace_interval();
            break;
        }
        // Only a byte changes the state, and a reading stops at each byte; the trace
        // wants every interval.
        uint32_t limit = FluxReader::kNoLimit;
        if (traced) {
            limit = 1;
        } else if (!is_field(state_) && intervals_left_ > 0) {
            limit = static_cast<uint32_t>(std::min<int64_t>(intervals_left_, FluxReader::kNoLimit));
        }
        const uint32_t read = reader_.read_intervals(limit);
        if (read == 0) break;
        intervals_left_ -= read - 1;
        if (traced) trace_interval();
        const IntervalFault fault = reader_.check_interval(current(), static_cast<uint16_t>(byte_count_));
        if (fault == IntervalFault::kNoFlux) layout_.noflux_ns = reader_.total_ns;
        if (fault != IntervalFault::kNone) byte_marks_.flux_fault = true;
        finish_interval();
    }
}

void SectorDecoder::trace_interval() {
    write_trans_line(plots_.trans.get(), reader_.total_ns, reader_.clk, reader_.interval_ns, reader_.cells);
}

void SectorDecoder::finish_interval() {
    while (reader_.shifter.count >= 16) byte_step();
    --intervals_left_;
}

// Before the wanted sector's ID field can be met, the decoding is the same whatever
// sector is wanted: it stays in the gap and keeps nothing. The approach of a
// revolution is that part, read once; a decoding takes it up where its own begins.
ApproachPoint SectorDecoder::here(uint32_t mark_ns, bool in_bytes) const {
    return {mark_ns,         in_bytes,        reader_,     layout_.area(AreaKind::GAP2), layout_.noflux_ns,
            byte_count_,     intervals_left_, byte_marks_, approach_->diag_bytes(),      !reader_.diag.spent()};
}

void SectorDecoder::resume(const ApproachPoint& p) {
    reader_.take_up(p.reading);
    layout_.area(AreaKind::GAP2) = p.gap2;
    layout_.noflux_ns = p.noflux_ns;
    byte_count_ = p.byte_count;
    intervals_left_ = p.intervals_left;
    byte_marks_ = p.byte_marks;
}

void SectorDecoder::byte_step() {
    // Only a byte after a synch run can be an address mark: taking a byte leaves the
    // run's count as it is unless the byte is a synch byte itself.
    if (approach_ != nullptr && reader_.sync_count >= marks::kSynchRunForMark) before_mark_byte();
    ++byte_count_;
    if (intervals_left_ <= 0) ++doi_count_;
    const uint32_t time_us = reader_.byte_start_ns / 1000;
    const auto byte16 = static_cast<uint16_t>(byte_count_);
    reader_.check_clock(current(), time_us, byte16);
    const TakenByte taken = reader_.take_byte(!is_field(state_), current(), time_us, byte16);
    if (taken.synch_fault) byte_marks_.synch_fault = true;

    const uint8_t b = reader_.data();
    if (state_ == AreaKind::GAP4 && marks::opens_sync_zone(b)) {
        close_area(reader_.byte_start_ns);
        begin_area(AreaKind::GAP2);
    }
    if (reader_.check_short_run(taken, current(), time_us, byte16)) byte_marks_.synch_fault = true;

    if (is_field(state_)) {
        field_byte(b);
        // A synch pattern inside a field does not re-align it; it only counts.
        if (find_sync(reader_.shifter).found) ++current().BS;
    } else {
        if (marks::is_gap_mark(b)) {
            ++current().IDG;
            byte_marks_.gap_mark = true;
        }
        if (reader_.sync_count >= marks::kSynchRunForMark && !taken.sync) address_mark(b, time_us);
    }

    if (plots_.bytes.is_open() && wanted_found_) trace_byte();
    byte_marks_ = ByteMarks{};
    if (kept_in_buffer()) buffer_.append(reader_.decoded());
    reader_.finish_byte();
}

void SectorDecoder::before_mark_byte() { approach_->before_byte(here(0, true)); }

void SectorDecoder::trace_byte() {
    const MfmShifter& s = reader_.shifter;
    write_sector_byte_line(plots_.bytes.get(), reader_.byte_start_ns, reader_.total_ns, s.data, s.clock, s.window,
                           reader_.clk, byte_marks_, reader_.sync_count);
}

bool SectorDecoder::kept_in_buffer() const {
    if (state_ == AreaKind::DATA) return true;
    return opts_.sector_all_areas && state_ != AreaKind::GAP2;
}

void SectorDecoder::address_mark(uint8_t b, uint32_t time_us) {
    const uint32_t start = reader_.byte_start_ns;
    if (marks::is_id_mark(b)) {
        if (wanted_found_) {
            // The next sector begins: the bytes already in the register are still
            // taken, then the decoding ends.
            done_ = true;
            reader_.say("%s", kAnotherIdLine);
            return;
        }
        reader_.end_sync_run();
        if (approach_ != nullptr) {
            if (approach_->at_id_mark(start)) done_ = true;
            return;
        }
        if (!may_be_wanted(start, expected_ns_)) return;
        countdown_ = marks::kIdFieldBytes;
        area_start_byte_ = byte_count_;
        state_ = AreaKind::ID;
        layout_.area(AreaKind::ID).position_ns = start;
        return;
    }
    reader_.end_sync_run();
    if (marks::is_data_mark(b)) {
        const auto distance = static_cast<uint16_t>(byte_count_ - area_start_byte_);
        if (!wanted_found_ || distance > kMaxDataMarkDistance) return;
        data_found_ = true;
        countdown_ = static_cast<uint16_t>(sector_size(layout_.Z) + marks::kDataFieldExtraBytes);
        close_area(start);
        begin_area(AreaKind::DATA);
        return;
    }
    reader_.say(kSkippingMarkLine, unsigned{b}, static_cast<int>(time_us));
}

void SectorDecoder::field_byte(uint8_t b) {
    --countdown_;
    if (state_ == AreaKind::ID) {
        if (take_id_field_byte(layout_, countdown_, b)) {
            complete_field(AreaKind::GAP3);
        } else if (countdown_ == kIdSectorByteLeft) {
            if (b == wanted_) {
                wanted_found_ = true;
            } else {
                // Another sector: what was kept of its ID field goes.
                state_ = AreaKind::GAP2;
                buffer_.clear();
            }
        }
        return;
    }
    if (take_data_field_byte(layout_, countdown_, b)) complete_field(AreaKind::GAP4);
}

// The byte after the second CRC byte completes the field and starts the next area.
void SectorDecoder::complete_field(AreaKind next) {
    current().crc = reader_.crc;
    close_area(reader_.byte_start_ns);
    begin_area(next);
}

void SectorDecoder::close_area(uint32_t end_ns) {
    AreaInfo& a = current();
    // Only an empty decoding has fewer bytes than the first area's start of 1.
    a.bytes = byte_count_ < area_start_byte_ ? 0 : static_cast<uint16_t>(byte_count_ - area_start_byte_);
    a.length_ns = end_ns - a.position_ns;
}

void SectorDecoder::begin_area(AreaKind next) {
    state_ = next;
    current().position_ns = reader_.byte_start_ns;
    area_start_byte_ = byte_count_;
}

bool SectorDecoder::finish() {
    if (opts_.sector_all_areas) {
        layout_.data_start =
            static_cast<uint16_t>(layout_.area(AreaKind::ID).bytes + layout_.area(AreaKind::GAP3).bytes);
    }
    close_area(reader_.total_ns);
    layout_.has_data = (data_found_ && wanted_found_) ? 1 : 0;
    layout_.DOI = static_cast<uint16_t>(doi_count_);
    if (plots_.trans.close()) plots_.bytes.close();
    return wanted_found_;
}

}  // namespace quen
