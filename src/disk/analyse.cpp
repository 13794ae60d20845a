#include "disk/summary.h"

#include <cstdio>
#include <memory>

#include "base/files.h"
#include "base/names.h"
#include "disk/html.h"
#include "disk/messages.h"
#include "disk/pictures.h"
#include "disk/workers.h"
#include "driver/analysis.h"
#include "stream/capture_load.h"
#include "stream/stream.h"

namespace quen::disk {
namespace {

std::string report_path_of(const std::string& outdir, const TrackSummary& t) {
    return path_in(outdir, t.file_name.substr(0, t.file_name.size() - 4) + ".txt");
}

// A run that ends before its report has a banner leaves no report to point to.
bool leaves_a_report(RunFailure f) {
    return f == RunFailure::None || f == RunFailure::TooFewRevolutions || f == RunFailure::RevolutionOutOfRange;
}

void analyse_track(const DiskOptions& opts, TrackSummary& t) {
    OwnedFile sink = discard_sink();
    OwnedFile messages(opts.outdir.empty() ? nullptr : std::tmpfile());
    if (!sink) {
        t.failure = RunFailure::WriteFailed;
        t.failure_reason = "cannot open /dev/null";
        t.status = TrackStatus::Failed;
        return;
    }
    FILE* said = messages ? messages.get() : sink.get();

    RunFigures main;
    CaptureLoad load = load_stream_file(t.input_path, said);
    if (!load.capture) {
        std::fprintf(said, "Could not open input file '%s'\n", shown_name(t.input_path).c_str());
        main.failure = load.fault == CaptureLoad::Fault::Unreadable ? RunFailure::Unreadable : RunFailure::Undecodable;
        main.system_error = load.system_error;
        main.stream_error = load.stream_error;
        main.intervals_before_error = load.intervals_before_error;
        if (messages) t.messages = read_back(messages.get(), kMaxMessageBytes);
        summarise_track(t, main, nullptr);
        return;
    }

    CaptureAnalysis analysis(*load.capture, t.input_path);
    RunOptions settings = opts.analysis;
    if (opts.outdir.empty()) {
        // A report that goes nowhere needs no dumps; the findings do not depend on them.
        settings.print_buffers = false;
        analysis.run(settings, {sink.get(), said, said}, main, nullptr, kDetailFieldSyncs | opts.detail);
    } else {
        // Written beside its name and renamed once whole: a report cut by a full disk or
        // a kill never stands under the track's name.
        const std::string path = report_path_of(opts.outdir, t);
        if (opts.plot_files) {
            // Drawn later from what this one analysis writes, so the file is read once.
            const std::string problem = prepare_picture_dir(opts.outdir, t);
            if (problem.empty()) {
                settings.plot = true;
                settings.plot_dir = picture_dir(opts.outdir, t);
            } else {
                std::fprintf(said, "%s\n", problem.c_str());
            }
        }
        std::unique_ptr<OutputFile> report;
        // A report never replaces a capture, whatever its name.
        if (file_holds_capture(path)) {
            std::fprintf(said, "Output file '%s' is a stream file: not overwritten\n", shown_name(path).c_str());
        } else {
            report = std::make_unique<OutputFile>(path, Replace::kWhole);
        }
        if (!report || !report->is_open()) {
            std::fprintf(said, "Could not open output file '%s'\n", shown_name(path).c_str());
            main.failure = RunFailure::OutputNotCreatable;
        } else {
            analysis.run(settings, {report->get(), report->get(), said}, main, nullptr, kDetailFieldSyncs | opts.detail);
            if (!leaves_a_report(main.failure)) {
                report->abandon();
            } else if (!report->commit()) {
                std::fprintf(said, "Error writing file %s\n", shown_name(path).c_str());
                main.failure = RunFailure::WriteFailed;
            } else {
                t.report_path = path;
            }
        }
    }
    if (messages) t.messages = read_back(messages.get(), kMaxMessageBytes);

    RunFigures no_sync;
    const bool cross_check = !opts.no_sync() && main.completed;
    if (cross_check) {
        // Only the findings are compared: no report, no diagnostics, and the separator's
        // results of the first analysis.
        RunOptions plain = opts.analysis;
        plain.look_for_sync = false;
        plain.print_buffers = false;
        plain.verbose = false;
        analysis.run(plain, {sink.get(), sink.get(), sink.get()}, no_sync);
    }
    summarise_track(t, main, cross_check ? &no_sync : nullptr);
}

}  // namespace

DiskSummary analyse_disk(const DiskOptions& opts, const DiskListing& listing, const ProgressFn& progress) {
    DiskSummary disk;
    disk.dir = opts.dir;
    disk.outdir = opts.outdir;
    disk.cross_checked = !opts.no_sync();
    disk.analyser_options = opts.analyser_options;
    disk.tracks = listing.tracks;
    disk.skipped = listing.skipped;

    for_each_on_workers(
        disk.tracks.size(), opts.jobs, progress,
        [&](size_t i) -> const std::string& { return disk.tracks[i].file_name; },
        [&](size_t i) {
            if (disk.tracks[i].analysed()) analyse_track(opts, disk.tracks[i]);
        });

    disk.totals = total_of(disk.tracks);
    return disk;
}

}  // namespace quen::disk
