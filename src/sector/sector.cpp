#include "sector/sector.h"

#include <algorithm>

#include "sector/approach.h"
#include "sector/fuzzy.h"
#include "sector/sector_plot.h"

namespace quen {
namespace {

constexpr const char* kPassFailedLine = "Sector %d pass=%d did not read correctly ???\n";

// Returns the intervals the scan read. The scan keeps at most `text_room` bytes of
// diagnostic text (and the line that crosses it); a decoding that would need more starts
// from the index instead.
uint32_t scan_approach(RevolutionApproach& approach, SeparatorRun& run, const RunOptions& opts, uint64_t text_room) {
    WorkBudget text_limit({UINT64_MAX, text_room});
    SectorLayout layout;
    ByteBuffer buffer;
    SectorDecoder decoder(layout, buffer, run, opts, approach.diag(text_limit), SectorPlots::kNone, 0, 0);
    std::optional<ApproachPoint> end = decoder.read_approach(approach);
    if (text_limit.diag_spent()) approach.set_whole_bytes(text_limit.diag_used());
    approach.finish(std::move(end));
    return decoder.intervals_read();
}

}  // namespace

SectorPasses::SectorPasses(SeparatorRuns& runs, std::vector<uint32_t> expected_positions_ns)
    : runs_(runs), expected_(std::move(expected_positions_ns)) {
    std::sort(expected_.begin(), expected_.end());
    expected_.erase(std::unique(expected_.begin(), expected_.end()), expected_.end());
}

SectorPasses::~SectorPasses() = default;

bool SectorPasses::decode(uint8_t revolution, SectorLayout& layout, uint8_t wanted_sector, uint32_t expected_pos_ns,
                          ByteBuffer& buffer, const RunOptions& opts, SectorPlots plots) {
    SeparatorRun& run = runs_.from(revolution);
    SectorDecoder decoder(layout, buffer, run, opts, DiagSink::of(opts), plots, wanted_sector, expected_pos_ns);
    if (expected_.empty()) {
        const bool found = decoder.run();
        if (opts.budget != nullptr) opts.budget->charge_intervals(decoder.intervals_read());
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
        const bool keep_text = opts.verbose && !(opts.budget != nullptr && opts.budget->diag_spent());
        approach = std::make_unique<RevolutionApproach>(expected_, keep_text);
        // The texts of all revolutions together stay within what the run may still write.
        const uint64_t room = opts.budget != nullptr ? opts.budget->diag_room_to_keep() : UINT64_MAX;
        const uint32_t read = scan_approach(*approach, run, opts, room);
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
    if (opts.budget != nullptr) {
        opts.budget->charge_intervals(decoder.intervals_read() - (from ? from->reading.next : 0));
    }
    return found;
}

bool analyse_sector(SectorLayout& layout, ByteBuffer& buffer, SectorPasses& passes, uint8_t revolution,
                    uint8_t wanted_sector, uint32_t expected_pos_ns, const RunOptions& opts) {
    PlotFile layout_plot;
    if (opts.plot) {
        layout_plot = open_sector_layout_plot(opts, wanted_sector);
        if (layout_plot.failed()) return false;
    }

    const bool found =
        passes.decode(revolution, layout, wanted_sector, expected_pos_ns, buffer, opts, SectorPlots::kWritten);
    // A plot file of the decoding failed: the run ends without another line.
    if (opts.stop != nullptr && opts.stop->stopped) return false;
    if (!found) {
        layout_plot.close();
        return false;
    }
    if (passes.reading_sink) passes.reading_sink(revolution, layout, buffer);

    // The other revolutions are read only to compare their data: they write no plot files.
    ByteBuffer& pass_buffer = passes.pass_buffer;
    SectorLayout& pass_layout = passes.pass_layout;
    for (uint32_t l = 0; read_by_passes(*passes.stream(), l); ++l) {
        if (l == revolution) continue;
        if (opts.budget != nullptr && !opts.budget->passes_left()) {
            ++passes.skipped;
            continue;
        }
        if (!passes.decode(static_cast<uint8_t>(l), pass_layout, wanted_sector, expected_pos_ns, pass_buffer, opts,
                           SectorPlots::kNone)) {
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
