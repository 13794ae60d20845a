#include "decode/track_plot.h"

namespace quen {

TrackPlot::TrackPlot(const RunOptions& opts) : layout_file(opts, "layout.dat", "Could not open plot layout file\n") {
    if (layout_file.failed()) return;
    trans_file = PlotFile(opts, "trans.dat", "Could not open plot transition file\n");
    if (!trans_file.failed()) write_trans_header(trans_file.get());
}

void TrackPlot::sample(uint32_t total_ns, uint16_t clk, int32_t interval_ns, uint16_t cells) {
    const uint8_t k = sample_counter % 5;
    sample_counter = static_cast<uint8_t>(k + 1);
    if (k == 0) write_trans_line(trans_file.get(), total_ns, clk, interval_ns, cells);
}

void TrackPlot::finish(const TrackLayout& layout) {
    write_track_layout_plot(layout_file.get(), layout);
    if (layout_file.close()) trans_file.close();
}

namespace {

uint32_t start_us(const AreaInfo& a) { return a.position_ns / 1000; }
uint32_t len_us(const AreaInfo& a) { return a.length_ns / 1000; }

void write_span(FILE* f, const AreaInfo& a, const char* label) {
    const uint32_t start = start_us(a);
    std::fprintf(f, "%-6d %-6d %s\n", static_cast<int>(start), static_cast<int>(start + len_us(a)), label);
}

}  // namespace

void write_track_layout_plot(FILE* f, const TrackLayout& layout) {
    std::fputs("//\n//strt end    phase\n//\n", f);
    if (layout.slots.empty()) return;

    const SectorSlot& lead = layout.slots[0];
    const uint32_t g = len_us(lead.area(AreaKind::GAP1)) + len_us(lead.area(AreaKind::IAM)) +
                       len_us(lead.area(AreaKind::GAP1a));
    if (g != 0) std::fprintf(f, "%-6d %-6d G1 brightgreen\n", 0, static_cast<int>(g));

    for_each_used_slot(layout, [f](size_t i, const SectorSlot& s) {
        if (i == 0) return;  // slot 0 is the G1 line above
        const AreaInfo& gap2 = s.area(AreaKind::GAP2);
        const AreaInfo& id = s.area(AreaKind::ID);
        const AreaInfo& gap3 = s.area(AreaKind::GAP3);
        const AreaInfo& data = s.area(AreaKind::DATA);
        const AreaInfo& gap4 = s.area(AreaKind::GAP4);
        if (len_us(gap2) != 0) write_span(f, gap2, "G2 green");
        if (len_us(id) != 0) {
            const uint32_t start = start_us(id);
            std::fprintf(f, "%-6d %-6d %d yellow\n", static_cast<int>(start), static_cast<int>(start + len_us(id)),
                         s.S);
        }
        if (len_us(gap3) != 0) write_span(f, gap3, "G3 kelleygreen");
        if (len_us(data) != 0) write_data_span_line(f, s.S, data, data.crc != 0 ? "red" : "blue");
        // A GAP4 shorter than a microsecond still marks where the sector ends.
        if (gap4.length_ns != 0) write_span(f, gap4, "G4 teal");
    });
}

}  // namespace quen
