#include "sector/sector.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "decode/flux_reader.h"
#include "decode/marks.h"
#include "sector/sector_plot.h"

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
constexpr const char* kPassFailedLine = "Sector %d pass=%d did not read correctly ???\n";

// A data mark further into the area than this belongs to no ID field.
constexpr uint16_t kMaxDataMarkDistance = 43;
// The ID field may come this many percent before where the locator saw it.
constexpr uint32_t kPositionTolerancePercent = 5;
// Revolutions are numbered in 8 bits.
constexpr uint32_t kMaxRevolution = 255;

// Whether an ID field starting at start_ns may be the wanted one: it may come a little
// before where the locator saw it.
bool may_be_wanted(uint32_t start_ns, uint32_t expected_ns) {
    return !(start_ns + start_ns * kPositionTolerancePercent / 100 < expected_ns);
}

// A decoding's state before a byte (or, at the end of the approach, before the next
// interval), as far as it can differ from the initial one before the wanted ID field.
struct ApproachPoint {
    uint32_t mark_ns;  // start of the ID mark byte that follows
    bool in_bytes;     // taken up at a byte of an interval already read
    FluxReader reader;
    AreaInfo gap2;
    uint32_t noflux_ns;
    uint32_t byte_count;
    int64_t intervals_left;
    ByteMarks byte_marks;
    size_t diag_bytes;  // diagnostic text written before this point
    bool text_whole;    // all of it is kept: none was left out for the run's limit
};

}  // namespace

// The approach of one revolution: the points where the sector decodes of the run's
// expected positions take it up, found by one decoding that wants no sector.
class RevolutionApproach {
public:
    // `expected_ns` sorted.
    RevolutionApproach(const std::vector<uint32_t>& expected_ns, const RunOptions& opts)
        : expected_(expected_ns), verbose_(opts.verbose) {
        if (verbose_) diag_ = open_memstream(&diag_text_, &diag_size_);
        capture_failed_ = verbose_ && diag_ == nullptr;
    }
    ~RevolutionApproach() {
        if (diag_ != nullptr) std::fclose(diag_);
        std::free(diag_text_);
    }
    RevolutionApproach(const RevolutionApproach&) = delete;
    RevolutionApproach& operator=(const RevolutionApproach&) = delete;

    FILE* diag() const { return diag_; }
    // Without room for the text the decodings must write it themselves, from the index.
    bool capture_failed() const { return capture_failed_; }
    size_t diag_bytes() const { return diag_ != nullptr ? static_cast<size_t>(std::ftell(diag_)) : 0; }
    // The text kept once the approach is read.
    size_t kept_bytes() const { return diag_text_ != nullptr ? diag_size_ : 0; }
    // How far the kept text is whole: up to the end of the line that reached the limit
    // it was kept within, or all of it.
    uint64_t whole_bytes() const { return whole_bytes_; }
    void set_whole_bytes(uint64_t n) { whole_bytes_ = n; }

    void before_byte(const ApproachPoint& p) { pending_.emplace(p); }

    // Keeps the point before this mark when it is the first that may be the wanted one
    // for some expected position; true once every expected position has its point.
    bool at_id_mark(uint32_t mark_ns) {
        bool needed = false;
        while (resolved_ < expected_.size() && may_be_wanted(mark_ns, expected_[resolved_])) {
            ++resolved_;
            needed = true;
        }
        if (needed) {
            pending_->mark_ns = mark_ns;
            points_.push_back(*pending_);
        }
        return resolved_ == expected_.size();
    }

    void finish(std::optional<ApproachPoint> end) {
        end_ = std::move(end);
        if (diag_ != nullptr) {
            std::fclose(diag_);
            diag_ = nullptr;
        }
        pending_.reset();
    }

    // Where the decoding for expected_ns begins, or null when it must read from the index.
    const ApproachPoint* start_for(uint32_t expected_ns) const {
        if (!std::binary_search(expected_.begin(), expected_.end(), expected_ns)) return nullptr;
        for (const ApproachPoint& p : points_) {
            if (may_be_wanted(p.mark_ns, expected_ns)) return &p;
        }
        return end_ ? &*end_ : nullptr;
    }

    void replay_diag(const ApproachPoint& p, FluxReader& reader) const {
        if (diag_text_ != nullptr) reader.replay(diag_text_, p.diag_bytes);
    }

    // Once the run may write no more diagnostic lines, the text kept for them goes.
    void drop_diag_text() {
        std::free(diag_text_);
        diag_text_ = nullptr;
    }

private:
    const std::vector<uint32_t>& expected_;
    bool verbose_;
    bool capture_failed_ = false;
    FILE* diag_ = nullptr;
    char* diag_text_ = nullptr;
    size_t diag_size_ = 0;
    size_t resolved_ = 0;
    uint64_t whole_bytes_ = UINT64_MAX;
    std::optional<ApproachPoint> pending_;
    std::vector<ApproachPoint> points_;
    std::optional<ApproachPoint> end_;
};

namespace {

struct SectorDecoder {
    SectorDecoder(SectorLayout& layout, ByteBuffer& buffer, SeparatorRun& run, const RunOptions& opts, uint8_t wanted,
                  uint32_t expected_ns)
        : layout(layout), buffer(buffer), opts(opts), reader(run, opts, kSectorTexts), wanted(wanted),
          expected_ns(expected_ns) {}

    AreaInfo& current() { return layout.area(state); }

    bool run(const ApproachPoint* from = nullptr, const RevolutionApproach* source = nullptr) {
        intervals_left = reader.run->revolution_intervals();
        layout = SectorLayout{};
        buffer.clear();
        if (opts.plot && !open_sector_plots(plots, opts, wanted)) return false;
        if (from != nullptr) {
            source->replay_diag(*from, reader);
            resume(*from);
            if (from->in_bytes) finish_interval();
        }
        read_on();
        return finish();
    }

    void read_on() {
        // Inside an ID or DATA field the end of the revolution does not stop the
        // decoding; once behind the index only the sector's own end does.
        while (!done && !(intervals_left == 0 && !is_field(state)) && !reader.at_end()) {
            reader.read_interval();
            if (plots.trans.is_open() && wanted_found) {
                write_trans_line(plots.trans.get(), reader.total_ns, reader.clk, reader.interval_ns, reader.cells);
            }
            if (wanted_found && state == AreaKind::GAP2) break;
            reader.shifter.push_cells(reader.cells);
            const IntervalFault fault = reader.check_interval(current(), static_cast<uint16_t>(byte_count));
            if (fault == IntervalFault::kNoFlux) layout.noflux_ns = reader.total_ns;
            if (fault != IntervalFault::kNone) byte_marks.flux_fault = true;
            finish_interval();
        }
    }

    void finish_interval() {
        while (reader.shifter.count >= 16) byte_step();
        --intervals_left;
    }

    // Before the wanted sector's ID field can be met, the decoding is the same whatever
    // sector is wanted: it stays in the gap and keeps nothing. The approach of a
    // revolution is that part, read once; a decoding takes it up where its own begins.
    ApproachPoint here(uint32_t mark_ns, bool in_bytes) const {
        const bool text_whole = reader.diag == nullptr || reader.budget == nullptr || !reader.budget->diag_spent();
        return {mark_ns,    in_bytes,       reader,           layout.area(AreaKind::GAP2), layout.noflux_ns,
                byte_count, intervals_left, byte_marks,       approach->diag_bytes(),      text_whole};
    }

    void resume(const ApproachPoint& p) {
        FILE* own_diag = reader.diag;
        WorkBudget* own_budget = reader.budget;
        reader = p.reader;
        reader.diag = own_diag;
        reader.budget = own_budget;
        layout.area(AreaKind::GAP2) = p.gap2;
        layout.noflux_ns = p.noflux_ns;
        byte_count = p.byte_count;
        intervals_left = p.intervals_left;
        byte_marks = p.byte_marks;
    }

    void byte_step() {
        // Only a byte after a synch run can be an address mark: taking a byte leaves the
        // run's count as it is unless the byte is a synch byte itself.
        if (approach != nullptr && reader.sync_count >= marks::kSynchRunForMark) approach->before_byte(here(0, true));
        ++byte_count;
        if (intervals_left <= 0) ++doi_count;
        const uint32_t time_us = reader.byte_start_ns / 1000;
        const auto byte16 = static_cast<uint16_t>(byte_count);
        reader.check_clock(current(), time_us, byte16);
        const TakenByte taken = reader.take_byte(!is_field(state), current(), time_us, byte16);
        if (taken.synch_fault) byte_marks.synch_fault = true;

        const uint8_t b = reader.data();
        if (state == AreaKind::GAP4 && marks::opens_sync_zone(b)) {
            close_area(reader.byte_start_ns);
            begin_area(AreaKind::GAP2);
        }
        if (reader.check_short_run(taken, current(), time_us, byte16)) byte_marks.synch_fault = true;

        if (is_field(state)) {
            field_byte(b);
            // A synch pattern inside a field does not re-align it; it only counts.
            if (find_sync(reader.shifter).found) ++current().BS;
        } else {
            if (marks::is_gap_mark(b)) {
                ++current().IDG;
                byte_marks.gap_mark = true;
            }
            if (reader.sync_count >= marks::kSynchRunForMark && !taken.sync) address_mark(b, time_us);
        }

        if (plots.bytes.is_open() && wanted_found) {
            const MfmShifter& s = reader.shifter;
            write_sector_byte_line(plots.bytes.get(), reader.byte_start_ns, reader.total_ns, s.data, s.clock,
                                   s.window, reader.clk, byte_marks, reader.sync_count);
        }
        byte_marks = ByteMarks{};
        if (kept_in_buffer()) buffer.append(reader.decoded());
        reader.finish_byte();
    }

    bool kept_in_buffer() const {
        if (state == AreaKind::DATA) return true;
        return opts.sector_all_areas && state != AreaKind::GAP2;
    }

    void address_mark(uint8_t b, uint32_t time_us) {
        const uint32_t start = reader.byte_start_ns;
        if (marks::is_id_mark(b)) {
            if (wanted_found) {
                // The next sector begins: the bytes already in the register are still
                // taken, then the decoding ends.
                done = true;
                reader.say("%s", kAnotherIdLine);
                return;
            }
            reader.sync_count = 0;
            if (approach != nullptr) {
                if (approach->at_id_mark(start)) done = true;
                return;
            }
            if (!may_be_wanted(start, expected_ns)) return;
            countdown = marks::kIdFieldBytes;
            area_start_byte = byte_count;
            state = AreaKind::ID;
            layout.area(AreaKind::ID).position_ns = start;
            return;
        }
        reader.sync_count = 0;
        if (marks::is_data_mark(b)) {
            const auto distance = static_cast<uint16_t>(byte_count - area_start_byte);
            if (!wanted_found || distance > kMaxDataMarkDistance) return;
            data_found = true;
            countdown = static_cast<uint16_t>(sector_size(layout.Z) + marks::kDataFieldExtraBytes);
            close_area(start);
            begin_area(AreaKind::DATA);
            return;
        }
        reader.say(kSkippingMarkLine, unsigned{b}, static_cast<int>(time_us));
    }

    void field_byte(uint8_t b) {
        --countdown;
        if (state == AreaKind::ID) {
            if (take_id_field_byte(layout, countdown, b)) {
                complete_field(AreaKind::GAP3);
            } else if (countdown == kIdSectorByteLeft) {
                if (b == wanted) {
                    wanted_found = true;
                } else {
                    // Another sector: what was kept of its ID field goes.
                    state = AreaKind::GAP2;
                    buffer.clear();
                }
            }
            return;
        }
        if (take_data_field_byte(layout, countdown, b)) complete_field(AreaKind::GAP4);
    }

    // The byte after the second CRC byte completes the field and starts the next area.
    void complete_field(AreaKind next) {
        current().crc = reader.crc;
        close_area(reader.byte_start_ns);
        begin_area(next);
    }

    void close_area(uint32_t end_ns) {
        AreaInfo& a = current();
        // Only an empty decoding has fewer bytes than the first area's start of 1.
        a.bytes = byte_count < area_start_byte ? 0 : static_cast<uint16_t>(byte_count - area_start_byte);
        a.length_ns = end_ns - a.position_ns;
    }

    void begin_area(AreaKind next) {
        state = next;
        current().position_ns = reader.byte_start_ns;
        area_start_byte = byte_count;
    }

    bool finish() {
        if (opts.sector_all_areas) {
            layout.data_start =
                static_cast<uint16_t>(layout.area(AreaKind::ID).bytes + layout.area(AreaKind::GAP3).bytes);
        }
        close_area(reader.total_ns);
        layout.has_data = (data_found && wanted_found) ? 1 : 0;
        layout.DOI = static_cast<uint16_t>(doi_count);
        if (plots.trans.close()) plots.bytes.close();
        return wanted_found;
    }

    SectorLayout& layout;
    ByteBuffer& buffer;
    const RunOptions& opts;
    FluxReader reader;
    SectorPlotFiles plots;
    const uint8_t wanted;
    const uint32_t expected_ns;

    AreaKind state = AreaKind::GAP2;
    uint32_t byte_count = 0;
    uint32_t area_start_byte = 1;
    uint16_t countdown = 0;
    int64_t intervals_left = 0;
    bool wanted_found = false;
    bool data_found = false;
    bool done = false;
    uint32_t doi_count = 0;
    ByteMarks byte_marks;
    // Set on a decoder that only records where the sector decodes of its revolution may start.
    RevolutionApproach* approach = nullptr;
};

// The first position of the DATA field at which a pass read differently; entries the
// pass did not decode count as different, entries the sector itself lacks end the comparison.
std::optional<uint16_t> first_difference(const SectorLayout& own, const ByteBuffer& own_buffer,
                                         const ByteBuffer& pass_buffer) {
    const uint32_t n = own.area(AreaKind::DATA).bytes;
    const uint32_t k = own.data_start;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t at = k + i;
        if (at >= own_buffer.count) return std::nullopt;
        if (at >= pass_buffer.count || own_buffer.entries[at].data != pass_buffer.entries[at].data) {
            return static_cast<uint16_t>(i);
        }
    }
    return std::nullopt;
}

// Returns the intervals the scan read. The scan keeps at most `text_room` bytes of
// diagnostic text (and the line that crosses it); a decoding that would need more starts
// from the index instead.
uint32_t scan_approach(RevolutionApproach& approach, SeparatorRun& run, const RunOptions& opts, uint64_t text_room) {
    RunOptions scan_opts = opts;
    scan_opts.plot = false;
    scan_opts.diag_out = approach.diag();
    WorkBudget text_limit(UINT64_MAX, text_room);
    scan_opts.budget = &text_limit;
    SectorLayout layout;
    ByteBuffer buffer;
    SectorDecoder decoder(layout, buffer, run, scan_opts, 0, 0);
    decoder.approach = &approach;
    decoder.intervals_left = run.revolution_intervals();
    decoder.read_on();
    if (text_limit.diag_spent()) approach.set_whole_bytes(text_limit.diag_used());
    std::optional<ApproachPoint> end;
    if (!decoder.done) end.emplace(decoder.here(0, false));
    approach.finish(std::move(end));
    return decoder.reader.next;
}

}  // namespace

SectorPasses::SectorPasses(SeparatorRuns& runs, std::vector<uint32_t> expected_positions_ns)
    : runs_(runs), expected_(std::move(expected_positions_ns)) {
    std::sort(expected_.begin(), expected_.end());
    expected_.erase(std::unique(expected_.begin(), expected_.end()), expected_.end());
}

SectorPasses::~SectorPasses() = default;

bool SectorPasses::decode(uint8_t revolution, SectorLayout& layout, uint8_t wanted_sector, uint32_t expected_pos_ns,
                          ByteBuffer& buffer, const RunOptions& opts) {
    SeparatorRun& run = runs_.from(revolution);
    SectorDecoder decoder(layout, buffer, run, opts, wanted_sector, expected_pos_ns);
    if (expected_.empty()) {
        const bool found = decoder.run();
        if (opts.budget != nullptr) opts.budget->charge_intervals(decoder.reader.next);
        return found;
    }
    if (!texts_dropped_ && opts.budget != nullptr && opts.budget->diag_spent()) {
        for (auto& a : approaches_) {
            if (a) a->drop_diag_text();
        }
        texts_dropped_ = true;
    }
    std::unique_ptr<RevolutionApproach>& approach = approaches_[revolution];
    if (!approach) {
        // Once no more diagnostic lines may be written, none are kept for replay either.
        RunOptions scan_opts = opts;
        if (opts.budget != nullptr && opts.budget->diag_spent()) scan_opts.verbose = false;
        approach = std::make_unique<RevolutionApproach>(expected_, scan_opts);
        // The texts of all revolutions together stay within what the run may still write.
        const uint64_t room = opts.budget != nullptr ? opts.budget->diag_room_to_keep() : UINT64_MAX;
        const uint32_t read = scan_approach(*approach, run, scan_opts, room);
        if (opts.budget != nullptr) {
            opts.budget->keep_diag(approach->kept_bytes());
            opts.budget->charge_intervals(read);
        }
    }
    const ApproachPoint* from = approach->capture_failed() ? nullptr : approach->start_for(expected_pos_ns);
    // Text left out of the approach for the limit must still be written when the run may
    // write it: that decoding reads its revolution from the index and writes its own lines.
    // A replay stops at the line that reaches the run's limit, so while that line lies in
    // the whole part of the text, the replay writes the same.
    const bool replay_whole = from == nullptr || from->text_whole ||
                              (opts.budget != nullptr && opts.budget->diag_left() <= approach->whole_bytes());
    if (!replay_whole) from = nullptr;
    const bool found = decoder.run(from, approach.get());
    if (opts.budget != nullptr) opts.budget->charge_intervals(decoder.reader.next - (from ? from->reader.next : 0));
    return found;
}

bool analyse_sector(SectorLayout& layout, ByteBuffer& buffer, SectorPasses& passes, uint8_t revolution,
                    uint8_t wanted_sector, uint32_t expected_pos_ns, const RunOptions& opts) {
    PlotFile layout_plot;
    if (opts.plot) {
        layout_plot = open_sector_layout_plot(opts, wanted_sector);
        if (layout_plot.failed()) return false;
    }

    const bool found = passes.decode(revolution, layout, wanted_sector, expected_pos_ns, buffer, opts);
    // A plot file of the decoding failed: the run ends without another line.
    if (opts.stop != nullptr && opts.stop->stopped) return false;
    if (!found) {
        layout_plot.close();
        return false;
    }
    if (passes.reading_sink) passes.reading_sink(revolution, layout, buffer);

    // The other revolutions are read only to compare their data: they write no plot files.
    RunOptions pass_opts = opts;
    pass_opts.plot = false;
    ByteBuffer& pass_buffer = passes.pass_buffer;
    SectorLayout& pass_layout = passes.pass_layout;
    const uint32_t index_count = passes.stream()->index_count;
    for (uint32_t l = 0; l + 2 < index_count && l <= kMaxRevolution; ++l) {
        if (l == revolution) continue;
        if (opts.budget != nullptr && !opts.budget->passes_left()) {
            ++passes.skipped;
            continue;
        }
        if (!passes.decode(static_cast<uint8_t>(l), pass_layout, wanted_sector, expected_pos_ns, pass_buffer,
                           pass_opts)) {
            std::fprintf(opts.err_out, kPassFailedLine, int{wanted_sector}, static_cast<int>(l));
            continue;
        }
        if (passes.reading_sink) passes.reading_sink(static_cast<uint8_t>(l), pass_layout, pass_buffer);
        // The last pass that differs decides.
        if (const auto pos = first_difference(layout, buffer, pass_buffer)) layout.FZP = *pos;
    }

    if (layout_plot.is_open()) {
        if (layout.has_data == 1) write_sector_layout_lines(layout_plot.get(), layout);
        layout_plot.close();
    }
    return true;
}

}  // namespace quen
