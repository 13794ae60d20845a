// The disk page: one self-contained HTML file that shows the whole disk at a glance
// (a grid of the track sides coloured by status) and leads to each track's report
// and pictures.
#pragma once

#include <string>
#include <vector>

#include "disk/summary.h"

namespace quen::disk {

struct PageSettings {
    std::string page_path;         // where the page goes; links are relative to its folder
    std::vector<std::string> analyser_options;  // as given, e.g. {"-b", "-r2"}; shown in the heading
    // Whether this run drew the pictures: pictures an earlier run left in OUTDIR may
    // show other options, so they are not shown unless drawn again.
    bool pictures = false;
};

// The page's text. Reports and pictures are linked where they exist on disk, so the
// page never points at a file that is not there.
// Several disks: one section each, under a heading that names the disk.
std::string disk_page(const std::vector<DiskSummary>& disks, const PageSettings& settings);

// Why the page could not be written at `page_path`, empty when it can; creates its
// folder. Asked before the analysis, so that a long run does not end without its page.
std::string page_problem(const std::string& page_path);

// Writes the page, creating its folder when needed. The file appears whole or not at
// all, so an earlier page is never left half overwritten. Throws DiskError.
void write_disk_page(const std::vector<DiskSummary>& disks, const PageSettings& settings);

// The folder of a track's pictures inside OUTDIR: OUTDIR/trackNN.S.
std::string picture_dir(const std::string& outdir, const TrackSummary& t);

}  // namespace quen::disk
