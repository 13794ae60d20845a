// Report text that more than one report prints: unit conversions, CRC verdicts and
// the table cells and detail lines shared between the track, ID and sector reports.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "decode/records.h"
#include "base/options.h"
#include "report/reports.h"

namespace quen::report_text {

// Times are kept in ns; the reports show them in these three ways.
inline int us_int(uint32_t ns) { return static_cast<int>(ns / 1000u); }
inline double us_real(uint32_t ns) { return static_cast<double>(ns) / 1000.0; }
inline double ms_real(uint32_t ns) { return static_cast<double>(ns) / 1000000.0; }

// Whether a bad CRC with a synch fault in the same field is shown as doubtful rather
// than bad: a sync pattern inside a field may have re-aligned the bytes, so the CRC
// failure need not mean damaged data. Only the track table makes that distinction.
enum class SynchDoubt { shown, ignored };

// Four-character CRC cell of the tables: " OK ", " BAD" or " ?  ".
const char* crc_cell(const AreaInfo& field, SynchDoubt doubt);
// CRC word of the detail lines: "OK" or "BAD".
const char* crc_word(uint16_t crc);
// CRC word of the ID lines and the track DATA line: "OK" or "*** BAD ***".
const char* crc_word_loud(uint16_t crc);

// TMV, BRD and bit time of a field, as the three tables show them.
void print_faults_clk(FILE* out, const AreaInfo& field);
// Sector number, position and length of an ID field in the track and sector tables.
void print_id_cells(FILE* out, uint8_t sector, const AreaInfo& id);

struct IdBytes {
    uint8_t T;
    uint8_t H;
    uint8_t S;
    uint8_t Z;
};

// The ID line of the track and sector detail dumps; the track dump also shows the
// CRC bytes as read.
void print_id_detail(FILE* out, const IdBytes& id_bytes, const AreaInfo& id, std::optional<uint16_t> crc_read);
// The start of the DATA line of the track and sector detail dumps, up to the length.
void print_data_detail_head(FILE* out, uint8_t sector, const AreaInfo& data);
// The GAP3 or GAP4 line of the track and sector detail dumps.
void print_gap_detail(FILE* out, const char* name, const AreaInfo& gap);

// Prints an area's line and then its bytes from `offset`; an area without bytes
// prints neither. Returns the offset after the area.
template <class PrintLine>
int32_t area_with_bytes(FILE* out, const AreaInfo& area, const ByteBuffer& buffer, int32_t offset,
                        const RunOptions& opts, PrintLine&& print_line) {
    if (area.bytes == 0) return offset;
    print_line();
    return hex_dump(area.bytes, out, buffer, offset, opts);
}

}  // namespace quen::report_text
