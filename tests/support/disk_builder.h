// A small synthetic disk: a folder of stream files with one of each kind of track a
// whole-disk run has to tell apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quen::synth {

struct DiskEntry {
    std::string file;    // name in the folder
    const char* status;  // what the whole-disk summary should call it
};

// Writes bytes to a new file; throws std::runtime_error when it cannot.
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes the disk's files into `dir` (which must exist) and returns them in the order
// the summary lists them, the file that is no stream file last with an empty status.
// Throws std::runtime_error when a file cannot be written.
std::vector<DiskEntry> write_sample_disk(const std::string& dir);

// A whole double-sided disk of `tracks` cylinders of nine-sector tracks with jittered
// flux, for the benchmarks: mostly clean, with a bad CRC, a deleted and a weak sector
// and an unformatted last track side among them.
void write_full_disk(const std::string& dir, int tracks = 80);

// Writes a clean double-sided disk of `cylinders` cylinders into `dir` (which must
// exist), one file trackNN.S.raw per side, each with its own jitter: the size of a
// whole disk's capture, for timing whole-disk runs. Throws like write_sample_disk.
void write_clean_disk(const std::string& dir, int cylinders);
// ---------------------------------------------------------------- disks for sector images
// Every kind of sector an image has to tell apart.
enum class SectorKind { kPlain, kBadDataCrc, kBadIdCrc, kDeleted, kDeletedBadCrc, kWeak, kNoData };

struct BuiltSector {
    int cylinder = 0;  // the track side it was written on
    int head = 0;
    uint8_t id_cylinder = 0;  // its ID field
    uint8_t id_head = 0;
    uint8_t sector = 0;
    uint8_t size_code = 2;
    SectorKind kind = SectorKind::kPlain;
    // The data each revolution holds: one entry, or one per revolution for a weak sector;
    // none without a DATA field.
    std::vector<std::vector<uint8_t>> data;
};

enum class ImageDiskShape {
    kUniform,  // cylinders 0-2, both sides, nine 512-byte sectors each, every kind on 00.0
    kMixed,    // the same and cylinder 3: side 0 five 1024-byte sectors with the IDs of 40.1, side 1 unformatted
};

// Writes the disk's stream files into `dir` and returns its sectors, by track side then
// in the order they pass the head.
std::vector<BuiltSector> write_image_disk(const std::string& dir, ImageDiskShape shape);

}  // namespace quen::synth
