// The whole disk's verdict: the formats its track sides carry, and every sector or track
// side that is not standard, as a user checking a capture or a protection asks for them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "disk/summary.h"

namespace quen::disk {

// A track side is named "NN.S" everywhere in the verdict.
std::string track_side_name(const TrackSummary& t);

struct FormatGroup {
    int sectors = 0;
    int size = 0;                       // bytes per sector, from the IDs' size code
    std::vector<size_t> track_sides;    // indices into DiskSummary::tracks
};

struct SectorRef {
    size_t track_side = 0;  // index into DiskSummary::tracks
    int sector = 0;
};

struct ProtectionRef {
    size_t track_side = 0;
    std::string code;
    int sector = -1;  // -1: the whole track
};

struct DiskVerdict {
    std::vector<FormatGroup> formats;
    std::vector<size_t> unformatted;
    std::vector<SectorRef> unreadable;  // sectors that read in neither mode
    std::vector<SectorRef> weak;
    std::vector<SectorRef> deleted;
    // Findings that survive -s and are no incidental pattern; fuzzy and deleted data are
    // listed on their own.
    std::vector<ProtectionRef> protections;
    int notes = 0;
    int sectors_read = 0;
    int sectors_found = 0;
};

DiskVerdict verdict_of(const DiskSummary& disk);

// A few lines after the table.
void write_verdict(FILE* out, const DiskSummary& disk, const DiskVerdict& v);

// Runs of neighbouring track sides in the disk's order: "00.0-02.0, 19.0".
std::string track_side_ranges(const DiskSummary& disk, const std::vector<size_t>& sides);

}  // namespace quen::disk
