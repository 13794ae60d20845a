// The bytes the decoders' state machines look for, named once for all of them.
#pragma once

#include <cstdint>

namespace quen::marks {

// Bytes of an ID field from its address mark: mark, T, H, S, Z and two CRC bytes.
inline constexpr uint16_t kIdFieldBytes = 7;
// A DATA field holds its mark and two CRC bytes besides the sector's data.
inline constexpr uint16_t kDataFieldExtraBytes = 3;
// Only a run of this synch byte presets the CRC; a C2 run leads to the index mark, which has none.
inline constexpr uint8_t kCrcSynch = 0xA1;
// Synch bytes in a row that make the next byte an address mark.
inline constexpr uint8_t kSynchRunForMark = 3;

inline constexpr bool is_index_mark(uint8_t b) { return b == 0xFC || b == 0xFD; }
inline constexpr bool is_id_mark(uint8_t b) { return b == 0xFE || b == 0xFF; }
inline constexpr bool is_data_mark(uint8_t b) { return b >= 0xF8 && b <= 0xFB; }
// The mark a controller writes for deleted data (its "control mark"); FB is ordinary data,
// and the two marks between are read as data marks but written by no PC controller.
inline constexpr bool is_deleted_data_mark(uint8_t b) { return b == 0xF8; }
// Bytes a formatting controller takes as commands and cannot write as data; a gap holding them is counted.
inline constexpr bool is_gap_mark(uint8_t b) { return b >= 0xF5 && b <= 0xF7; }
// The bytes a sync zone starts with.
inline constexpr bool opens_sync_zone(uint8_t b) { return b == 0x00 || b == 0xFF; }

}  // namespace quen::marks
