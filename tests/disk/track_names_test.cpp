// The names of stream files under any prefix, and the disk names their prefixes give.
#include <gtest/gtest.h>

#include <string>

#include "disk/track_names.h"

namespace quen::testing {
namespace {

TEST(TrackNames, StreamFilesUnderAnyPrefix) {
    const struct {
        const char* file;
        bool stream;
        const char* prefix;
        int track;
        int side;
        const char* disk;  // the disk the prefix names
    } cases[] = {
        {"track05.1.raw", true, "track", 5, 1, "track"},
        {"disk1_79.0.raw", true, "disk1_", 79, 0, "disk1"},
        {"00.0.raw", true, "", 0, 0, "untitled"},
        {"a.-_00.0.raw", true, "a.-_", 0, 0, "a"},
        {"track100.0.raw", false, "", 0, 0, ""},  // where the track number starts is a guess
        {"track4.0.raw", false, "", 0, 0, ""},
        {"track00.2.raw", false, "", 0, 0, ""},
        {"track00.0.RAW", false, "", 0, 0, ""},
        {"track00.0.raw.txt", false, "", 0, 0, ""},
        {"0.0.raw", false, "", 0, 0, ""},
    };
    for (const auto& c : cases) {
        const auto name = disk::parse_stream_name(c.file);
        ASSERT_EQ(name.has_value(), c.stream) << c.file;
        if (!name) continue;
        EXPECT_EQ(name->prefix, c.prefix) << c.file;
        EXPECT_EQ(name->track * 10 + name->side, c.track * 10 + c.side) << c.file;
        EXPECT_EQ(disk::disk_name_of_prefix(name->prefix), c.disk) << c.file;
        EXPECT_EQ(disk::report_path_in("out", c.track, c.side),
                  "out/" + disk::track_side_stem(c.track, c.side) + ".txt") << c.file;
    }
    EXPECT_EQ(disk::track_side_stem(5, 1), "track05.1");
    EXPECT_EQ(disk::image_track_side_name("disk.scp", 5, 1), "disk.scp:05.1");
}

}  // namespace
}  // namespace quen::testing
