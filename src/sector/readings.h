// What the revolutions read of a sector's DATA field, kept for callers that write the
// data out (sector images); each distinct reading once.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/records.h"
#include "sector/sector.h"

namespace quen {

// One distinct reading of the data between the DATA field's mark and its CRC bytes.
struct DataReading {
    std::vector<uint8_t> bytes;  // as far as the field was read
    bool crc_ok = false;         // the field was read whole and its CRC and its ID field's are right
    uint16_t revolutions = 0;    // how many revolutions read exactly this
    uint8_t first_revolution = 0;  // 0-based: the first that read it
};

// A crafted stream can hold hundreds of ID fields over hundreds of revolutions: beyond
// this many distinct readings a sector's further ones are only counted.
inline constexpr size_t kMaxReadingsPerSector = 4;

struct SectorReadings {
    std::vector<DataReading> distinct;  // in the order first met: the analysed revolution first
    uint16_t dropped = 0;               // revolutions whose distinct reading was not kept
    uint8_t data_mark = 0;              // the first DATA field's address mark; 0 when none was read

    // Adds what one revolution's decoding of the sector read; a decoding without a DATA
    // field adds nothing.
    void add(uint8_t revolution, const SectorLayout& layout, const ByteBuffer& buffer);
};

}  // namespace quen
