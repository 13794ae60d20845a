#include "report/reports.h"

namespace quen {

void print_all_sectors(FILE*, int32_t, const SectorLayout*) {}
void print_sector_detail(FILE*, const SectorLayout&, const ByteBuffer&, const RunOptions&) {}

}  // namespace quen
