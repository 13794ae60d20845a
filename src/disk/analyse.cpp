#include "disk/summary.h"

#include <cstdio>

#include "base/owned_file.h"
#include "disk/messages.h"
#include "disk/workers.h"
#include "driver/run.h"

namespace quen::disk {
namespace {

std::string report_path_of(const std::string& outdir, const TrackSummary& t) {
    return path_in(outdir, t.file_name.substr(0, t.file_name.size() - 4) + ".txt");
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

    RunFigures main;
    {
        std::vector<std::string> args = opts.analyser_options;
        // A report that goes nowhere needs no dumps; the findings do not depend on them.
        if (opts.outdir.empty()) args.push_back("-b");
        args.push_back(t.input_path);
        if (!opts.outdir.empty()) {
            t.report_path = report_path_of(opts.outdir, t);
            args.push_back(t.report_path);
        }
        RunIo io;
        io.out = sink.get();
        io.err = messages ? messages.get() : sink.get();
        io.figures = &main;
        io.timing = opts.timing;
        run_quenanalyze(args, io);
    }
    if (messages) t.messages = read_back(messages.get(), kMaxMessageBytes);
    // A run that ends before it opens its output leaves no report to point to (an old
    // file of that name may still be there: it is not this run's).
    const RunFailure f = main.failure;
    if (f == RunFailure::Usage || f == RunFailure::Unreadable || f == RunFailure::Undecodable ||
        f == RunFailure::OutputNotCreatable) {
        t.report_path.clear();
    }

    RunFigures no_sync;
    const bool cross_check = !opts.no_sync && main.completed;
    if (cross_check) {
        std::vector<std::string> args = opts.analyser_options;
        args.push_back("-sb");
        args.push_back(t.input_path);
        RunIo io;
        io.out = sink.get();
        io.err = sink.get();
        io.figures = &no_sync;
        run_quenanalyze(args, io);
    }
    summarise_track(t, main, cross_check ? &no_sync : nullptr);
}

}  // namespace

DiskSummary analyse_disk(const DiskOptions& opts, const DiskListing& listing, const ProgressFn& progress) {
    DiskSummary disk;
    disk.dir = opts.dir;
    disk.outdir = opts.outdir;
    disk.cross_checked = !opts.no_sync;
    disk.analyser_options = opts.analyser_options;
    disk.tracks = listing.tracks;
    disk.skipped = listing.skipped;

    for_each_on_workers(
        disk.tracks.size(), opts.jobs, progress,
        [&](size_t i) -> const std::string& { return disk.tracks[i].file_name; },
        [&](size_t i) { analyse_track(opts, disk.tracks[i]); });

    disk.totals = total_of(disk.tracks);
    return disk;
}

}  // namespace quen::disk
