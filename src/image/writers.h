// The three sector images: a plain image (.img, .st), Extended DSK and ImageDisk. Each
// writer takes the whole disk and writes one open file; the caller names and commits it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/model.h"

namespace quen::image {

// ---------------------------------------------------------------- plain image
struct Geometry {
    int cylinders = 0;
    int heads = 0;
    int sectors = 0;       // per track side, numbered first_sector on
    int first_sector = 1;
    uint8_t size_code = 2;
    uint32_t sector_bytes() const { return nominal_bytes(size_code); }
};

// A sector of the plain image whose bytes are not a good reading.
struct FlaggedSector {
    int cylinder = 0;
    int head = 0;
    int sector = 0;
    std::string why;  // the sector's state, or "not found" when no ID field carried its number
    bool filled = false;  // no reading at all: written as kFillByte
};

struct RawPlan {
    Geometry geometry;
    std::string refusal;  // why the disk has no one geometry; empty when it has
    std::vector<FlaggedSector> flagged;
};

// The bytes written for a sector with no reading at all.
inline constexpr uint8_t kFillByte = 0x00;

// The geometry the formatted track sides share, and the sectors the image cannot vouch for.
RawPlan plan_raw_image(const Disk& disk);
void write_raw_image(FILE* out, const Disk& disk, const Geometry& g);

// ---------------------------------------------------------------- Extended DSK
// Writes the image; returns what it could not keep (one line each), empty when nothing.
std::vector<std::string> write_edsk(FILE* out, const Disk& disk);

// ---------------------------------------------------------------- ImageDisk
// `when` is the header's "dd/mm/yyyy hh:mm:ss". Returns what the format cannot hold
// (also written into the image's comment).
std::vector<std::string> write_imd(FILE* out, const Disk& disk, const std::string& when);

}  // namespace quen::image
