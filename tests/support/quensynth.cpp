// Writes synthetic KryoFlux stream files; `quensynth samples/dd9.raw` regenerates the shipped sample,
// `quensynth --disk DIR` writes a small disk of track files into the folder DIR,
// `quensynth --disk DIR --tracks N` a clean double-sided disk of N cylinders,
// `quensynth --scp disk.scp` an SCP image of two cylinders, and
// `quensynth --image-disk DIR` a disk with every kind of sector, listing its ID fields on
// standard output, one "cylinder head sector bytes" line each in track order.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "support/builder.h"
#include "support/disk_builder.h"
#include "support/scp_builder.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: quensynth [--revs N] [--jitter NS] [--speed F] [--seed N] [--scp] output\n"
                 "       quensynth --disk DIR [--tracks N]\n"
                 "       quensynth --image-disk DIR\n"
                 "       quensynth --full-disk DIR\n"
                 "  Writes a double-density track of nine 512-byte sectors with an index mark,\n"
                 "  or a small disk of track files, clean, protected, damaged and misplaced,\n"
                 "  or with --tracks a clean double-sided disk of N cylinders (1 to 99),\n"
                 "  or a whole 80-cylinder disk with a few bad, weak and deleted sectors.\n"
                 "  With --scp, an SCP image of cylinders 0 and 1, both sides, at its 25 ns clock.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int revs = 3;
    quen::synth::FluxTiming timing;
    timing.jitter_ns = 60.0;
    timing.seed = 20261209;
    const char* out = nullptr;
    const char* disk = nullptr;
    int cylinders = 0;
    const char* full_disk = nullptr;
    bool scp = false;
    const char* image_disk = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (std::strcmp(argv[i], "--revs") == 0 && has_value) {
            revs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--jitter") == 0 && has_value) {
            timing.jitter_ns = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--speed") == 0 && has_value) {
            timing.speed = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--seed") == 0 && has_value) {
            timing.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--scp") == 0) {
            scp = true;
        } else if (std::strcmp(argv[i], "--disk") == 0 && has_value) {
            disk = argv[++i];
        } else if (std::strcmp(argv[i], "--tracks") == 0 && has_value) {
            cylinders = std::atoi(argv[++i]);
            // Two digits name the cylinder in a track file's name.
            if (cylinders < 1 || cylinders > 99) return usage();
        } else if (std::strcmp(argv[i], "--full-disk") == 0 && has_value) {
            full_disk = argv[++i];
        } else if (std::strcmp(argv[i], "--image-disk") == 0 && has_value) {
            image_disk = argv[++i];
        } else if (argv[i][0] != '-' && out == nullptr) {
            out = argv[i];
        } else {
            return usage();
        }
    }
    if (cylinders != 0 && disk == nullptr) return usage();
    if (image_disk != nullptr && disk == nullptr && out == nullptr) {
        try {
            for (const auto& s : quen::synth::write_image_disk(image_disk, quen::synth::ImageDiskShape::kUniform)) {
                std::printf("%d %d %d %u\n", s.id_cylinder, s.id_head, s.sector, 128u << s.size_code);
            }
        } catch (const std::runtime_error& e) {
            std::fprintf(stderr, "quensynth: %s\n", e.what());
            return 1;
        }
        return 0;
    }
    if ((disk != nullptr || full_disk != nullptr) && out == nullptr) {
        try {
            if (full_disk != nullptr) quen::synth::write_full_disk(full_disk);
            if (disk != nullptr && cylinders != 0) {
                quen::synth::write_clean_disk(disk, cylinders);
            } else if (disk != nullptr) {
                quen::synth::write_sample_disk(disk);
            }
        } catch (const std::runtime_error& e) {
            std::fprintf(stderr, "quensynth: %s\n", e.what());
            return 1;
        }
        return 0;
    }
    if (out == nullptr || revs < 1 || revs > 50 || !(timing.speed > 0.5 && timing.speed < 2.0)) return usage();

    std::vector<uint8_t> bytes;
    if (scp) {
        timing.sck = quen::kScpSampleClock;
        std::vector<quen::synth::ScpTrackSide> sides;
        for (uint8_t cylinder = 0; cylinder < 2; ++cylinder) {
            for (uint8_t side = 0; side < 2; ++side) {
                const quen::synth::MfmCells track =
                    quen::synth::build_track(quen::synth::standard_track(cylinder, side));
                const std::vector<quen::synth::MfmCells> turns(static_cast<size_t>(revs), track);
                sides.push_back({{cylinder, side}, quen::synth::revolutions_to_flux(turns, timing)});
            }
        }
        bytes = quen::synth::encode_scp(sides);
    } else {
        const quen::synth::MfmCells track = quen::synth::build_track(quen::synth::standard_track());
        bytes = quen::synth::track_stream(track, revs, timing);
    }
    FILE* f = std::fopen(out, "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "quensynth: cannot create %s\n", out);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "quensynth: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
