#include <algorithm>

#include "image/writers.h"

namespace quen::image {
namespace {

constexpr uint8_t kCylinderMapFlag = 0x80;
constexpr uint8_t kHeadMapFlag = 0x40;
constexpr uint8_t kMaxSizeCode = 6;
constexpr uint8_t kCommentEnd = 0x1A;

// The record kinds: unavailable, then data plain or all one byte, by mark and CRC.
constexpr uint8_t kUnavailable = 0x00;
uint8_t record_type(bool deleted, bool error, bool compressed) {
    return static_cast<uint8_t>(1 + (error ? 4 : 0) + (deleted ? 2 : 0) + (compressed ? 1 : 0));
}

uint8_t mode_of(uint32_t kbps) {
    if (kbps >= 500) return 3;
    if (kbps >= 300) return 4;
    return 5;  // 250 kbit/s MFM, also when unknown: the double-density disks these captures are of
}

// What goes into a track's record, and what the format cannot hold.
struct TrackPlan {
    const TrackSide* side = nullptr;
    std::vector<const Sector*> sectors;  // those written, in track order
    uint8_t size_code = 0;
    bool written = false;
};

TrackPlan plan_track(const TrackSide& t, std::vector<std::string>& warnings) {
    TrackPlan p;
    p.side = &t;
    for (const Sector& s : t.sectors) {
        if (s.state() == SectorState::kIdError) {
            warnings.push_back("IMD: " + sector_name(t.cylinder, t.head, s.sector) +
                               " left out: its ID field has a CRC error");
            continue;
        }
        if (s.state() == SectorState::kWeak) {
            warnings.push_back("IMD: " + sector_name(t.cylinder, t.head, s.sector) +
                               " is weak: only its most frequent reading is kept");
        }
        p.sectors.push_back(&s);
    }
    if (p.sectors.empty()) return p;
    p.size_code = p.sectors.front()->size_code;
    const bool one_size = std::all_of(p.sectors.begin(), p.sectors.end(),
                                      [&](const Sector* s) { return s->size_code == p.size_code; });
    if (!one_size || p.size_code > kMaxSizeCode) {
        warnings.push_back("IMD: track side " + side_name(t) + " left out: " +
                           (one_size ? "its sectors are larger than the format's 8192 bytes"
                                     : "its sectors are of several sizes") +
                           "; --edsk keeps it");
        return p;
    }
    // A reading shorter than the size code says cannot be written as a whole sector.
    for (const Sector* s : p.sectors) {
        const DataReading* r = s->best();
        if (r != nullptr && r->bytes.size() < nominal_bytes(p.size_code)) {
            warnings.push_back("IMD: track side " + side_name(t) + " left out: " +
                               sector_name(t.cylinder, t.head, s->sector) + " holds fewer bytes than its size code " +
                               "says; --edsk keeps it");
            return p;
        }
    }
    p.written = true;
    return p;
}

void write_record(FILE* out, const Sector& s, uint32_t size) {
    const DataReading* r = s.best();
    if (r == nullptr) {
        std::fputc(kUnavailable, out);
        return;
    }
    const bool error = s.state() != SectorState::kGood;
    const auto begin = r->bytes.begin();
    const auto end = begin + size;
    const bool same = std::all_of(begin, end, [&](uint8_t b) { return b == *begin; });
    std::fputc(record_type(s.deleted(), error, same), out);
    if (same) {
        std::fputc(*begin, out);
    } else {
        std::fwrite(r->bytes.data(), 1, size, out);
    }
}

void write_track(FILE* out, const TrackPlan& p) {
    const TrackSide& t = *p.side;
    const bool cylinder_map = std::any_of(p.sectors.begin(), p.sectors.end(),
                                          [&](const Sector* s) { return s->cylinder != t.cylinder; });
    const bool head_map =
        std::any_of(p.sectors.begin(), p.sectors.end(), [&](const Sector* s) { return s->head != t.head; });
    std::fputc(mode_of(t.rate_kbps), out);
    std::fputc(t.cylinder, out);
    std::fputc(t.head | (cylinder_map ? kCylinderMapFlag : 0) | (head_map ? kHeadMapFlag : 0), out);
    std::fputc(static_cast<int>(p.sectors.size()), out);
    std::fputc(p.size_code, out);
    for (const Sector* s : p.sectors) std::fputc(s->sector, out);
    if (cylinder_map) {
        for (const Sector* s : p.sectors) std::fputc(s->cylinder, out);
    }
    if (head_map) {
        for (const Sector* s : p.sectors) std::fputc(s->head, out);
    }
    for (const Sector* s : p.sectors) write_record(out, *s, nominal_bytes(p.size_code));
}

// The comment is ASCII with CR LF line ends and must not end early at a 0x1A.
std::string comment_text(const std::string& s) {
    std::string out;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7F) ? c : '?';
    }
    return out;
}

}  // namespace

std::vector<std::string> write_imd(FILE* out, const Disk& disk, const std::string& when) {
    std::vector<std::string> warnings;
    std::vector<TrackPlan> plans;
    for (const TrackSide& t : disk.sides) {
        if (!t.sectors.empty()) plans.push_back(plan_track(t, warnings));
    }
    std::fprintf(out, "IMD 1.18: %s\r\n", when.c_str());
    std::fprintf(out, "QuenAnalyze sector image from the flux captures in %s\r\n", comment_text(disk.source).c_str());
    for (const std::string& w : warnings) std::fprintf(out, "%s\r\n", comment_text(w).c_str());
    std::fputc(kCommentEnd, out);
    for (const TrackPlan& p : plans) {
        if (p.written) write_track(out, p);
    }
    return warnings;
}

}  // namespace quen::image
