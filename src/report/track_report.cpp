#include "report/format.h"
#include "report/reports.h"

namespace quen {
namespace {

using namespace report_text;

constexpr const char* kTableRule =
    "-----------+------------------+-----------+---------------------------+------------\n";

void print_head_table_lines(FILE* out, const SectorSlot& head) {
    const AreaInfo& gap1 = head.area(AreaKind::GAP1);
    const AreaInfo& iam = head.area(AreaKind::IAM);
    const AreaInfo& gap1a = head.area(AreaKind::GAP1a);
    std::fprintf(out, "GAP1 %d bytes length=%.2f us\n", gap1.bytes, us_real(gap1.length_ns));
    if (iam.bytes != 0) {
        std::fprintf(out, "IAM %d bytes position=%.3f ms length=%.2f us\n", iam.bytes, ms_real(iam.position_ns),
                     us_real(iam.length_ns));
    }
    if (gap1a.bytes != 0) {
        std::fprintf(out, "GAP1a %d bytes position=%.3f ms length=%.2f us\n", gap1a.bytes,
                     ms_real(gap1a.position_ns), us_real(gap1a.length_ns));
    }
    std::fputs(kTableRule, out);
    std::fputs("GAP2       |ID                |GAP3       |DATA                       |GAP4\n", out);
    std::fputs("Bt   Lgt   |Sct Pos    Lgt CRC|Bt  Lgt  BS|Bt   Lgt   CRC TMV BRD Clk |Bt  Lgt   BS\n", out);
    std::fputs(kTableRule, out);
}

void print_sector_table_line(FILE* out, const SectorSlot& slot) {
    const AreaInfo& gap2 = slot.area(AreaKind::GAP2);
    const AreaInfo& id = slot.area(AreaKind::ID);
    const AreaInfo& gap3 = slot.area(AreaKind::GAP3);
    const AreaInfo& data = slot.area(AreaKind::DATA);
    const AreaInfo& gap4 = slot.area(AreaKind::GAP4);

    std::fprintf(out, "%-4d %-6d", gap2.bytes, us_int(gap2.length_ns));
    if (id.bytes != 0) {
        std::fputs("|", out);
        print_id_cells(out, slot.S, id);
        std::fputs(crc_cell(id, SynchDoubt::shown), out);
    } else {
        std::fputs("|NO ID             ", out);
    }
    std::fprintf(out, "|%-3d %-4d %2d", gap3.bytes, us_int(gap3.length_ns), gap3.BS);
    if (data.bytes != 0) {
        std::fprintf(out, "|%-4d %-5d", data.bytes, us_int(data.length_ns));
        std::fputs(crc_cell(data, SynchDoubt::shown), out);
        print_faults_clk(out, data);
    } else {
        std::fputs("|NO DATA                    ", out);
    }
    std::fprintf(out, "|%-3d %-5d %2d\n", gap4.bytes, us_int(gap4.length_ns), gap4.BS);
}

int32_t dump_head(FILE* out, const SectorSlot& head, const ByteBuffer& buffer, int32_t offset,
                  const RunOptions& opts) {
    const AreaInfo& gap1 = head.area(AreaKind::GAP1);
    offset = area_with_bytes(out, gap1, buffer, offset, opts, [&] {
        std::fprintf(out, "+ GAP1 %d bytes @%.3f ms length=%.2f us - TMV=%d BRD=%d BS=%d\n", gap1.bytes,
                     ms_real(gap1.position_ns), us_real(gap1.length_ns), gap1.TMV, gap1.BRD, gap1.BS);
    });
    for (AreaKind kind : {AreaKind::IAM, AreaKind::GAP1a}) {
        const AreaInfo& area = head.area(kind);
        offset = area_with_bytes(out, area, buffer, offset, opts, [&] {
            std::fprintf(out, "+ %s %d bytes @%.3f ms length=%.2f us - TMV=%d BRD=%d\n",
                         kind == AreaKind::IAM ? "IAM" : "GAP1a", area.bytes, ms_real(area.position_ns),
                         us_real(area.length_ns), area.TMV, area.BRD);
        });
    }
    return offset;
}

int32_t dump_sector(FILE* out, const SectorSlot& slot, const ByteBuffer& buffer, int32_t offset,
                    const RunOptions& opts) {
    const AreaInfo& gap2 = slot.area(AreaKind::GAP2);
    const AreaInfo& id = slot.area(AreaKind::ID);
    const AreaInfo& gap3 = slot.area(AreaKind::GAP3);
    const AreaInfo& data = slot.area(AreaKind::DATA);
    const AreaInfo& gap4 = slot.area(AreaKind::GAP4);

    offset = area_with_bytes(out, gap2, buffer, offset, opts, [&] {
        std::fprintf(out, "\n+ GAP2 %d bytes @%d us length=%.2f us - TMV=%d BRD=%d\n", gap2.bytes,
                     us_int(gap2.position_ns), us_real(gap2.length_ns), gap2.TMV, gap2.BRD);
    });
    offset = area_with_bytes(out, id, buffer, offset, opts, [&] {
        print_id_detail(out, IdBytes{slot.T, slot.H, slot.S, slot.Z}, id, slot.id_crc);
    });
    offset = area_with_bytes(out, gap3, buffer, offset, opts, [&] { print_gap_detail(out, "GAP3", gap3); });
    offset = area_with_bytes(out, data, buffer, offset, opts, [&] {
        print_data_detail_head(out, slot.S, data);
        std::fprintf(out, " us - CRC=%04x %s - TMV=%d BRD=%d BS=%d\n", slot.data_crc, crc_word_loud(data.crc),
                     data.TMV, data.BRD, data.BS);
    });
    return area_with_bytes(out, gap4, buffer, offset, opts, [&] { print_gap_detail(out, "GAP4", gap4); });
}

}  // namespace

void print_track_layout(FILE* out, const TrackLayout& track) {
    std::fputs("\n****************************************************************************\n", out);
    std::fprintf(out, "Track Layout Information: %d Bytes - length=%g ms\n", track.byte_count - 1,
                 ms_real(track.total_ns));
    std::fprintf(out, "ID Good/Bad=%d/%d - Data Good/Bad=%d/%d - Synch Good/Bad =%d/%d\n", track.id_good,
                 track.id_bad, track.data_good, track.data_bad, track.synch_good, track.synch_bad);
    std::fputs("****************************************************************************\n\n", out);
    for_each_used_slot(track, [&](size_t i, const SectorSlot& slot) {
        if (i == 0) {
            print_head_table_lines(out, slot);
        } else {
            print_sector_table_line(out, slot);
        }
    });
    std::fputs(kTableRule, out);
    std::fputs("\n", out);
}

void print_track_detail(FILE* out, const TrackLayout& track, const ByteBuffer& buffer, const RunOptions& opts) {
    std::fprintf(out, "Detail buffer content %d bytes\n", buffer.count);
    if (opts.simple_decimal) {
        hex_dump(buffer.count, out, buffer, 0, opts);
        return;
    }
    int32_t offset = 0;
    for_each_used_slot(track, [&](size_t i, const SectorSlot& slot) {
        offset = i == 0 ? dump_head(out, slot, buffer, offset, opts) : dump_sector(out, slot, buffer, offset, opts);
    });
}

}  // namespace quen
