#include "driver/analysis.h"

#include <algorithm>
#include <bitset>
#include <ctime>
#include <memory>
#include <vector>

#include "base/files.h"
#include "base/names.h"
#include "decode/field_syncs.h"
#include "decode/flux_timing.h"
#include "decode/marks.h"
#include "decode/track.h"
#include "protect/checks.h"
#include "protect/prot.h"
#include "report/reports.h"
#include "sector/id_locator.h"
#include "sector/sector.h"

namespace quen {
namespace {

constexpr const char* kPassesSkippedLine =
    "Work budget spent - %u comparison passes skipped, fuzzy positions may be missed\n";

void print_banner(FILE* out) {
    std::time_t now = std::time(nullptr);
    std::tm tm_now{};
    if (now != static_cast<std::time_t>(-1) && localtime_r(&now, &tm_now) != nullptr) {
        char when[64];
        std::strftime(when, sizeof when, "%a %b %d %H:%M:%S %Y\n", &tm_now);
        std::fprintf(out, "%s (%s-%s) - run %s", kProgramName, __DATE__, __TIME__, when);
    } else {
        std::fprintf(out, "%s\n", kProgramName);
    }
}

void write_allsect_line(FILE* f, const SectorLayout& s) {
    const char* colour = s.FZP != 0 ? "orange" : (s.area(AreaKind::DATA).crc != 0 ? "red" : "blue");
    std::fprintf(f, "\"Sect %d\" %d %d %d %d %d %s\n", s.S, s.area(AreaKind::ID).position_ns / 1000,
                 s.area(AreaKind::ID).length_ns / 1000, s.area(AreaKind::GAP3).length_ns / 1000,
                 s.area(AreaKind::DATA).length_ns / 1000, s.area(AreaKind::GAP4).length_ns / 1000, colour);
}

void record_stream(RunFigures& f, const FluxCapture& stream) {
    f.revolutions = static_cast<int>(stream.index_count) - 1;
    f.rpm_avg = stream.rpm_avg;
    f.stream_info = stream.info;
}

// Where the track decoder found each sector's fields, taken while the track buffer is
// still there: a data field begins with its address mark, the byte that started where
// the field starts.
void record_placed(RunFigures& f, const TrackLayout& track, const ByteBuffer& track_buffer) {
    f.placed.clear();
    const auto first = track_buffer.entries.begin();
    const auto last = first + track_buffer.count;
    for_each_used_slot(track, [&](size_t i, const SectorSlot& slot) {
        const AreaInfo& id = slot.area(AreaKind::ID);
        const AreaInfo& data = slot.area(AreaKind::DATA);
        // A slot that holds only a trailing sync zone is no sector.
        if (i == 0 || (id.length_ns == 0 && data.length_ns == 0)) return;
        PlacedSectorFigure p{slot.S, {id.position_ns, id.length_ns}, {data.position_ns, data.length_ns},
                             id.length_ns != 0 && id.crc == 0, data.length_ns != 0 && data.crc == 0,
                             DataMark::kNormal};
        const auto mark = std::lower_bound(first, last, data.position_ns,
                                           [](const DecodedByte& b, uint32_t ns) { return b.position_ns < ns; });
        if (data.length_ns != 0 && mark != last && mark->position_ns == data.position_ns &&
            marks::is_deleted_data_mark(mark->data)) {
            p.mark = DataMark::kDeleted;
        }
        f.placed.push_back(p);
    });
}

// The track decoder's totals, as the track layout table counts them.
void record_track(RunFigures& f, const TrackLayout& track) {
    f.completed = true;
    f.track_bytes = track.byte_count - 1;
    f.track_ns = track.total_ns;
    f.id_good = track.id_good;
    f.id_bad = track.id_bad;
    f.data_good = track.data_good;
    f.data_bad = track.data_bad;
    f.synch_good = track.synch_good;
    f.synch_bad = track.synch_bad;
}

void record_list(RunFigures& f, const Prot_list& findings) {
    f.findings.clear();
    for (const ProtEntry* e = findings.head; e != nullptr; e = e->next) f.findings.push_back({e->type, e->S, e->value});
}

struct SectorEvidence {
    uint8_t data_mark = 0;
    FieldSyncs syncs;
};

void record_findings(RunFigures& f, const TrackLayout& track, const IdLayout& ids, const ByteBuffer& id_buffer,
                     const std::vector<SectorLayout>& sectors, const std::vector<SectorEvidence>& evidence,
                     const Prot_list& findings) {
    record_track(f, track);
    f.ids.clear();
    for (size_t i = 0; i < sectors.size(); ++i) {
        const auto field = [&](IdEntry which) { return id_byte(id_buffer, i, which); };
        f.ids.push_back({field(IdEntry::kTrack), field(IdEntry::kHead), field(IdEntry::kSector),
                         field(IdEntry::kSize), ids.ids[i].crc == 0});
    }
    f.sectors.clear();
    for (size_t i = 0; i < sectors.size(); ++i) {
        const SectorLayout& s = sectors[i];
        const SectorEvidence& e = evidence[i];
        f.sectors.push_back({s.S, s.area(AreaKind::ID).crc == 0, s.has_data != 0,
                             s.has_data != 0 && s.area(AreaKind::DATA).crc == 0, s.FZP, e.data_mark,
                             e.syncs.patterns, e.syncs.then_mark});
    }
    record_list(f, findings);
}

// The decoders and reports of one analysis, once its settings are checked.
class Pass {
public:
    Pass(SeparatorRuns& runs, const RunOptions& opts, FILE* report, RunFigures& figures, uint8_t detail,
         CaptureAnalysis::FieldFindings& fields)
        : runs_(runs), opts_(opts), stop_(*opts.stop), report_(report), figures_(figures), detail_(detail),
          fields_(fields) {}

    AnalysisEnd execute() {
        if (opts_.plot) {
            allsect_ = std::make_unique<OutputFile>(path_in(opts_.plot_dir, "allsect.dat"), Replace::kInPlace);
            if (!allsect_->is_open()) {
                std::fprintf(opts_.err_out, "Could not open sector layout file\n");
                figures_.failure = RunFailure::WriteFailed;
                return AnalysisEnd::Abnormal;
            }
        }
        analyse();
        if (stop_.stopped) {
            // A plot file that could not be created or written; its line is said.
            figures_.completed = false;
            figures_.failure = RunFailure::WriteFailed;
            return AnalysisEnd::WriteFailed;
        }
        // A full disk must not pass for a completed run.
        if (allsect_ && !allsect_->commit()) {
            std::fprintf(opts_.err_out, "Error writing file %s\n", shown_name(allsect_->path()).c_str());
            figures_.failure = RunFailure::WriteFailed;
            return AnalysisEnd::WriteFailed;
        }
        return AnalysisEnd::Completed;
    }

private:
    void analyse() {
        FILE* allsect = allsect_ ? allsect_->get() : nullptr;
        const uint8_t rev = opts_.revolution;
        Prot_list findings;

        TrackLayout track;
        {
            ByteBuffer track_buffer;  // the decoder sizes it from the revolution
            decode_track(track, runs_.from(rev), track_buffer, opts_);
            if (stop_.stopped) return;
            record_placed(figures_, track, track_buffer);
            if ((detail_ & kDetailTiming) != 0) {
                figures_.timing = std::make_shared<const FluxTiming>(summarise_flux_timing(runs_.from(rev)));
            }
            print_track_layout(report_, track);
            if (opts_.print_buffers) print_track_detail(report_, track, track_buffer, opts_);
        }
        check_track_protections(findings, track, opts_);
        const uint32_t first_field_finding = findings.added();
        // Sync patterns in fields are judged only where the track decoder met one.
        for (const ProtEntry* e = findings.head; e != nullptr; e = e->next) {
            if (e->type == static_cast<int32_t>(ProtType::SID) && e->S >= 0 && e->S < 256) syncs_wanted_.set(e->S);
        }

        IdLayout ids;
        ByteBuffer id_buffer(200);
        const uint8_t n = locate_ids(runs_.from(rev), ids, id_buffer, opts_);
        print_id_layout(report_, ids, id_buffer);
        if (opts_.print_buffers) print_id_buffer(report_, ids, id_buffer, opts_);
        check_id_protections(findings, ids, id_buffer);

        std::vector<uint32_t> expected_ns(n);
        for (uint32_t i = 0; i < n; ++i) expected_ns[i] = ids.ids[i].position_ns;
        SectorPasses passes(runs_, std::move(expected_ns));
        std::vector<SectorLayout> sectors(n);
        std::vector<ByteBuffer> buffers;
        buffers.reserve(n);
        std::vector<SectorReadings> readings((detail_ & kDetailSectorData) != 0 ? n : 0);
        std::vector<uint8_t> found(n);
        for (uint32_t i = 0; i < n; ++i) {
            if (!readings.empty()) {
                passes.reading_sink = [&readings, i](uint8_t r, const SectorLayout& l, const ByteBuffer& b) {
                    readings[i].add(r, l, b);
                };
            }
            buffers.emplace_back(kSectorBufferEntries);
            const uint8_t wanted = id_byte(id_buffer, i, IdEntry::kSector);
            found[i] = analyse_sector(sectors[i], buffers[i], passes, rev, wanted, ids.ids[i].position_ns, opts_);
            if (stop_.stopped) return;
        }
        if (passes.skipped != 0) std::fprintf(report_, kPassesSkippedLine, static_cast<unsigned>(passes.skipped));
        if (allsect != nullptr) std::fprintf(allsect, "// sector_number id_start id_len gap3_len data_len gap4_len\n");
        print_all_sectors(report_, n, sectors.data());

        std::vector<SectorEvidence> evidence(n);
        uint32_t prev_data_end = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const SectorLayout& s = sectors[i];
            if (opts_.print_buffers) print_sector_detail(report_, s, buffers[i], opts_);
            check_sector_protections(findings, s, buffers[i], prev_data_end);
            const AreaInfo& data = s.area(AreaKind::DATA);
            prev_data_end = data.position_ns + data.length_ns;
            if (allsect != nullptr) write_allsect_line(allsect, s);
            evidence[i] = sector_evidence(s, buffers[i], id_buffer, i);
            buffers[i] = ByteBuffer();
        }
        findings.print(report_);
        record_findings(figures_, track, ids, id_buffer, sectors, evidence, findings);
        // Kept before the sectors' data joins their figures: the run that reuses them asks
        // for no more than the summary, and a disk's worth of readings would be copied for nothing.
        keep_field_findings(findings, first_field_finding);
        if (!readings.empty()) record_sector_data(sectors, found, std::move(readings));
    }

    // The ID and sector checks' findings in the order they came, with the figures they
    // go with, for a run that differs only in the track decoder's synch search.
    void keep_field_findings(const Prot_list& findings, uint32_t first) {
        fields_.ids = figures_.ids;
        fields_.sectors = figures_.sectors;
        std::vector<const ProtEntry*> later;
        for (const ProtEntry* e = findings.head; e != nullptr; e = e->next) {
            if (e->order >= first) later.push_back(e);
        }
        std::sort(later.begin(), later.end(), [](const ProtEntry* a, const ProtEntry* b) { return a->order < b->order; });
        fields_.findings.clear();
        for (const ProtEntry* e : later) fields_.findings.push_back({e->type, e->S, e->value});
    }

    // What sector images need beyond the report's figures.
    void record_sector_data(const std::vector<SectorLayout>& sectors, const std::vector<uint8_t>& found,
                            std::vector<SectorReadings> readings) {
        for (size_t i = 0; i < sectors.size(); ++i) {
            SectorFigure& f = figures_.sectors[i];
            f.found = found[i] != 0;
            f.cylinder = sectors[i].T;
            f.head = sectors[i].H;
            f.size_code = sectors[i].Z;
            f.readings = std::move(readings[i]);
        }
    }

    // What the sector's buffers show besides its layout, before they are given back.
    SectorEvidence sector_evidence(const SectorLayout& s, const ByteBuffer& buffer, const ByteBuffer& id_buffer,
                                   size_t field) const {
        SectorEvidence e;
        const uint32_t start = s.data_start;
        if (s.has_data != 0 && start < buffer.count) e.data_mark = buffer.entries[start].data;
        if ((detail_ & kDetailFieldSyncs) != 0 && syncs_wanted_.test(s.S)) {
            const size_t id_at = size_t{marks::kIdFieldBytes} * field;
            if (id_at + marks::kIdFieldBytes <= id_buffer.count) {
                e.syncs = find_field_syncs(&id_buffer.entries[id_at], marks::kIdFieldBytes);
            }
            if (s.has_data != 0 && start < buffer.count) {
                const size_t n = std::min<size_t>(s.area(AreaKind::DATA).bytes, buffer.count - start);
                const FieldSyncs data = find_field_syncs(&buffer.entries[start], n);
                e.syncs.patterns = static_cast<uint16_t>(std::min<uint32_t>(uint32_t{e.syncs.patterns} + data.patterns, UINT16_MAX));
                e.syncs.then_mark = e.syncs.then_mark || data.then_mark;
            }
        }
        return e;
    }

    SeparatorRuns& runs_;
    const RunOptions& opts_;
    const RunStop& stop_;
    FILE* report_;
    RunFigures& figures_;
    uint8_t detail_;
    CaptureAnalysis::FieldFindings& fields_;
    std::bitset<256> syncs_wanted_;  // sector numbers of the track decoder's SID findings
    std::unique_ptr<OutputFile> allsect_;
};

}  // namespace

void record_load_failure(RunFigures& figures, const CaptureLoad& load) {
    switch (load.fault) {
    case CaptureLoad::Fault::Unreadable: figures.failure = RunFailure::Unreadable; break;
    case CaptureLoad::Fault::TrackSideRequired:
    case CaptureLoad::Fault::TrackSideRefused: figures.failure = RunFailure::Usage; break;
    case CaptureLoad::Fault::None:
    case CaptureLoad::Fault::Undecodable: figures.failure = RunFailure::Undecodable; break;
    }
    figures.system_error = load.system_error;
    figures.stream_error = load.stream_error;
    figures.intervals_before_error = load.intervals_before_error;
}

CaptureAnalysis::CaptureAnalysis(const FluxCapture& capture, std::string input_name,
                                 std::optional<TrackSide> track)
    : stream_(capture), input_name_(std::move(input_name)), track_(track) {}

SeparatorRuns& CaptureAnalysis::separator(bool pll_off) {
    std::unique_ptr<SeparatorRuns>& runs = runs_[pll_off ? 1 : 0];
    if (!runs) runs = std::make_unique<SeparatorRuns>(&stream_, pll_off);
    return *runs;
}

AnalysisEnd CaptureAnalysis::run(RunOptions opts, const AnalysisSinks& sinks, RunFigures& figures, uint8_t detail) {
    figures = RunFigures{};
    opts.diag_out = sinks.diagnostics;
    opts.err_out = sinks.messages;
    WorkBudget budget(opts.limits);
    opts.budget = &budget;

    record_stream(figures, stream_);
    // The figures keep the number as the user gave it; the decoders count from 0.
    figures.requested_revolution = opts.revolution;
    print_banner(sinks.report);
    if (track_) {
        std::fprintf(sinks.report, "  Stream file '%s' track %u.%u %d revolutions - Average RPM=%g\n",
                     input_name_.c_str(), unsigned{track_->cylinder}, unsigned{track_->side}, figures.revolutions,
                     stream_.rpm_avg);
    } else {
        std::fprintf(sinks.report, "  Stream file '%s' %d revolutions - Average RPM=%g\n", input_name_.c_str(),
                     figures.revolutions, stream_.rpm_avg);
    }
    if (stream_.index_count < 4) {
        std::fprintf(sinks.messages, "Not enough revolutions for proper analysis (3 minimum)\n");
        figures.failure = RunFailure::TooFewRevolutions;
        return AnalysisEnd::Abnormal;
    }
    if (opts.revolution == 0 || opts.revolution > stream_.index_count - 1) {
        std::fprintf(sinks.messages, "Invalid value %d for revolution number\n", opts.revolution);
        figures.failure = RunFailure::RevolutionOutOfRange;
        return AnalysisEnd::Abnormal;
    }
    opts.revolution -= 1;

    RunStop stop;
    opts.stop = &stop;
    FieldFindings fields{static_cast<uint8_t>(figures.requested_revolution), opts.pll_off, opts.sector_all_areas,
                         {}, {}, {}};
    Pass pass(separator(opts.pll_off), opts, sinks.report, figures, detail, fields);
    const AnalysisEnd end = pass.execute();
    if (end == AnalysisEnd::Completed) {
        fields_ = std::move(fields);
    } else {
        fields_.reset();
    }
    return end;
}

AnalysisEnd CaptureAnalysis::run_without_sync(RunOptions opts, const AnalysisSinks& sinks, RunFigures& figures) {
    opts.look_for_sync = false;
    opts.verbose = false;
    opts.plot = false;
    opts.print_buffers = false;
    const bool same_fields = fields_ && fields_->revolution == opts.revolution && fields_->pll_off == opts.pll_off &&
                             fields_->sector_all_areas == opts.sector_all_areas;
    if (!same_fields) return run(opts, sinks, figures);

    figures = RunFigures{};
    record_stream(figures, stream_);
    figures.requested_revolution = opts.revolution;
    opts.revolution -= 1;
    opts.diag_out = sinks.diagnostics;
    opts.err_out = sinks.messages;
    WorkBudget budget(opts.limits);
    opts.budget = &budget;

    TrackLayout track;
    ByteBuffer track_buffer;
    decode_track(track, separator(opts.pll_off).from(opts.revolution), track_buffer, opts);
    Prot_list findings;
    check_track_protections(findings, track, opts);
    for (const FindingFigure& f : fields_->findings) findings.add(f.sector, f.kind, f.value);

    record_track(figures, track);
    figures.ids = fields_->ids;
    figures.sectors = fields_->sectors;
    record_list(figures, findings);
    return AnalysisEnd::Completed;
}

}  // namespace quen
