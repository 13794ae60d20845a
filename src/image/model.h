// A disk as sector images see it: every track side's sectors in the order they pass the
// head, each with its ID field as read, its address mark and its distinct readings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/marks.h"
#include "sector/readings.h"

namespace quen::image {

// What a sector's data is worth, most trustworthy first; every image format tells these apart.
enum class SectorState : uint8_t {
    kGood,       // some revolution read its ID field and data with right CRCs
    kDataError,  // the data never read with a right CRC, always the same
    kWeak,       // the data never read with a right CRC, and differently from revolution to revolution
    kIdError,    // its ID field's CRC is wrong (whatever data followed)
    kNoData,     // no data address mark followed its ID field
};
const char* state_text(SectorState s);  // "good", "data CRC error", "weak", "ID CRC error", "no data"

// The size a size code stands for; a controller takes every code above 8 as 8.
inline uint32_t nominal_bytes(uint8_t size_code) { return 128u << (size_code > 8 ? 8 : size_code); }

struct Sector {
    uint8_t cylinder = 0;  // the ID field's bytes as read, even when they differ from the track side
    uint8_t head = 0;
    uint8_t sector = 0;
    uint8_t size_code = 0;
    bool id_crc_ok = true;
    SectorReadings readings;

    SectorState state() const;
    bool deleted() const { return marks::is_deleted_data_mark(readings.data_mark); }
    // The reading an image stores when it stores one: the most frequent good one, else
    // the most frequent of all; ties go to the first met. Null without any reading.
    const DataReading* best() const;
};

struct TrackSide {
    int cylinder = 0;  // where the head was: from the stream file's name
    int head = 0;
    uint32_t rate_kbps = 0;  // the controller's transfer rate the track was written at; 0 unknown
    std::vector<Sector> sectors;  // in the order they pass the head; none when unformatted
};

struct Disk {
    std::vector<TrackSide> sides;  // the analysed track sides, by cylinder then head
    std::string source;            // where the captures came from, for the images' comments

    // The highest cylinder with a formatted side + 1, and 2 when a head-1 side is formatted.
    int cylinders() const;
    int heads() const;
    const TrackSide* side(int cylinder, int head) const;
};

// "03.1", as the writers' messages name a track side (as its stream file does), and
// "cylinder 3 head 1 sector 7", as they name a sector.
std::string side_name(const TrackSide& t);
std::string sector_name(int cylinder, int head, int sector);

// The nearest standard transfer rate (250, 300 or 500 kbit/s) to a measured one; 0 stays unknown.
uint32_t standard_rate_kbps(double measured_kbps);

}  // namespace quen::image
