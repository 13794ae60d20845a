// The disk summary as a text table, as CSV and as JSON.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "disk/summary.h"

namespace quen::disk {

// The mark after a finding that the run with -s added does not have, and what it means.
inline constexpr const char* kDefaultOnlyMark = "*";
inline constexpr const char* kDefaultOnlyMeaning = "only with the synch search inside fields";
inline constexpr const char* kNotesMeaning =
    "sync patterns that ordinary data forms at some bit offset in fields that read correctly; no protection";

// The findings of a track, each kind once with its sectors, e.g. "FZD(3,4) SID(2*) LGT".
std::string findings_text(const TrackSummary& t);
// The incidental sync patterns of a track, written as its findings are, e.g. "SID(2,3)".
std::string notes_text(const TrackSummary& t);
// The cylinder.head pairs of the ID fields that disagree with the file name, e.g. "01.0", or "-".
std::string foreign_ids_text(const TrackSummary& t);

void write_table(FILE* out, const DiskSummary& disk);
// One record per track side of every disk, each naming its disk (DiskSummary::name).
void write_csv(FILE* out, const std::vector<DiskSummary>& disks);
// One disk: the disk's object, as it always was. Several: {"disks": [one object per disk]}.
void write_json(FILE* out, const std::vector<DiskSummary>& disks);

}  // namespace quen::disk
