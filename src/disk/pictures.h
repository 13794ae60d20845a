// Pictures of each track side for the disk page: the plot files that the track's analysis
// writes into OUTDIR/trackNN.S, drawn there by the project's render script.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "disk/summary.h"

namespace quen::disk {

// The ploticus pictures a track side can have, as the render script names them.
inline constexpr const char* kPictureNames[] = {"layout", "trans", "allsect", "sec_layout", "sec_data", "sec_trans"};
// Drawn when --pictures names none: the track's areas and its sectors side by side.
// The sector pictures are many per track and seldom all looked at, and the flux
// transitions' SVG holds a point for every fifth interval (about 1 MB a track side):
// the page's timing pictures show the same, thinned.
inline constexpr const char* kDefaultPictures = "layout,allsect";

// The choice of --pictures=LIST checked and in the render script's form; "all" for every
// picture. Throws DiskError naming an unknown picture.
std::string picture_choice(const std::string& list);

// How a long job tells that it moves: a line that redraws itself on a terminal, or in a
// log one line per tenth of the work.
enum class ProgressStyle : uint8_t { kNone, kTerminal, kLog };

struct PictureSettings {
    std::string outdir;
    unsigned jobs = 1;
    FILE* err = stderr;  // messages of the runs and of the render script, each with its track
    std::string render_script;  // empty: looked for with find_render_script()
    std::string choice = kDefaultPictures;  // as picture_choice() gives it
    ProgressFn progress;        // called as each track side starts, one call at a time
};

// Makes the folder a track's analysis writes its plot files into, without the pictures an
// earlier run left there; empty when it is ready, else why not.
std::string prepare_picture_dir(const std::string& outdir, const TrackSummary& t);

// Why --pictures cannot be done, empty when it can: no OUTDIR, no ploticus, no render script.
std::string pictures_problem(const std::string& outdir);

// The render script: installed beside the program (quenanalyze-render), in the
// install's share folder, or in the source tree the program was built from. Empty
// when none is found.
std::string find_render_script();

// True when the plotting program can be run.
bool ploticus_available();

// Draws the pictures of every analysed track side. Returns how many track sides got
// no pictures or only some; the reasons went to settings.err, after the progress
// line. Throws DiskError when there is no render script.
int make_pictures(const DiskSummary& disk, const PictureSettings& settings);

// The pictures of the disk's runs in OUTDIR, with a progress line on err when asked.
// False when some track side got no pictures or only some; the reasons went to err.
bool draw_disk_pictures(const DiskSummary& disk, const DiskOptions& opts, const std::string& choice, FILE* err,
                        ProgressStyle progress);

// Writes each track side's timing pictures into `dir` as trackNN.S.scatter.svg and
// trackNN.S.histogram.svg. Returns what went wrong, empty when nothing did.
std::string write_timing_pictures(const DiskSummary& disk, const std::string& dir);

}  // namespace quen::disk
