#include <algorithm>
#include <cstring>

#include "report/format.h"
#include "report/reports.h"

namespace quen {
namespace {

constexpr int kPerLine = 16;
// A full line's hexadecimal column: "xx " per entry.
constexpr int kHexColumn = 3 * kPerLine;

char shown_char(uint8_t b) { return (b >= 0x20 && b <= 0x7F) ? static_cast<char>(b) : '.'; }

// The hexadecimal and character columns of one row of data or clock bytes; a short
// last row is padded so that its character column stands under the others.
size_t put_columns(char* out, const DecodedByte* entries, int n, uint8_t DecodedByte::*field) {
    static constexpr char kHex[] = "0123456789abcdef";
    char* p = out;
    for (int i = 0; i < n; ++i) {
        const uint8_t b = entries[i].*field;
        *p++ = kHex[b >> 4];
        *p++ = kHex[b & 15];
        *p++ = ' ';
    }
    for (int i = 3 * n; i < kHexColumn; ++i) *p++ = ' ';
    *p++ = ' ';
    for (int i = 0; i < n; ++i) *p++ = shown_char(entries[i].*field);
    *p++ = '\n';
    return static_cast<size_t>(p - out);
}

// One row is formatted whole and written at once: the report's largest part.
void print_row(FILE* out, const DecodedByte* entries, int n, int32_t offset, const RunOptions& opts) {
    char line[160];
    int head;
    if (opts.simple_decimal) {
        head = std::snprintf(line, sizeof line, "  %05d  ", offset);
    } else {
        head = std::snprintf(line, sizeof line, "  %04x %-6d %d  ", static_cast<unsigned>(offset),
                             report_text::us_int(entries[0].position_ns), entries[0].clk);
    }
    if (head < 0 || static_cast<size_t>(head) >= sizeof line - (kHexColumn + kPerLine + 2)) return;
    size_t len = static_cast<size_t>(head) + put_columns(line + head, entries, n, &DecodedByte::data);
    std::fwrite(line, 1, len, out);
    if (opts.clock_info && !opts.simple_decimal) {
        constexpr int kClockIndent = 20;
        std::memset(line, ' ', kClockIndent);
        len = kClockIndent + put_columns(line + kClockIndent, entries, n, &DecodedByte::clock);
        std::fwrite(line, 1, len, out);
    }
}

}  // namespace

int32_t hex_dump(uint16_t n, FILE* out, const ByteBuffer& buffer, int32_t start, const RunOptions& opts) {
    const int32_t end = start + n;
    // Only entries the buffer holds are shown; the caller's offsets still advance by n.
    const int32_t shown_end = std::min(end, static_cast<int32_t>(buffer.count));
    if (start < 0) return end;

    for (int32_t i = start; i < shown_end; i += kPerLine) {
        const int n = static_cast<int>(std::min<int32_t>(kPerLine, shown_end - i));
        print_row(out, &buffer.entries[static_cast<size_t>(i)], n, i, opts);
    }
    return end;
}

}  // namespace quen
