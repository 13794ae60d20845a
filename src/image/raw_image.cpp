#include <algorithm>
#include <cstdio>

#include "image/writers.h"

namespace quen::image {
namespace {

constexpr int kMaxPlainSizeCode = 6;

struct TrackShape {
    int first = 0;
    int last = -1;
    int size_code = -1;  // -1: sectors of several sizes
};

// Only ID fields with a right CRC speak for the track's shape, unless it has none.
TrackShape shape_of(const TrackSide& t) {
    const bool any_good = std::any_of(t.sectors.begin(), t.sectors.end(), [](const Sector& s) { return s.id_crc_ok; });
    TrackShape shape;
    bool first = true;
    for (const Sector& s : t.sectors) {
        if (any_good && !s.id_crc_ok) continue;
        if (first) {
            shape = {s.sector, s.sector, s.size_code};
            first = false;
            continue;
        }
        shape.first = std::min<int>(shape.first, s.sector);
        shape.last = std::max<int>(shape.last, s.sector);
        if (shape.size_code != s.size_code) shape.size_code = -1;
    }
    return shape;
}

std::string shape_text(const TrackShape& s) {
    if (s.size_code < 0) return "sectors of several sizes";
    char text[96];
    std::snprintf(text, sizeof text, "%d sectors %d-%d of %u bytes", s.last - s.first + 1, s.first, s.last,
                  nominal_bytes(static_cast<uint8_t>(s.size_code)));
    return text;
}

// The sector of the track side that stands for number r: of several, the one in the
// best state, the first of them on the track.
const Sector* sector_for(const TrackSide* t, int r) {
    if (t == nullptr) return nullptr;
    const Sector* chosen = nullptr;
    for (const Sector& s : t->sectors) {
        if (s.sector != r) continue;
        if (chosen == nullptr || s.state() < chosen->state()) chosen = &s;
    }
    return chosen;
}

// Calls visit(c, h, r, sector or null) for every sector of the image, in file order.
template <class Visit>
void each_sector(const Disk& disk, const Geometry& g, Visit&& visit) {
    for (int c = 0; c < g.cylinders; ++c) {
        for (int h = 0; h < g.heads; ++h) {
            const TrackSide* t = disk.side(c, h);
            for (int r = g.first_sector; r < g.first_sector + g.sectors; ++r) visit(c, h, r, sector_for(t, r));
        }
    }
}

}  // namespace

RawPlan plan_raw_image(const Disk& disk) {
    RawPlan plan;
    const TrackSide* reference = nullptr;
    TrackShape shape;
    for (const TrackSide& t : disk.sides) {
        if (t.sectors.empty()) continue;
        const TrackShape s = shape_of(t);
        if (reference == nullptr) {
            reference = &t;
            shape = s;
            if (s.size_code >= 0) continue;
        }
        if (s.size_code < 0 || s.first != shape.first || s.last != shape.last || s.size_code != shape.size_code) {
            plan.refusal = "track side " + side_name(t) + " has " + shape_text(s);
            if (&t != reference) plan.refusal += ", not " + shape_text(shape) + " as track side " + side_name(*reference);
            plan.refusal += ": a plain image needs one geometry; --edsk keeps every track as it is";
            return plan;
        }
    }
    if (reference == nullptr) {
        plan.refusal = "no track side has a sector: there is nothing to write";
        return plan;
    }
    // The decoder reads 512 bytes of such sectors: the image would be fill for the most part.
    if (shape.size_code > kMaxPlainSizeCode) {
        plan.refusal = "its sectors are larger than 8192 bytes; --edsk keeps what was read of them";
        return plan;
    }
    Geometry& g = plan.geometry;
    g.cylinders = disk.cylinders();
    g.heads = disk.heads();
    g.first_sector = shape.first;
    g.sectors = shape.last - shape.first + 1;
    g.size_code = static_cast<uint8_t>(shape.size_code);
    each_sector(disk, g, [&](int c, int h, int r, const Sector* s) {
        if (s == nullptr) {
            plan.flagged.push_back({c, h, r, "not found", true});
        } else if (s->state() != SectorState::kGood) {
            plan.flagged.push_back({c, h, r, state_text(s->state()), s->best() == nullptr});
        }
    });
    return plan;
}

void write_raw_image(FILE* out, const Disk& disk, const Geometry& g) {
    const uint32_t size = g.sector_bytes();
    std::vector<uint8_t> bytes;
    each_sector(disk, g, [&](int, int, int, const Sector* s) {
        bytes.assign(size, kFillByte);
        const DataReading* r = s != nullptr ? s->best() : nullptr;
        if (r != nullptr) std::copy_n(r->bytes.begin(), std::min<size_t>(size, r->bytes.size()), bytes.begin());
        std::fwrite(bytes.data(), 1, bytes.size(), out);
    });
}

}  // namespace quen::image
