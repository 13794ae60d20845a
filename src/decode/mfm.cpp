#include "decode/mfm.h"

namespace quen {

void MfmShifter::push_cells(uint16_t n) {
    if (n <= 16) {
        bits = (bits << n) | 1u;
    } else {
        // Completes the pending cells to a 16-cell group of empty cells; the
        // transition itself falls outside the register.
        const uint32_t shift = 16 - count;
        bits = shift >= 32 ? 0 : bits << shift;
    }
    count += n;
}

void MfmShifter::next_byte() {
    count = synced == 1 ? sync_pos : count - 16;
    if (count <= 16) {
        window = static_cast<uint16_t>(bits >> count);
    } else {
        window = static_cast<uint16_t>(bits >> 16);
        bits = count <= 32 ? 1u : 0u;
    }
    uint8_t c = 0;
    uint8_t d = 0;
    for (int i = 7; i >= 0; --i) {
        c = static_cast<uint8_t>((c << 1) | ((window >> (2 * i + 1)) & 1));
        d = static_cast<uint8_t>((d << 1) | ((window >> (2 * i)) & 1));
    }
    clock = c;
    data = d;
}

SyncSearch find_sync(const MfmShifter& s) {
    for (uint32_t j = 0; j < s.count && j < 32; ++j) {
        const uint16_t w = static_cast<uint16_t>(s.bits >> j);
        if (w == kSyncA1 || w == kSyncC2) return {true, static_cast<uint16_t>(j)};
    }
    return {false, 0};
}

uint16_t crc_ccitt_byte(uint16_t crc, uint8_t byte) {
    for (int i = 7; i >= 0; --i) {
        const unsigned bit = ((crc >> 15) ^ (byte >> i)) & 1u;
        crc = static_cast<uint16_t>(bit ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

bool in_border_window(int32_t clk, int32_t interval, int32_t cells) {
    const int32_t half = (clk * cells) / 2;
    const int32_t quarter = clk / 4;
    const int32_t tol = clk / 10;
    const int32_t hi = half + quarter;
    const int32_t lo = half - quarter;
    return (hi - tol < interval && interval < hi + tol) || (lo - tol < interval && interval < lo + tol);
}

}  // namespace quen
