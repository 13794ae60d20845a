#include "sector/sector_plot.h"

#include <string>

#include "decode/flux_reader.h"

namespace quen {
namespace {

std::string plot_name(const char* kind, uint8_t sector) {
    return std::string("sec_") + kind + "_" + std::to_string(sector) + ".dat";
}

const char* kGrey = "gray(0.6)";

// Start and end of an area in microseconds, each divided on its own.
struct Span {
    int start;
    int end;
};

Span span_us(const AreaInfo& a) {
    const uint32_t start = a.position_ns / 1000;
    return {static_cast<int>(start), static_cast<int>(start + a.length_ns / 1000)};
}

}  // namespace

bool open_sector_plots(SectorPlotFiles& files, const RunOptions& opts, uint8_t sector) {
    files.trans = PlotFile(opts, plot_name("trans", sector), "Could not open plot transition file\n");
    if (files.trans.failed()) return false;
    write_trans_header(files.trans.get());
    files.bytes = PlotFile(opts, plot_name("data", sector), "Could not open plot data file\n");
    if (files.bytes.failed()) return false;
    std::fputs("//\n//st   end    DT CK BOTH color_data color_clock color_both\n//\n", files.bytes.get());
    return true;
}

void write_sector_byte_line(FILE* f, uint32_t start_ns, uint32_t end_ns, uint8_t data, uint8_t clock,
                            uint16_t window, uint16_t clk, const ByteMarks& marks, uint8_t sync_count) {
    const char* colour_data = marks.gap_mark ? "orange" : marks.flux_fault ? "red" : kGrey;
    const char* colour_clock = clk > kOverClockedNs ? "red" : clk < kUnderClockedNs ? "green" : kGrey;
    const char* colour_both = marks.synch_fault ? "red" : sync_count != 0 ? "yellow" : kGrey;
    std::fprintf(f, "%-6d %-6d %02X %02X %04X %s %s %s\n", static_cast<int>(start_ns / 1000),
                 static_cast<int>(end_ns / 1000), unsigned{data}, unsigned{clock}, unsigned{window}, colour_data,
                 colour_clock, colour_both);
}

PlotFile open_sector_layout_plot(const RunOptions& opts, uint8_t sector) {
    PlotFile f(opts, plot_name("layout", sector), "Could not open plot layout file\n");
    if (!f.failed()) std::fputs("//\n//st   end    phase\n//\n", f.get());
    return f;
}

void write_sector_layout_lines(FILE* f, const SectorLayout& layout) {
    std::fputs("//\n//strt end    phase\n//\n", f);
    const AreaInfo& id = layout.area(AreaKind::ID);
    const Span id_span = span_us(id);
    std::fprintf(f, "%-6d %-6d %d %s\n", id_span.start, id_span.end, layout.S, id.crc != 0 ? "red" : "yellow");
    const Span gap3 = span_us(layout.area(AreaKind::GAP3));
    std::fprintf(f, "%-6d %-6d GAP3 kelleygreen\n", gap3.start, gap3.end);
    const AreaInfo& data = layout.area(AreaKind::DATA);
    // A fuzzy sector is marked as such even when its CRC is also bad.
    const char* colour = layout.FZP != 0 ? "orange" : data.crc != 0 ? "red" : "blue";
    write_data_span_line(f, layout.S, data, colour);
    const Span gap4 = span_us(layout.area(AreaKind::GAP4));
    std::fprintf(f, "%-6d %-6d GAP4 kelleygreen\n", gap4.start, gap4.end);
}

}  // namespace quen
