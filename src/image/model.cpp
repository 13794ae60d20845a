#include "image/model.h"

#include <cmath>
#include <cstdio>

namespace quen::image {

const char* state_text(SectorState s) {
    switch (s) {
    case SectorState::kGood: return "good";
    case SectorState::kDataError: return "data CRC error";
    case SectorState::kWeak: return "weak";
    case SectorState::kIdError: return "ID CRC error";
    case SectorState::kNoData: return "no data";
    }
    return "good";
}

SectorState Sector::state() const {
    const DataReading* b = best();
    if (b != nullptr && b->crc_ok) return SectorState::kGood;
    if (!id_crc_ok) return SectorState::kIdError;
    if (b == nullptr) return SectorState::kNoData;
    return readings.distinct.size() > 1 ? SectorState::kWeak : SectorState::kDataError;
}

const DataReading* Sector::best() const {
    const DataReading* best = nullptr;
    for (const DataReading& r : readings.distinct) {
        if (best == nullptr || (r.crc_ok && !best->crc_ok) ||
            (r.crc_ok == best->crc_ok && r.revolutions > best->revolutions)) {
            best = &r;
        }
    }
    return best;
}

int Disk::cylinders() const {
    int n = 0;
    for (const TrackSide& t : sides) {
        if (!t.sectors.empty() && t.cylinder + 1 > n) n = t.cylinder + 1;
    }
    return n;
}

int Disk::heads() const {
    for (const TrackSide& t : sides) {
        if (!t.sectors.empty() && t.head == 1) return 2;
    }
    return 1;
}

const TrackSide* Disk::side(int cylinder, int head) const {
    for (const TrackSide& t : sides) {
        if (t.cylinder == cylinder && t.head == head) return &t;
    }
    return nullptr;
}

std::string side_name(const TrackSide& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%d", t.cylinder, t.head);
    return text;
}

std::string sector_name(int cylinder, int head, int sector) {
    return "cylinder " + std::to_string(cylinder) + " head " + std::to_string(head) + " sector " +
           std::to_string(sector);
}

uint32_t standard_rate_kbps(double measured_kbps) {
    if (!(measured_kbps > 0)) return 0;
    uint32_t nearest = 250;
    for (uint32_t r : {300u, 500u}) {
        if (std::fabs(measured_kbps - r) < std::fabs(measured_kbps - nearest)) nearest = r;
    }
    return nearest;
}

}  // namespace quen::image
