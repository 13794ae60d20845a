// What the decoders find, as the reports and the protection checks read it: the track
// decoder's slots, the ID locator's fields and the sector decoder's layout. Kept apart
// from the machines that fill them, so that a reader of the records needs none of them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/marks.h"
#include "decode/records.h"

namespace quen {

// What an ID field says of its sector, and the CRC bytes of its fields, as read; a track
// slot and a sector layout both carry them.
struct IdFieldRecord {
    uint8_t T = 0;
    uint8_t H = 0;
    uint8_t S = 0;
    uint8_t Z = 2;
    uint16_t id_crc = 0;
    uint16_t data_crc = 0;
};

// The place in an ID field of the byte that leaves `left` bytes of it to come.
inline constexpr uint16_t kIdSectorByteLeft = 4;

// Takes one byte of an ID field, after the address mark, into the record by the bytes of
// the field still to come behind it; true at the byte after the second CRC byte, which
// completes the field. One countdown for every decoder.
inline bool take_id_field_byte(IdFieldRecord& r, uint16_t left, uint8_t b) {
    switch (left) {
        case 6: r.T = b; break;
        case 5: r.H = b; break;
        case kIdSectorByteLeft: r.S = b; break;
        case 3: r.Z = b; break;
        case 2: r.id_crc = b; break;
        case 1: r.id_crc = static_cast<uint16_t>(r.id_crc * 256u + b); break;
        case 0: return true;
        default: break;
    }
    return false;
}

// The same for a DATA field, of which only the CRC bytes are kept.
inline bool take_data_field_byte(IdFieldRecord& r, uint16_t left, uint8_t b) {
    switch (left) {
        case 2: r.data_crc = b; break;
        case 1: r.data_crc = static_cast<uint16_t>(r.data_crc * 256u + b); break;
        case 0: return true;
        default: break;
    }
    return false;
}

// The fault counters one area can hand to another, named so that a merge says which.
enum AreaCounters : uint8_t {
    kCountTmv = 1 << 0,
    kCountBrd = 1 << 1,
    kCountBs = 1 << 2,
    kCountIdg = 1 << 3,
    kCountClocking = 1 << 4,  // over- and under-clocked bytes
};

// Adds `from`'s counters named in `which` to `to`'s, each kept to its 16 bits.
inline void add_counters(AreaInfo& to, const AreaInfo& from, unsigned which) {
    const auto add = [](uint16_t& a, uint16_t b) { a = static_cast<uint16_t>(a + b); };
    if ((which & kCountTmv) != 0) add(to.TMV, from.TMV);
    if ((which & kCountBrd) != 0) add(to.BRD, from.BRD);
    if ((which & kCountBs) != 0) add(to.BS, from.BS);
    if ((which & kCountIdg) != 0) add(to.IDG, from.IDG);
    if ((which & kCountClocking) != 0) {
        add(to.over_clocked, from.over_clocked);
        add(to.under_clocked, from.under_clocked);
    }
}

// ---------------------------------------------------------------- track decoder
struct SectorSlot : IdFieldRecord {
    AreaSet areas{};
    uint8_t used = 0;

    AreaInfo& area(AreaKind k) { return areas[area_index(k)]; }
    const AreaInfo& area(AreaKind k) const { return areas[area_index(k)]; }
};

struct TrackLayout {
    // Slot 0 holds GAP1, IAM and GAP1a; sectors follow from slot 1 on. Starts with
    // kInitialSlots and grows so that every sector gets its own slot, up to kMaxSlots.
    static constexpr size_t kInitialSlots = 25;
    static constexpr size_t kMaxSlots = 256;

    std::vector<SectorSlot> slots;
    uint32_t total_ns = 0;
    uint32_t byte_start_ns = 0;
    uint16_t byte_count = 0;
    uint8_t synch_good = 0;
    uint8_t synch_bad = 0;
    uint8_t data_good = 0;
    uint8_t data_bad = 0;
    uint8_t id_good = 0;
    uint8_t id_bad = 0;
    uint32_t noflux_ns = 0;
};

// Visits slot 0 and the sector slots after it, up to the first slot not in use: the
// readers of a layout never look beyond it.
template <class Visit>
void for_each_used_slot(const TrackLayout& track, Visit&& visit) {
    for (size_t i = 0; i < track.slots.size() && track.slots[i].used != 0; ++i) visit(i, track.slots[i]);
}

// ---------------------------------------------------------------- ID locator
struct IdLayout {
    // Entries 0..254 hold the ID fields found (id_count is 8-bit); entry 255 only
    // collects the faults that follow the 255th field and is read by no report.
    static constexpr size_t kMaxIds = 255;

    std::array<AreaInfo, kMaxIds + 1> ids{};
    uint8_t id_count = 0;
    uint32_t total_ns = 0;
    uint32_t byte_start_ns = 0;
    uint16_t byte_count = 0;
};

// Where a byte of an ID field stands among the field's entries in the ID buffer.
enum class IdEntry : uint8_t { kMark = 0, kTrack = 1, kHead = 2, kSector = 3, kSize = 4 };

// That entry of ID field `field`, or null when the buffer does not hold it.
inline const DecodedByte* id_entry(const ByteBuffer& id_buffer, size_t field, IdEntry which) {
    const size_t at = marks::kIdFieldBytes * field + static_cast<size_t>(which);
    return at < id_buffer.count ? &id_buffer.entries[at] : nullptr;
}
// Its byte, or 0 when the buffer does not hold it.
inline uint8_t id_byte(const ByteBuffer& id_buffer, size_t field, IdEntry which) {
    const DecodedByte* e = id_entry(id_buffer, field, which);
    return e != nullptr ? e->data : 0;
}

// ---------------------------------------------------------------- sector decoder
struct SectorLayout : IdFieldRecord {
    AreaSet areas{};
    uint16_t DOI = 0;
    uint8_t has_data = 0;
    uint16_t FZP = 0;
    uint16_t data_start = 0;
    uint32_t noflux_ns = 0;

    AreaInfo& area(AreaKind k) { return areas[area_index(k)]; }
    const AreaInfo& area(AreaKind k) const { return areas[area_index(k)]; }
};

}  // namespace quen
