// Decoding records made by hand, for tests that start behind the decoders.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/records.h"

namespace quen::testing {

// What an area holds besides its size and place, named at the call: {.crc = 1, .BS = 2}.
struct AreaMarks {
    uint16_t crc = 0;
    uint16_t TMV = 0;
    uint16_t BRD = 0;
    uint16_t BS = 0;
    uint16_t IDG = 0;
};

inline AreaInfo area(uint16_t bytes, uint32_t position_ns, uint32_t length_ns, const AreaMarks& marks = {}) {
    AreaInfo a{};
    a.bytes = bytes;
    a.position_ns = position_ns;
    a.length_ns = length_ns;
    a.crc = marks.crc;
    a.TMV = marks.TMV;
    a.BRD = marks.BRD;
    a.BS = marks.BS;
    a.IDG = marks.IDG;
    return a;
}

// A buffer holding the given data bytes, all with the same clock byte, a bit period
// of 4000 ns, and byte i starting at first_ns + i * 32000 ns.
inline ByteBuffer bytes_at(const std::vector<uint8_t>& data, uint32_t first_ns, uint8_t clock = 0x00) {
    ByteBuffer buffer(16);
    for (size_t i = 0; i < data.size(); ++i) {
        buffer.append(DecodedByte{data[i], clock, 4000, first_ns + static_cast<uint32_t>(i) * 32000u});
    }
    return buffer;
}

}  // namespace quen::testing
