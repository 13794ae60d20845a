// How the files of a disk are named: the stream files a folder holds (<prefix>NN.S.raw,
// as the capture device names them under a prefix of the user's choice), and the
// reports and picture folders quendisk writes for each track side, whatever the input.
#pragma once

#include <optional>
#include <string>

namespace quen::disk {

struct StreamName {
    std::string prefix;  // what comes before NN.S.raw: "track", "disk1_", or nothing
    int track = 0;
    int side = 0;
};

// A stream file's name split at its track and side: two digits of track, one of side
// (0 or 1), ".raw". A prefix ending in a digit is refused: where its track number
// begins would be a guess ("track100.0.raw").
std::optional<StreamName> parse_stream_name(const std::string& file_name);

// A name a user may have meant as a stream file: "track" or ".raw" in any case.
bool looks_like_a_stream_name(const std::string& file_name);

// The name of a disk that a group of stream files forms: its prefix without the
// separator that ends it ("disk1_" gives "disk1"), "untitled" for no prefix.
std::string disk_name_of_prefix(const std::string& prefix);

// What the table, CSV and JSON call a track side of an SCP image: "disk.scp:05.1".
std::string image_track_side_name(const std::string& image_name, int track, int side);

// "trackNN.S": the stem of a track side's report and of its picture folder, the same
// for stream files under any prefix and for images.
std::string track_side_stem(int track, int side);
// OUTDIR/trackNN.S.txt
std::string report_path_in(const std::string& outdir, int track, int side);
// OUTDIR/trackNN.S
std::string picture_dir_in(const std::string& outdir, int track, int side);

}  // namespace quen::disk
