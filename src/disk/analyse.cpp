#include "disk/summary.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/files.h"
#include "base/names.h"
#include "disk/html.h"
#include "disk/messages.h"
#include "disk/pictures.h"
#include "disk/track_names.h"
#include "disk/workers.h"
#include "driver/analysis.h"
#include "stream/capture_load.h"
#include "stream/stream.h"

namespace quen::disk {
namespace {

// A run that ends before its report has a banner leaves no report to point to.
bool leaves_a_report(RunFailure f) {
    return f == RunFailure::None || f == RunFailure::TooFewRevolutions || f == RunFailure::RevolutionOutOfRange;
}

// The reader's own line about a track side it could not read: the reason it failed.
std::string read_image_track(const FileBytes& image, const TrackSummary& t, FILE* said, CaptureLoad& load) {
    char* text = nullptr;
    size_t size = 0;
    OwnedFile line(open_memstream(&text, &size));
    load.capture = read_scp_track(image.bytes.get(), image.length, shown_name(t.input_path),
                                  {static_cast<uint8_t>(t.track), static_cast<uint8_t>(t.side)},
                                  line ? line.get() : said);
    line.reset();
    std::string lines = text != nullptr ? std::string(text, size) : std::string();
    std::free(text);
    std::fputs(lines.c_str(), said);
    if (load.capture) return {};
    load.fault = CaptureLoad::Fault::Undecodable;
    while (!lines.empty() && lines.back() == '\n') lines.pop_back();
    const size_t last = lines.rfind('\n');
    return last == std::string::npos ? lines : lines.substr(last + 1);
}

void analyse_track(const DiskOptions& opts, const FileBytes* image, TrackSummary& t) {
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
    CaptureLoad load;
    std::string image_fault;
    if (image != nullptr) {
        image_fault = read_image_track(*image, t, said, load);
    } else {
        load = load_stream_file(t.input_path, said);
    }
    if (!load.capture) {
        std::fprintf(said, "Could not open input file '%s'\n", shown_name(t.input_path).c_str());
        record_load_failure(main, load);
        if (messages) t.messages = read_back(messages.get(), kMaxMessageBytes);
        summarise_track(t, main, nullptr);
        if (!image_fault.empty()) t.failure_reason = image_fault;
        return;
    }

    std::optional<TrackSide> side;
    if (image != nullptr) side = TrackSide{static_cast<uint8_t>(t.track), static_cast<uint8_t>(t.side)};
    CaptureAnalysis analysis(*load.capture, t.input_path, side);
    RunOptions settings = opts.analysis;
    if (opts.outdir.empty()) {
        // A report that goes nowhere needs no dumps; the findings do not depend on them.
        settings.print_buffers = false;
        analysis.run(settings, {sink.get(), said, said}, main, kDetailFieldSyncs | opts.detail);
    } else {
        // Written beside its name and renamed once whole: a report cut by a full disk or
        // a kill never stands under the track's name.
        const std::string path = report_path_in(opts.outdir, t.track, t.side);
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
        if (const char* kind = capture_kind(path); kind != nullptr) {
            std::fprintf(said, "Output file '%s' is a %s: not overwritten\n", shown_name(path).c_str(), kind);
        } else {
            report = std::make_unique<OutputFile>(path, Replace::kWhole);
        }
        if (!report || !report->is_open()) {
            std::fprintf(said, "Could not open output file '%s'\n", shown_name(path).c_str());
            main.failure = RunFailure::OutputNotCreatable;
        } else {
            analysis.run(settings, {report->get(), report->get(), said}, main, kDetailFieldSyncs | opts.detail);
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
        // Only the findings are compared: nothing is written, and only the track decoder,
        // the one the in-field synch search changes, reads the revolution again.
        analysis.run_without_sync(opts.analysis, {sink.get(), sink.get(), sink.get()}, no_sync);
    }
    summarise_track(t, main, cross_check ? &no_sync : nullptr);
}

}  // namespace

DiskSummary analyse_disk(const DiskOptions& opts, const DiskListing& listing, const ProgressFn& progress) {
    DiskSummary disk;
    disk.source = listing.image ? DiskSource::kScpImage : DiskSource::kStreamFiles;
    disk.name = listing.name;
    disk.dir = listing.input;
    disk.outdir = opts.outdir;
    disk.cross_checked = !opts.no_sync();
    disk.analyser_options = opts.analyser_options;
    disk.tracks = listing.tracks;
    disk.skipped = listing.skipped;

    for_each_on_workers(
        disk.tracks.size(), opts.jobs, progress,
        [&](size_t i) -> const std::string& { return disk.tracks[i].file_name; },
        [&](size_t i) {
            if (disk.tracks[i].analysed()) analyse_track(opts, listing.image.get(), disk.tracks[i]);
        });

    disk.totals = total_of(disk.tracks);
    return disk;
}

}  // namespace quen::disk
