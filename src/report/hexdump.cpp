#include <algorithm>
#include <charconv>
#include <cstring>

#include "report/format.h"
#include "report/reports.h"

namespace quen {
namespace {

constexpr int kPerLine = 16;
// A full line's hexadecimal column: "xx " per entry.
constexpr int kHexColumn = 3 * kPerLine;
constexpr char kHex[] = "0123456789abcdef";

char shown_char(uint8_t b) { return (b >= 0x20 && b <= 0x7F) ? static_cast<char>(b) : '.'; }

// The hexadecimal and character columns of one row of data or clock bytes; a short
// last row is padded so that its character column stands under the others.
size_t put_columns(char* out, const DecodedByte* entries, int n, uint8_t DecodedByte::*field) {
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

// "  %04x %-6d %d  " of the offset, the time in us and the bit period, as printf would
// write them (all three are never negative); without printf, as every row has one.
size_t put_head(char* out, uint32_t offset, uint32_t position_us, uint32_t clk) {
    char* p = out;
    *p++ = ' ';
    *p++ = ' ';
    int hex_digits = 4;  // more only past a buffer's 65535 entries
    while (hex_digits < 8 && (offset >> (4 * hex_digits)) != 0) ++hex_digits;
    for (int i = hex_digits - 1; i >= 0; --i) *p++ = kHex[(offset >> (4 * i)) & 15];
    *p++ = ' ';
    char* const position = p;
    p = std::to_chars(p, p + 10, position_us).ptr;
    while (p - position < 6) *p++ = ' ';
    *p++ = ' ';
    p = std::to_chars(p, p + 10, clk).ptr;
    *p++ = ' ';
    *p++ = ' ';
    return static_cast<size_t>(p - out);
}

// One row is formatted whole and written at once: the report's largest part.
void print_row(FILE* out, const DecodedByte* entries, int n, int32_t offset, const RunOptions& opts) {
    char line[160];
    // The longest head (eight hexadecimal digits, ten and five decimal ones) and columns.
    static_assert(sizeof line >= 2 + 8 + 1 + 10 + 1 + 5 + 2 + kHexColumn + 1 + kPerLine + 1);
    size_t head;
    if (opts.simple_decimal) {
        head = static_cast<size_t>(std::snprintf(line, sizeof line, "  %05d  ", offset));
    } else {
        head = put_head(line, static_cast<uint32_t>(offset),
                        static_cast<uint32_t>(report_text::us_int(entries[0].position_ns)), entries[0].clk);
    }
    size_t len = head + put_columns(line + head, entries, n, &DecodedByte::data);
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
