// MFM shift register, sync mark search, CRC-CCITT and the border-window test.
#pragma once

#include <array>
#include <cstdint>

namespace quen {

// A1 with the clock bit between data bits 4 and 5 missing: cells 0100 0100 1000 1001.
inline constexpr uint16_t kSyncA1 = 0x4489;
// C2 with the clock bit between data bits 3 and 4 missing: cells 0101 0010 0010 0100.
inline constexpr uint16_t kSyncC2 = 0x5224;

struct MfmShifter {
    uint32_t bits = 0;
    uint32_t count = 0;
    uint8_t data = 0;
    uint8_t clock = 0;
    uint16_t window = 0;
    uint8_t synced = 0;
    uint16_t sync_pos = 0;

    void push_cells(uint16_t n) {
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
    void next_byte();
};

struct SyncSearch {
    bool found;
    uint16_t pos;
};

SyncSearch find_sync(const MfmShifter& shifter);

// CRC-CCITT, polynomial 0x1021 (x^16 + x^12 + x^5 + 1), MSB first, no reflection,
// no final inversion; the decoders preset it with 0xFFFF at the first A1 mark.
extern const std::array<uint16_t, 256> kCrcTable;
inline uint16_t crc_ccitt_byte(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ byte) & 0xFF]);
}

// True when the interval lies within a tenth of a bit period of the point halfway
// between two cell counts, where the separator's decision could have gone either way.
inline bool in_border_window(int32_t clk, int32_t interval, int32_t cells) {
    const int32_t half = (clk * cells) / 2;
    const int32_t quarter = clk / 4;
    const int32_t tol = clk / 10;
    const int32_t hi = half + quarter;
    const int32_t lo = half - quarter;
    // Bitwise, not short-circuit: on jittered intervals each comparison goes either way,
    // and a branch on it would be mispredicted half the time.
    const bool near_hi = (hi - tol < interval) & (interval < hi + tol);
    const bool near_lo = (lo - tol < interval) & (interval < lo + tol);
    return near_hi | near_lo;
}

}  // namespace quen
