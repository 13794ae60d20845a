#include "report/format.h"

namespace quen::report_text {

const char* crc_cell(const AreaInfo& field, SynchDoubt doubt) {
    if (field.crc == 0) return " OK ";
    if (doubt == SynchDoubt::shown && field.BS != 0) return " ?  ";
    return " BAD";
}

const char* crc_word(uint16_t crc) { return crc != 0 ? "BAD" : "OK"; }

const char* crc_word_loud(uint16_t crc) { return crc != 0 ? "*** BAD ***" : "OK"; }

void print_faults_clk(FILE* out, const AreaInfo& field) {
    std::fprintf(out, " %-3d %-3d %-.2f", field.TMV, field.BRD, area_clk_us(field));
}

void print_id_cells(FILE* out, uint8_t sector, const AreaInfo& id) {
    std::fprintf(out, "%-3d %-6d %-3d", sector, us_int(id.position_ns), us_int(id.length_ns));
}

void print_id_detail(FILE* out, const IdBytes& id_bytes, const AreaInfo& id, std::optional<uint16_t> crc_read) {
    std::fprintf(out, "= ID=%d %d bytes @%d length=%.2f T=%d H=%d S=%d Z=%d ", id_bytes.S, id.bytes,
                 us_int(id.position_ns), us_real(id.length_ns), id_bytes.T, id_bytes.H, id_bytes.S,
                 static_cast<int>(sector_size(id_bytes.Z)));
    if (crc_read) std::fprintf(out, "CRC=%04x ", *crc_read);
    std::fprintf(out, "%s TMV=%d BRD=%d BS=%d\n", crc_word_loud(id.crc), id.TMV, id.BRD, id.BS);
}

void print_data_detail_head(FILE* out, uint8_t sector, const AreaInfo& data) {
    std::fprintf(out, "= DATA ID=%d %d bytes @%d us length=%.2f", sector, data.bytes, us_int(data.position_ns),
                 us_real(data.length_ns));
}

void print_gap_detail(FILE* out, const char* name, const AreaInfo& gap) {
    std::fprintf(out, "+ %s %d bytes @%d us length=%.2f us - TMV=%d BRD=%d BS=%d IDG=%d\n", name, gap.bytes,
                 us_int(gap.position_ns), us_real(gap.length_ns), gap.TMV, gap.BRD, gap.BS, gap.IDG);
}

}  // namespace quen::report_text
