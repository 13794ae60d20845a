// The sector images quendisk writes from a whole disk's analysis.
#pragma once

#include <cstdio>
#include <string>

#include "disk/summary.h"

namespace quen::disk {

struct ImagePaths {
    std::string raw;   // --image
    std::string edsk;  // --edsk
    std::string imd;   // --imd
    bool any() const { return !raw.empty() || !edsk.empty() || !imd.empty(); }
};

// The disk as the image writers take it: the analysed track sides with their sectors.
image::Disk image_disk_of(const DiskSummary& disk);

// Writes the images asked for, each whole or not at all, naming on `err` every sector the
// plain image holds from bad data and whatever a format could not keep; the plain image's
// record goes into disk.image for the JSON. False when an image was refused or not written.
bool write_images(const ImagePaths& paths, DiskSummary& disk, FILE* err);

}  // namespace quen::disk
