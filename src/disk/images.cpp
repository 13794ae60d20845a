#include "disk/images.h"

#include <ctime>

#include "base/files.h"

namespace quen::disk {
namespace {

// The header's date and time: when the image was made.
std::string now_text() {
    const std::time_t now = std::time(nullptr);
    std::tm tm_now{};
    char text[32] = "01/01/1970 00:00:00";
    if (now != static_cast<std::time_t>(-1) && localtime_r(&now, &tm_now) != nullptr) {
        std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S", &tm_now);
    }
    return text;
}

bool write_one(const std::string& path, FILE* err, const std::function<void(FILE*)>& write) {
    const std::string why = write_file(path, Replace::kWhole, write);
    if (why.empty()) return true;
    std::fprintf(err, "quendisk: error writing %s: %s\n", path.c_str(), why.c_str());
    return false;
}

void print_warnings(FILE* err, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) std::fprintf(err, "quendisk: %s\n", w.c_str());
}

}  // namespace

image::Disk image_disk_of(const DiskSummary& disk) {
    image::Disk d;
    d.source = disk.dir;
    for (const TrackSummary& t : disk.tracks) {
        if (!t.analysed()) continue;
        image::TrackSide side;
        side.cylinder = t.track;
        side.head = t.side;
        side.rate_kbps = t.length_ms > 0 ? image::standard_rate_kbps(t.bytes * 8.0 / t.length_ms) : 0;
        side.sectors = t.image_sectors;
        d.sides.push_back(std::move(side));
    }
    return d;
}

bool write_images(const ImagePaths& paths, DiskSummary& disk, FILE* err) {
    if (!paths.any()) return true;
    const image::Disk d = image_disk_of(disk);
    for (const TrackSummary& t : disk.tracks) {
        if (t.analysed()) continue;
        std::fprintf(err, "quendisk: %s could not be analysed: the images hold no sector of it\n",
                     t.file_name.c_str());
    }
    bool ok = true;
    if (!paths.raw.empty()) {
        ImageRecord& record = disk.image.emplace();
        record.file = paths.raw;
        image::RawPlan plan = image::plan_raw_image(d);
        if (!plan.refusal.empty()) {
            std::fprintf(err, "quendisk: --image refused: %s\n", plan.refusal.c_str());
            record.refusal = plan.refusal;
            ok = false;
        } else {
            for (const image::FlaggedSector& f : plan.flagged) {
                std::fprintf(err, "quendisk: %s: %s %s (%s)\n", paths.raw.c_str(),
                             image::sector_name(f.cylinder, f.head, f.sector).c_str(),
                             f.filled ? "filled" : "written from bad data", f.why.c_str());
            }
            record.geometry = plan.geometry;
            record.flagged = std::move(plan.flagged);
            record.written =
                write_one(paths.raw, err, [&](FILE* f) { image::write_raw_image(f, d, plan.geometry); });
            ok = record.written && ok;
        }
    }
    if (!paths.edsk.empty()) {
        ok = write_one(paths.edsk, err, [&](FILE* f) { print_warnings(err, image::write_edsk(f, d)); }) && ok;
    }
    if (!paths.imd.empty()) {
        const std::string when = now_text();
        ok = write_one(paths.imd, err, [&](FILE* f) { print_warnings(err, image::write_imd(f, d, when)); }) && ok;
    }
    return ok;
}

}  // namespace quen::disk
