#include "decode/mfm.h"

#include <array>

namespace quen {
namespace {

// The CRC register after shifting in eight bits with the top byte t and zeros below.
constexpr std::array<uint16_t, 256> crc_table() {
    std::array<uint16_t, 256> table{};
    for (unsigned t = 0; t < 256; ++t) {
        uint16_t crc = static_cast<uint16_t>(t << 8);
        for (int i = 0; i < 8; ++i) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[t] = crc;
    }
    return table;
}

// The even bits of a byte in the low nibble, the odd bits in the high one: a cell
// window splits into data (even cells) and clock (odd cells) a byte at a time.
constexpr std::array<uint8_t, 256> split_table() {
    std::array<uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned even = 0;
        unsigned odd = 0;
        for (int i = 3; i >= 0; --i) {
            even = (even << 1) | ((v >> (2 * i)) & 1);
            odd = (odd << 1) | ((v >> (2 * i + 1)) & 1);
        }
        table[v] = static_cast<uint8_t>(even | (odd << 4));
    }
    return table;
}

constexpr std::array<uint8_t, 256> kSplit = split_table();

// Bit k set where the eight cells from k on read 1000 1001, which both synch patterns
// hold (the A1 one in its low byte, the C2 one two cells up).
uint32_t sync_core_positions(uint32_t x) {
    return x & ~(x >> 1) & ~(x >> 2) & (x >> 3) & ~(x >> 4) & ~(x >> 5) & ~(x >> 6) & (x >> 7);
}

}  // namespace

const std::array<uint16_t, 256> kCrcTable = crc_table();

void MfmShifter::next_byte() {
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

SyncSearch find_sync(const MfmShifter& s) {
    if (sync_core_positions(s.bits) == 0) return {false, 0};
    for (uint32_t j = 0; j < s.count && j < 32; ++j) {
        const uint16_t w = static_cast<uint16_t>(s.bits >> j);
        if (w == kSyncA1 || w == kSyncC2) return {true, static_cast<uint16_t>(j)};
    }
    return {false, 0};
}

}  // namespace quen
