// The whole-disk summary: one record per track side with every figure and finding of its
// run, and the totals of the disk. The text table, CSV, JSON and HTML outputs all read it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/options.h"
#include "driver/figures.h"
#include "image/model.h"
#include "image/writers.h"

namespace quen::disk {

// What a track side looks like at a glance, most serious first: a track side carrying
// several kinds of finding takes the first that applies.
enum class TrackStatus : uint8_t {
    Failed,       // the file could not be analysed
    Unformatted,  // no ID field at all
    Protected,    // a finding that the run without the in-field synch search has too, and that
                  // is no incidental sync pattern
    Faults,       // a sector that reads in neither mode, a CRC fault in both, or IDs of another
                  // cylinder or head
    Clean,        // every sector found reads; at most notes
};
const char* status_word(TrackStatus s);  // "failed", "unformatted", "protected", "faults", "clean"

struct Finding {
    int32_t kind = 0;     // the protection kind's code
    std::string code;     // its three-letter abbreviation
    std::string name;     // its name as the report prints it
    int32_t sector = -1;  // -1: the whole track
    int32_t value = -1;   // -1: none
    // False when the run with -s added does not have it: an artefact of the synch search
    // inside fields. Always true when the disk was analysed with -s.
    bool survives_no_sync = true;
    // A sync pattern inside fields that read with good CRCs and lead to no address mark:
    // a note on the track, never a protection.
    bool incidental = false;
};

// One sector as the sector decoder read it, whose framing does not depend on the in-field
// synch search: what the disk's verdict lists.
struct SectorSummary {
    int sector = 0;         // the ID's sector byte
    uint8_t size_code = 0;  // the ID's size code
    bool reads = false;     // ID and data with good CRCs
    bool weak = false;      // another revolution read its data differently
    bool deleted = false;   // a deleted-data mark
};

// The ID and data fields with a good and a bad CRC, as the track layout table counts them.
struct FieldCounts {
    int id_good = 0;
    int id_bad = 0;
    int data_good = 0;
    int data_bad = 0;
    bool operator==(const FieldCounts&) const = default;
};

// A cylinder/head pair that ID fields with a good CRC carry although the file name says otherwise.
struct ForeignId {
    int cylinder = 0;
    int head = 0;
    int count = 0;  // how many ID fields carry it
};

// What the disk map shows a field as, most telling first where several apply.
enum class FieldState : uint8_t {
    Weak,     // read differently from one revolution to the next
    BadCrc,
    Deleted,  // a deleted data mark
    Finding,  // a protection finding names the sector, one that remains with -s
    Note,     // an incidental note names the sector
    Good,
};
const char* field_state_word(FieldState s);  // "weak", "bad-crc", "finding", "deleted", "note", "good"

// One sector where the track decoder found its fields, for the disk map.
struct MapSector {
    uint8_t sector = 0;
    FieldPlace id;    // length 0: no ID field (a data field the decoder met on its own)
    FieldPlace data;  // length 0: no data field
    FieldState id_state = FieldState::Good;
    FieldState data_state = FieldState::Good;
};

struct TrackSummary {
    std::string file_name;    // as found in the folder, e.g. "track05.1.raw", or "disk.scp:05.1" in an image
    std::string input_path;   // the path handed to the analyser: the stream file, or the image
    std::string report_path;  // OUTDIR/trackNN.S.txt when written, else empty
    int track = 0;            // from the file name
    int side = 0;

    TrackStatus status = TrackStatus::Clean;
    RunFailure failure = RunFailure::None;
    std::string failure_reason;  // empty when analysed

    int revolutions = 0;
    double rpm_avg = 0.0;
    std::string stream_info;  // the stream's info text: from the file, so never trusted as markup
    uint32_t bytes = 0;
    double length_ms = 0.0;
    int id_good = 0;
    int id_bad = 0;
    int data_good = 0;
    int data_bad = 0;
    // The same counts without the in-field synch search, when the cross-check ran.
    bool cross_checked = false;
    FieldCounts no_sync;
    int sectors_ok = 0;     // ID and data both read with a good CRC
    int sectors_found = 0;  // ID fields found
    int fuzzy_sectors = 0;
    std::vector<ForeignId> foreign_ids;
    std::vector<Finding> findings;  // the protection list, incidental sync patterns left out
    std::vector<Finding> notes;     // the incidental sync patterns
    std::vector<SectorSummary> sectors;
    uint32_t track_ns = 0;           // the revolution's length
    std::vector<MapSector> map;      // in track order, at most one per slot of the decoder
    std::shared_ptr<const FluxTiming> timing;  // null unless the disk asked for it
    // What the run wrote on its standard error (set-up errors, revolutions a sector was
    // not read in), kept only when OUTDIR is given and cut after kMaxMessageBytes.
    std::string messages;
    // The sectors as the images take them; their readings only when images were asked for.
    std::vector<image::Sector> image_sectors;

    bool analysed() const { return failure == RunFailure::None; }
    int findings_only_default_mode() const;
    FieldCounts counts() const { return {id_good, id_bad, data_good, data_bad}; }
};

struct DiskTotals {
    int tracks = 0;
    int analysed = 0;
    int failed = 0;
    int id_good = 0;
    int id_bad = 0;
    int data_good = 0;
    int data_bad = 0;
    int sectors_ok = 0;
    int sectors_found = 0;
    int fuzzy_sectors = 0;
    int findings = 0;
    int findings_only_default_mode = 0;
    int notes = 0;
    int tracks_with_foreign_ids = 0;
    FieldCounts no_sync;  // the field counts of the cross-check, where it ran
};

struct DiskOptions {
    RunOptions analysis;  // the analyser's settings for every track side
    std::vector<std::string> analyser_options;  // the same as the user wrote them, e.g. {"-b", "-r2"}: only shown
    std::string outdir;  // empty: no per-track reports
    unsigned jobs = 1;
    // The analyses also write their plot files into OUTDIR/trackNN.S, to be drawn there.
    bool plot_files = false;
    // FigureDetail bits asked of each track side's analysis beyond what the summary
    // needs: kDetailSectorData when a sector image is asked for, kDetailTiming for the
    // timing pictures.
    uint8_t detail = kDetailSummary;
    // -s is among the analyser options: nothing to cross-check against.
    bool no_sync() const { return !analysis.look_for_sync; }
};

// What became of the plain sector image, for the JSON.
struct ImageRecord {
    std::string file;
    bool written = false;
    std::string refusal;  // why the disk has no one geometry; empty when it has
    image::Geometry geometry;
    std::vector<image::FlaggedSector> flagged;  // sectors written from bad data or fill
};

enum class DiskSource : uint8_t { kStreamFiles, kScpImage };

struct DiskSummary {
    DiskSource source = DiskSource::kStreamFiles;
    std::string name;    // the prefix of its stream files, or the image's name: see DiskListing
    std::string dir;     // the folder or SCP image it was read from
    std::string outdir;
    bool cross_checked = true;  // findings were checked against a run with -s
    std::vector<std::string> analyser_options;  // as given, applied to every track side
    std::vector<TrackSummary> tracks;     // by track, then side
    std::vector<std::string> skipped;     // other entries of the folder, sorted
    DiskTotals totals;
    std::optional<ImageRecord> image;  // only with --image
    bool all_analysed() const { return totals.failed == 0; }
};

// One disk: the stream files of a folder under one prefix, or the track sides of an SCP
// image, by track then side.
struct DiskListing {
    // The input's (input_name) when it is one disk, else of its prefix as
    // disk_name_of_prefix makes it.
    std::string name;
    std::string input;  // the folder or the image
    std::vector<TrackSummary> tracks;  // file_name, input_path, track and side filled
    std::vector<std::string> skipped;  // the folder's entries that no disk of it takes
    // The image's bytes, read once and shared by the workers; null for stream files.
    std::shared_ptr<const FileBytes> image;
};

// What one input argument holds: a folder's disks (one per prefix, by prefix) and the
// names of the rest, or an image's one disk.
struct InputListing {
    std::vector<DiskListing> disks;
    std::vector<std::string> skipped;
    // Skipped names that look meant as stream files (Track03.1.raw, track4.0.raw), sorted.
    std::vector<std::string> near_misses;
};
// Throws DiskError when the folder cannot be listed or the image read.
InputListing list_input(const std::string& input);
// A folder's own name, or an image's without its extension: "." and "dumps/" name
// themselves too.
std::string input_name(const std::string& input);

struct DiskError {
    std::string message;
};

inline constexpr size_t kMaxMessageBytes = 64 * 1024;

// Called once per track side as its analysis starts, under a lock, from any worker thread:
// how many have started (1-based), the count, the file name.
using ProgressFn = std::function<void(size_t, size_t, const std::string&)>;

// Analyses every stream file of the listing; the outcome does not depend on opts.jobs.
DiskSummary analyse_disk(const DiskOptions& opts, const DiskListing& listing, const ProgressFn& progress = {});

// Folds one track's run figures (and those of its -s run, or nullptr) into its summary.
void summarise_track(TrackSummary& t, const RunFigures& main, const RunFigures* no_sync);
DiskTotals total_of(const std::vector<TrackSummary>& tracks);

}  // namespace quen::disk
