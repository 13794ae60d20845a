// The records every decoder fills: decoded bytes and measured areas.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/unset_allocator.h"

namespace quen {

enum class AreaKind : uint8_t { GAP1a = 0, GAP1 = 1, GAP2 = 2, GAP3 = 3, GAP4 = 4, ID = 5, DATA = 6, IAM = 7 };
inline constexpr size_t kAreaKinds = 8;

inline constexpr size_t area_index(AreaKind k) { return static_cast<size_t>(k); }
inline constexpr bool is_field(AreaKind k) { return k == AreaKind::ID || k == AreaKind::DATA; }

// Double-density MFM thresholds shared by every decoder: an interval of more cells than
// this is a stretch without flux, not a timing fault...
inline constexpr uint16_t kNoFluxCells = 160;
// ...and a byte completed at a bit period above or below these is over- or under-clocked.
inline constexpr uint16_t kOverClockedNs = 4120;
inline constexpr uint16_t kUnderClockedNs = 3880;

struct DecodedByte {
    uint8_t data;
    uint8_t clock;
    uint16_t clk;
    uint32_t position_ns;
};

// Decoded bytes in order. Starts at a given capacity and grows as needed, up to
// kMaxEntries; bytes beyond that are not stored (the decoders still count them). Only
// the first `count` entries hold bytes: the others are unset, and nothing reads them.
struct ByteBuffer {
    static constexpr uint32_t kMaxEntries = 65535;

    explicit ByteBuffer(uint16_t initial_capacity = 0) : entries(initial_capacity), capacity(initial_capacity) {}

    void clear() { count = 0; }
    // Room for `n` entries in all, kept unset until written.
    void reserve(uint16_t n) {
        if (entries.size() >= n) return;
        entries.resize(n);
        capacity = n;
    }
    void append(const DecodedByte& b) {
        if (count >= kMaxEntries) return;
        if (count >= entries.size()) {
            size_t grown = entries.size() < 64 ? 64 : entries.size() * 2;
            if (grown > kMaxEntries) grown = kMaxEntries;
            entries.resize(grown);
            capacity = static_cast<uint16_t>(grown);
        }
        entries[count++] = b;
    }

    std::vector<DecodedByte, UnsetAllocator<DecodedByte>> entries;
    uint16_t count = 0;
    uint16_t capacity = 0;
};

struct AreaInfo {
    uint16_t bytes;
    uint32_t length_ns;
    uint32_t position_ns;
    uint16_t crc;
    uint16_t TMV;
    uint16_t BRD;
    uint16_t BS;
    uint16_t IDG;
    uint16_t over_clocked;
    uint16_t under_clocked;
};

using AreaSet = std::array<AreaInfo, kAreaKinds>;

// Bit period of an area in microseconds per data bit: ns per byte / 8000; 0 for an empty area.
inline double area_clk_us(const AreaInfo& a) {
    if (a.bytes == 0) return 0.0;
    return static_cast<double>(a.length_ns / a.bytes) / 8000.0;
}

// Data field size for a size code: 512 or 1024 for codes 2 and 3, 512 for any other.
inline uint32_t sector_size(uint8_t z) { return (z == 2 || z == 3) ? (128u << z) : 512u; }

}  // namespace quen
