#include "report/reports.h"

namespace quen {

int32_t hex_dump(uint16_t n, FILE*, const ByteBuffer&, int32_t start, const RunOptions&) { return start + n; }

}  // namespace quen
