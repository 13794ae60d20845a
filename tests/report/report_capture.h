// Helpers for the report tests: capture what a printer writes, and build buffers.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "decode/records.h"

namespace quen::testing {

// Runs `print` on a temporary file and returns everything it wrote.
template <class Print>
std::string capture(Print&& print) {
    FILE* f = std::tmpfile();
    if (f == nullptr) return "<tmpfile failed>";
    print(f);
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, got);
    std::fclose(f);
    return text;
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

inline std::string blanks(size_t n) { return std::string(n, ' '); }

inline AreaInfo area(uint16_t bytes, uint32_t position_ns, uint32_t length_ns) {
    AreaInfo a{};
    a.bytes = bytes;
    a.position_ns = position_ns;
    a.length_ns = length_ns;
    return a;
}

}  // namespace quen::testing
