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
    // Takes the byte of the next 16 cells (or of those from the synch pattern at sync_pos).
    void next_byte();
};

// The even bits of a byte in the low nibble, the odd bits in the high one: a cell
// window splits into data (even cells) and clock (odd cells) a byte at a time.
extern const std::array<uint8_t, 256> kSplit;

inline void MfmShifter::next_byte() {
    count = synced == 1 ? sync_pos : count - 16;
    if (count <= 16) {
        window = static_cast<uint16_t>(bits >> count);
    } else {
        window = static_cast<uint16_t>(bits >> 16);
        bits = count <= 32 ? 1u : 0u;
    }
    const uint8_t hi = kSplit[window >> 8];
    const uint8_t lo = kSplit[window & 0xFF];
    data = static_cast<uint8_t>((hi << 4) | (lo & 0x0F));
    clock = static_cast<uint8_t>((hi & 0xF0) | (lo >> 4));
}

// Bit k set where the eight cells from k on read 1000 1001, which both synch patterns
// hold (the A1 one in its low byte, the C2 one two cells up). Most registers hold
// none, which spares them the search for a whole pattern.
inline uint32_t sync_core_positions(uint32_t x) {
    return x & ~(x >> 1) & ~(x >> 2) & (x >> 3) & ~(x >> 4) & ~(x >> 5) & ~(x >> 6) & (x >> 7);
}

struct SyncSearch {
    bool found;
    uint16_t pos;
};

// The search of a register that holds a synch pattern's core.
SyncSearch search_sync(const MfmShifter& shifter);

// Where a synch pattern starts in the register, when one is there.
inline SyncSearch find_sync(const MfmShifter& shifter) {
    if (sync_core_positions(shifter.bits) == 0) return {false, 0};
    return search_sync(shifter);
}

// CRC-CCITT, polynomial 0x1021 (x^16 + x^12 + x^5 + 1), MSB first, no reflection,
// no final inversion; the decoders preset it with 0xFFFF at the first A1 mark.
extern const std::array<uint16_t, 256> kCrcTable;
inline uint16_t crc_ccitt_byte(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ byte) & 0xFF]);
}

// True when the interval lies within a tenth of a bit period of the point halfway
// between two cell counts, where the separator's decision could have gone either way.
// Those points lie a quarter of the bit period either side of half the cells' length, so
// an interval is near one exactly when its distance from the half, less the quarter, is
// below the tenth in size; in 64 bits no difference here overflows. Without branches: on
// jittered intervals each comparison goes either way, and it runs in the separator's loop.
inline bool in_border_window(int32_t clk, int32_t interval, int32_t cells) {
    const int64_t half = (int64_t{clk} * cells) / 2;
    const int64_t off_half = interval - half;
    const int64_t from_quarter = (off_half < 0 ? -off_half : off_half) - clk / 4;
    return (from_quarter < 0 ? -from_quarter : from_quarter) < clk / 10;
}

}  // namespace quen
