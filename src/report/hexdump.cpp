#include <algorithm>
#include <string>

#include "report/format.h"
#include "report/reports.h"

namespace quen {
namespace {

constexpr int kPerLine = 16;

// One dump line under construction: the data and clock bytes as hexadecimal and as
// characters, and the head taken from the line's first entry.
struct DumpLine {
    int32_t offset = 0;
    uint32_t position_ns = 0;
    uint16_t clk = 0;
    int entries = 0;
    std::string data_hex;
    std::string data_chars;
    std::string clock_hex;
    std::string clock_chars;
};

char shown_char(uint8_t b) { return (b >= 0x20 && b <= 0x7F) ? static_cast<char>(b) : '.'; }

void add_entry(DumpLine& line, const DecodedByte& e) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x ", e.data);
    line.data_hex += hex;
    line.data_chars += shown_char(e.data);
    std::snprintf(hex, sizeof hex, "%02x ", e.clock);
    line.clock_hex += hex;
    line.clock_chars += shown_char(e.clock);
    ++line.entries;
}

// A full line's hexadecimal column is exactly 48 characters, so padding to 48 only
// changes a short last line, whose character column then stands under the others.
void print_line(FILE* out, const DumpLine& line, const RunOptions& opts) {
    if (opts.simple_decimal) {
        std::fprintf(out, "  %05d", line.offset);
        std::fprintf(out, "  %-48s %s\n", line.data_hex.c_str(), line.data_chars.c_str());
        return;
    }
    std::fprintf(out, "  %04x", static_cast<unsigned>(line.offset));
    std::fprintf(out, " %-6d", report_text::us_int(line.position_ns));
    std::fprintf(out, " %d", line.clk);
    std::fprintf(out, "  %-48s %s\n", line.data_hex.c_str(), line.data_chars.c_str());
    if (opts.clock_info) {
        std::fprintf(out, "                    %-48s %s\n", line.clock_hex.c_str(), line.clock_chars.c_str());
    }
}

}  // namespace

int32_t hex_dump(uint16_t n, FILE* out, const ByteBuffer& buffer, int32_t start, const RunOptions& opts) {
    const int32_t end = start + n;
    // Only entries the buffer holds are shown; the caller's offsets still advance by n.
    const int32_t shown_end = std::min(end, static_cast<int32_t>(buffer.count));
    if (start < 0) return end;

    DumpLine line;
    for (int32_t i = start; i < shown_end; ++i) {
        const DecodedByte& e = buffer.entries[static_cast<size_t>(i)];
        if (line.entries == 0) {
            line.offset = i;
            line.position_ns = e.position_ns;
            line.clk = e.clk;
        }
        add_entry(line, e);
        if (line.entries == kPerLine) {
            print_line(out, line, opts);
            line = DumpLine{};
        }
    }
    if (line.entries != 0) print_line(out, line, opts);
    return end;
}

}  // namespace quen
