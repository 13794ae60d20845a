#include "decode/field_syncs.h"

#include <vector>

#include "decode/marks.h"
#include "decode/mfm.h"

namespace quen {
namespace {

// The 16 cells of a byte as written: clock bit, then data bit, from the high bit down.
uint16_t cells_of(const DecodedByte& b) {
    uint16_t w = 0;
    for (int bit = 7; bit >= 0; --bit) {
        w = static_cast<uint16_t>((w << 2) | (((b.clock >> bit) & 1u) << 1) | ((b.data >> bit) & 1u));
    }
    return w;
}

// The data byte of 16 cells: every second cell, from the second on.
uint8_t data_of(uint16_t cells) {
    uint8_t d = 0;
    for (int bit = 7; bit >= 0; --bit) d = static_cast<uint8_t>((d << 1) | ((cells >> (2 * bit)) & 1u));
    return d;
}

bool is_sync(uint16_t w) { return w == kSyncA1 || w == kSyncC2; }

bool is_address_mark(uint8_t b) { return marks::is_id_mark(b) || marks::is_data_mark(b) || marks::is_index_mark(b); }

}  // namespace

FieldSyncs find_field_syncs(const DecodedByte* bytes, size_t n) {
    FieldSyncs found;
    if (n == 0) return found;
    std::vector<uint16_t> words(n);
    for (size_t i = 0; i < n; ++i) words[i] = cells_of(bytes[i]);
    const size_t cells = n * 16;
    // The 16 cells from cell `at` on; `at` + 16 must not pass the end.
    const auto word_at = [&](size_t at) {
        const size_t i = at / 16;
        const unsigned shift = static_cast<unsigned>(at % 16);
        if (shift == 0) return words[i];
        const uint32_t pair = (uint32_t{words[i]} << 16) | words[i + 1];
        return static_cast<uint16_t>(pair >> (16 - shift));
    };
    for (size_t at = 0; at + 16 <= cells; ++at) {
        if (!is_sync(word_at(at))) continue;
        if (found.patterns < UINT16_MAX) ++found.patterns;
        // Counted from its first pattern, a run is judged once.
        if (at >= 16 && is_sync(word_at(at - 16))) continue;
        size_t run = 0;
        size_t next = at;
        while (next + 16 <= cells && is_sync(word_at(next))) {
            ++run;
            next += 16;
        }
        if (run >= marks::kSynchRunForMark && next + 16 <= cells && is_address_mark(data_of(word_at(next)))) {
            found.then_mark = true;
        }
    }
    return found;
}

}  // namespace quen
