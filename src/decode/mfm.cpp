#include "decode/mfm.h"

#include <array>
#include <bit>

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

}  // namespace

const std::array<uint16_t, 256> kCrcTable = crc_table();
const std::array<uint8_t, 256> kSplit = split_table();

SyncSearch search_sync(const MfmShifter& s) {
    // A pattern can only start where its core lies: the A1 one at the core, the C2 one
    // two cells below it. Those places are tried lowest first, as a scan of every place
    // would meet them.
    const uint32_t core = sync_core_positions(s.bits);
    const uint32_t end = s.count < 32 ? s.count : 32;
    for (uint32_t places = core | (core >> 2); places != 0; places &= places - 1) {
        const auto j = static_cast<uint32_t>(std::countr_zero(places));
        if (j >= end) break;
        const uint16_t w = static_cast<uint16_t>(s.bits >> j);
        if (w == kSyncA1 || w == kSyncC2) return {true, static_cast<uint16_t>(j)};
    }
    return {false, 0};
}

}  // namespace quen
