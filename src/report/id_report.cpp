#include "report/format.h"
#include "report/reports.h"

namespace quen {
namespace {

using namespace report_text;

constexpr const char* kIdRule = "------------------------------------\n";

}  // namespace

void print_id_layout(FILE* out, const IdLayout& ids, const ByteBuffer& id_buffer) {
    std::fputs("\n*******************************************************************************\n", out);
    std::fprintf(out, "ID Layout Information: %d Bytes - length=%g ms - # ID %d\n", ids.byte_count - 1,
                 ms_real(ids.total_ns), ids.id_count);
    std::fputs("*******************************************************************************\n", out);
    std::fputs(kIdRule, out);
    std::fputs("ID\n", out);
    std::fputs("Sct Pos     Lgt  CRC TMV BRD CLK\n", out);
    std::fputs(kIdRule, out);
    for (size_t k = 0; k < ids.id_count; ++k) {
        const AreaInfo& id = ids.ids[k];
        std::fprintf(out, "%-3d %-6d  %-3d ", id_byte(id_buffer, k, IdEntry::kSector), us_int(id.position_ns),
                     us_int(id.length_ns));
        std::fputs(crc_cell(id, SynchDoubt::ignored), out);
        print_faults_clk(out, id);
        std::fputs("\n", out);
    }
    std::fputs(kIdRule, out);
    std::fputs("\n", out);
}

void print_id_buffer(FILE* out, const IdLayout& ids, const ByteBuffer& id_buffer, const RunOptions& opts) {
    std::fprintf(out, "Buffer content %d (0x%04x) bytes\n", id_buffer.count, id_buffer.count);
    int32_t offset = 0;
    for (size_t k = 0; k < ids.id_count; ++k) {
        const AreaInfo& id = ids.ids[k];
        std::fprintf(out, "= ID=%d %d bytes @%d us length=%.2f CRC %s TMV=%d BRD=%d\n", id_byte(id_buffer, k, IdEntry::kSector),
                     id.bytes, us_int(id.position_ns), us_real(id.length_ns), crc_word(id.crc), id.TMV, id.BRD);
        offset = hex_dump(id.bytes, out, id_buffer, offset, opts);
    }
}

}  // namespace quen
