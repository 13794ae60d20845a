#include "support/disk_builder.h"

#include <cstdio>
#include <stdexcept>

#include "support/builder.h"

namespace quen::synth {
void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot create " + path);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

void write_full_disk(const std::string& dir, int tracks) {
    for (int track = 0; track < tracks; ++track) {
        for (int side = 0; side < 2; ++side) {
            const auto cylinder = static_cast<uint8_t>(track);
            const auto head = static_cast<uint8_t>(side);
            FluxTiming timing;
            timing.jitter_ns = 60.0;
            timing.seed = static_cast<uint32_t>(track * 2 + side + 1);
            TrackPlan plan = standard_track(cylinder, head);
            if (track % 10 == 3 && side == 0) plan.sectors[3].data_crc = 0x1234;
            if (track % 10 == 6 && side == 1) plan.sectors[1].data_mark = 0xF8;
            std::vector<uint8_t> bytes;
            if (track == tracks - 1 && side == 1) {
                MfmCells blank;
                blank.bytes(0x4E, 6250);
                bytes = track_stream(blank, 3, timing);
            } else if (track % 10 == 8 && side == 0) {
                // Sector 5 reads differently in each revolution.
                std::vector<MfmCells> revs;
                for (uint8_t rev = 0; rev < 3; ++rev) {
                    TrackPlan weak = plan;
                    weak.sectors[4].data = pattern_data(512);
                    weak.sectors[4].data[100] = static_cast<uint8_t>(rev * 37);
                    revs.push_back(build_track(weak));
                }
                bytes = revolutions_to_stream(revs, timing);
            } else {
                bytes = track_stream(build_track(plan), 3, timing);
            }
            char name[32];
            std::snprintf(name, sizeof name, "/track%02d.%d.raw", track, side);
            write_file(dir + name, bytes);
        }
    }
}

std::vector<DiskEntry> write_sample_disk(const std::string& dir) {
    const auto stream = [](const MfmCells& track) { return track_stream(track); };
    // Sector 4 reads with a bad data CRC in every mode; sectors 7 and 8 carry artefacts as above.
    TrackPlan bad_data = standard_track(2, 0);
    bad_data.sectors[3].data_crc = 0x1234;  // sector 4

    // Sector 2's ID CRC on cylinder 0 holds a sync pattern off the byte boundary: the synch
    // search inside fields re-frames there, the run without it reads the field whole.
    write_file(dir + "/track00.0.raw", stream(build_track(standard_track(0, 0))));
    write_file(dir + "/track01.0.raw", stream(build_track(standard_track(1, 0))));
    write_file(dir + "/track02.0.raw", stream(build_track(bad_data)));
    // Captured with the head over cylinder 5: every ID field says so.
    write_file(dir + "/track03.0.raw", stream(build_track(standard_track(5, 0))));
    write_file(dir + "/track04.1.raw", {0x0D, 0x0A, 'n', 'o', 't', ' ', 'a', ' ', 's', 't', 'r', 'e', 'a', 'm'});
    write_file(dir + "/track05.1.raw", stream(build_track(standard_track(5, 1))));
    write_file(dir + "/notes.txt", {'d', 'u', 'm', 'p', '\n'});
    return {
        {"track00.0.raw", "clean"},
        {"track01.0.raw", "clean"},
        {"track02.0.raw", "protected"},
        {"track03.0.raw", "faults"},
        {"track04.1.raw", "failed"},
        {"track05.1.raw", "clean"},
        {"notes.txt", ""},
    };
}

void write_clean_disk(const std::string& dir, int cylinders) {
    for (int cylinder = 0; cylinder < cylinders; ++cylinder) {
        for (int head = 0; head < 2; ++head) {
            FluxTiming timing;
            timing.jitter_ns = 60.0;
            timing.seed = static_cast<uint32_t>(cylinder * 2 + head + 1);
            const TrackPlan plan = standard_track(static_cast<uint8_t>(cylinder), static_cast<uint8_t>(head));
            char name[32];
            std::snprintf(name, sizeof name, "/track%02d.%d.raw", cylinder, head);
            write_file(dir + name, track_stream(build_track(plan), 3, timing));
        }
    }
}

}  // namespace quen::synth
