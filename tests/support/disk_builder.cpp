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

namespace {

// Data that differs from sector to sector and from revolution to revolution.
std::vector<uint8_t> sector_data(const BuiltSector& s, size_t variant) {
    std::vector<uint8_t> d(128u << s.size_code);
    for (size_t i = 0; i < d.size(); ++i) {
        d[i] = static_cast<uint8_t>(s.cylinder * 40 + s.head * 20 + s.sector + i * (7 + variant * 4));
    }
    return d;
}

// On side 0 of cylinder 0 every kind in turn, the rest plain.
SectorKind kind_at(int cylinder, int head, int sector) {
    if (cylinder != 0 || head != 0) return SectorKind::kPlain;
    switch (sector) {
    case 2: return SectorKind::kBadDataCrc;
    case 3: return SectorKind::kBadIdCrc;
    case 4: return SectorKind::kDeleted;
    case 5: return SectorKind::kWeak;
    case 6: return SectorKind::kNoData;
    case 7: return SectorKind::kDeletedBadCrc;
    default: return SectorKind::kPlain;
    }
}

constexpr int kImageRevolutions = 3;

std::vector<BuiltSector> write_image_track(const std::string& dir, int cylinder, int head, int count,
                                           uint8_t size_code) {
    std::vector<BuiltSector> built;
    for (int r = 1; r <= count; ++r) {
        BuiltSector b;
        b.cylinder = cylinder;
        b.head = head;
        // The large sectors carry the ID fields of another cylinder and head, as a protection may.
        b.id_cylinder = static_cast<uint8_t>(size_code == 3 ? 40 : cylinder);
        b.id_head = static_cast<uint8_t>(size_code == 3 ? 1 : head);
        b.sector = static_cast<uint8_t>(r);
        b.size_code = size_code;
        b.kind = kind_at(cylinder, head, r);
        if (b.kind != SectorKind::kNoData) b.data.push_back(sector_data(b, 0));
        if (b.kind == SectorKind::kWeak) {
            for (int v = 1; v < kImageRevolutions; ++v) b.data.push_back(sector_data(b, static_cast<size_t>(v)));
        }
        built.push_back(std::move(b));
    }
    std::vector<MfmCells> revs;
    for (int rev = 0; rev < kImageRevolutions; ++rev) {
        TrackPlan plan;
        for (const BuiltSector& b : built) {
            SectorPlan s;
            s.track = b.id_cylinder;
            s.head = b.id_head;
            s.sector = b.sector;
            s.size_code = b.size_code;
            s.has_data = !b.data.empty();
            if (s.has_data) s.data = b.data[b.data.size() > 1 ? static_cast<size_t>(rev) : 0];
            const SectorKind k = b.kind;
            if (k == SectorKind::kBadDataCrc || k == SectorKind::kWeak || k == SectorKind::kDeletedBadCrc) {
                s.data_crc = 0x1234;
            }
            if (k == SectorKind::kBadIdCrc) s.id_crc = 0x1234;
            if (k == SectorKind::kDeleted || k == SectorKind::kDeletedBadCrc) s.data_mark = 0xF8;
            if (size_code == 3) s.gap4_4e = 40;
            plan.sectors.push_back(s);
        }
        revs.push_back(build_track(plan));
    }
    char name[32];
    std::snprintf(name, sizeof name, "/track%02d.%d.raw", cylinder, head);
    write_file(dir + name, revolutions_to_stream(revs));
    return built;
}

}  // namespace

std::vector<BuiltSector> write_image_disk(const std::string& dir, ImageDiskShape shape) {
    std::vector<BuiltSector> all;
    for (int c = 0; c < 3; ++c) {
        for (int h = 0; h < 2; ++h) {
            std::vector<BuiltSector> t = write_image_track(dir, c, h, 9, 2);
            all.insert(all.end(), t.begin(), t.end());
        }
    }
    if (shape == ImageDiskShape::kMixed) {
        std::vector<BuiltSector> t = write_image_track(dir, 3, 0, 5, 3);
        all.insert(all.end(), t.begin(), t.end());
        write_image_track(dir, 3, 1, 0, 2);
    }
    return all;
}

}  // namespace quen::synth
