#include "report/format.h"
#include "report/reports.h"

namespace quen {
namespace {

using namespace report_text;

constexpr const char* kSectorsRule =
    "------------------+-------+--------------------------------------------+--------\n";

void print_sector_table_line(FILE* out, const SectorLayout& sector) {
    const AreaInfo& id = sector.area(AreaKind::ID);
    const AreaInfo& gap3 = sector.area(AreaKind::GAP3);
    const AreaInfo& data = sector.area(AreaKind::DATA);
    const AreaInfo& gap4 = sector.area(AreaKind::GAP4);

    // The ID cells are printed whatever the ID area holds, so every sector asked for
    // keeps its line even when its ID field was not read again.
    print_id_cells(out, sector.S, id);
    std::fputs(crc_cell(id, SynchDoubt::ignored), out);
    std::fprintf(out, "|%-2d %-4d", gap3.bytes, us_int(gap3.length_ns));
    if (data.bytes != 0) {
        std::fprintf(out, "|%-4d %-6d %-5d", data.bytes, us_int(data.position_ns), us_int(data.length_ns));
        std::fputs(crc_cell(data, SynchDoubt::ignored), out);
        print_faults_clk(out, data);
        std::fprintf(out, " %-4d %-4d", sector.DOI, sector.FZP);
    } else {
        std::fputs("|NO DATA                                     ", out);
    }
    std::fprintf(out, "|%-3d %-4d\n", gap4.bytes, us_int(gap4.length_ns));
}

}  // namespace

void print_all_sectors(FILE* out, int32_t n, const SectorLayout* sectors) {
    std::fputs("\n\nAll Sectors Layout Information: \n", out);
    std::fputs(kSectorsRule, out);
    std::fputs("ID                |GAP3   |DATA                                        |GAP4\n", out);
    std::fputs("Sct Pos    Lgt CRC|Bt Lgt |Bt   Pos    Lgt   CRC TMV BRD Clk  DOI  FZP |Bt  Lgt\n", out);
    std::fputs(kSectorsRule, out);
    for (int32_t i = 0; i < n; ++i) print_sector_table_line(out, sectors[i]);
    std::fputs(kSectorsRule, out);
}

void print_sector_detail(FILE* out, const SectorLayout& sector, const ByteBuffer& buffer, const RunOptions& opts) {
    const AreaInfo& id = sector.area(AreaKind::ID);
    const AreaInfo& gap3 = sector.area(AreaKind::GAP3);
    const AreaInfo& data = sector.area(AreaKind::DATA);
    const AreaInfo& gap4 = sector.area(AreaKind::GAP4);

    std::fprintf(out, "\nDetail buffer content for sector %d with %d bytes\n", sector.S, buffer.count);
    // Without -f the buffer holds the DATA field alone, so only DATA is shown.
    int32_t offset = 0;
    if (opts.sector_all_areas) {
        offset = area_with_bytes(out, id, buffer, offset, opts, [&] {
            print_id_detail(out, IdBytes{sector.T, sector.H, sector.S, sector.Z}, id, std::nullopt);
        });
        offset = area_with_bytes(out, gap3, buffer, offset, opts, [&] { print_gap_detail(out, "GAP3", gap3); });
    }
    offset = area_with_bytes(out, data, buffer, offset, opts, [&] {
        print_data_detail_head(out, sector.S, data);
        std::fprintf(out, " CRC %s CLK=%.2f TMV=%d BRD=%d DOI=%d BS=%d\n", crc_word(data.crc), area_clk_us(data),
                     data.TMV, data.BRD, sector.DOI, data.BS);
        if (sector.FZP != 0) std::fprintf(out, "  *** Fuzzy Sector *** starting at byte position %d\n", sector.FZP);
    });
    if (opts.sector_all_areas) {
        area_with_bytes(out, gap4, buffer, offset, opts, [&] { print_gap_detail(out, "GAP4", gap4); });
    }
}

}  // namespace quen
